// Why a run could not start or ended with an error: a short text that the
// status text carries in parentheses after its own.
#pragma once

#include <windows.h>

#include "text/CountedString.h"

namespace kestrel {

// The most bytes a reason shows; a longer one is cut on a character
// boundary of the ANSI code page.
constexpr int kReasonBytes = 200;

// A reason in a buffer of its own, so that the thread that ends a run can
// make it without allocating. Empty: none.
struct Reason {
    char text[1024] = {};
};

// Kestrel's own reason: string `id` formatted with `name`.
void OwnReason(UINT id, const char* name, Reason& reason);

// What Windows says of `error`, in the user's language, without its line end
// and closing full stop, `name` in place of its first insert (%1) where
// given; "error N" where Windows has no text for it.
void WindowsReason(DWORD error, Reason& reason, const char* name = nullptr);

// A process's exit code, in hexadecimal from 0xC0000000, as Windows names
// the codes of a crash.
void ExitCodeReason(DWORD exitCode, Reason& reason);

// Cuts `text` in place to kReasonBytes, on a character boundary; control
// characters, which a status bar cannot show, become blanks.
void TidyReason(char* text);

// Appends the reason in its parentheses to `status`. Allocates nothing where
// `status` has room for it.
void AppendReason(CountedString& status, const Reason& reason);

} // namespace kestrel
