// What the plug-in showed the user, in order, from every thread: status
// texts that reached the test's host window and beeps.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kestrel::test {

struct Event {
    enum Kind { Status, Beep } kind;
    std::string text; // the status text, in the system code page
    DWORD threadId;
};

void RecordEvent(Event::Kind kind, const std::string& text);
std::vector<Event> Events();
std::vector<std::string> StatusTexts();
void ClearEvents();

// "S:<text in UTF-8>", and "beep" for MessageBeep(0) or "beep <type>" for any
// other type, in order, for readable comparisons.
std::vector<std::string> Transcript();

} // namespace kestrel::test
