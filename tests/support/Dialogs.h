// The tests' face of the dialog driver: a modal call made on the test's
// thread, with steps that act on its dialogs from inside their modal loops.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "host/DialogDriver.h"

namespace kestrel::test {

using DialogStep = DialogDriver::Step;

// Runs `call`, which opens modal dialogs on this thread, while `steps` act on
// them in turn, one each time a dialog waits for the user. Fails the test for
// every step that no dialog reached and for every dialog left open (which it
// closes, so that the call returns).
void DriveDialogs(const std::function<void()>& call, std::vector<DialogStep> steps);

// What the one dialog that `call` opened showed before its button was pressed.
struct Answered {
    bool pressed = false;
    std::string title;
    // The folder browser's prompt (control 0x3742) or a message box's text.
    std::string prompt;
};

// The visible dialog owned by `owner`, or null.
HWND FindOwnedDialog(HWND owner);

// True while DriveDialogs runs: a dialog that opens at any other time is one
// that the test did not expect.
bool DialogExpected();

// Presses `button` in the first dialog that `call` opens.
Answered AnswerDialog(int button, const std::function<void()>& call);

} // namespace kestrel::test
