#include "tagupdate/FailureReason.h"

#include <cstdio>
#include <cstring>

#include "resources/resource.h"
#include "text/ResourceText.h"

namespace kestrel {
namespace {

// The longest format text of a reason.
constexpr int kFormatSize = 256;

void FormatReason(UINT id, const char* argument, Reason& reason) {
    char format[kFormatSize];
    LoadResourceText(id, format, sizeof format);
    std::snprintf(reason.text, sizeof reason.text, format, argument);
    TidyReason(reason.text);
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n' || c == ' ';
}

// Drops the final full stop of a sentence, in the ASCII form or the
// ideographic one of the ANSI code page.
void DropFullStop(char* text) {
    char* last = nullptr;
    for (char* p = text; *p != '\0'; p = CharNextA(p)) {
        last = p;
    }
    char ideographic[4] = {};
    WideCharToMultiByte(CP_ACP, 0, L"\x3002", 1, ideographic, sizeof ideographic - 1, nullptr,
                        nullptr);
    if (last != nullptr && (std::strcmp(last, ".") == 0 || std::strcmp(last, ideographic) == 0)) {
        *last = '\0';
    }
}

} // namespace

void OwnReason(UINT id, const char* name, Reason& reason) {
    FormatReason(id, name, reason);
}

void WindowsReason(DWORD error, Reason& reason, const char* name) {
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, reason.text, sizeof reason.text, nullptr);
    if (length == 0 || length >= sizeof reason.text) {
        char number[16];
        std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(error));
        FormatReason(IDS_REASON_ERROR_CODE, number, reason);
        return;
    }
    char* end = reason.text + length;
    while (end > reason.text && IsLineEnd(end[-1])) {
        *--end = '\0';
    }
    DropFullStop(reason.text);
    // '%' is never the second byte of a double-byte character.
    char* insert = name != nullptr ? std::strstr(reason.text, "%1") : nullptr;
    if (insert != nullptr) {
        char rest[sizeof reason.text];
        lstrcpynA(rest, insert + 2, sizeof rest);
        const int used = static_cast<int>(insert - reason.text);
        std::snprintf(insert, sizeof reason.text - used, "%s%s", name, rest);
    }
    TidyReason(reason.text);
}

void ExitCodeReason(DWORD exitCode, Reason& reason) {
    char number[16];
    std::snprintf(number, sizeof number, exitCode >= 0xC0000000 ? "0x%08lX" : "%lu",
                  static_cast<unsigned long>(exitCode));
    FormatReason(IDS_REASON_EXIT_CODE, number, reason);
}

void TidyReason(char* text) {
    char* p = text;
    while (*p != '\0') {
        char* next = CharNextA(p);
        if (next - text > kReasonBytes) {
            break;
        }
        if (next == p + 1 && static_cast<unsigned char>(*p) < 0x20) {
            *p = ' ';
        }
        p = next;
    }
    *p = '\0';
}

void AppendReason(CountedString& status, const Reason& reason) {
    char format[kFormatSize];
    LoadResourceText(IDS_REASON, format, sizeof format);
    char shown[kReasonBytes + kFormatSize];
    std::snprintf(shown, sizeof shown, format, reason.text);
    const int length = status.Length();
    const int added = lstrlenA(shown);
    std::memcpy(status.GetBuffer(length + added) + length, shown, added + 1);
    status.ReleaseBuffer(length + added);
}

} // namespace kestrel
