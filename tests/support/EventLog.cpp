#include "tests/support/EventLog.h"

#include <mutex>

#include "tests/support/Cp932.h"

namespace kestrel::test {
namespace {

std::mutex g_mutex;
std::vector<Event> g_events;

} // namespace

void RecordEvent(Event::Kind kind, const std::string& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.push_back({kind, text, GetCurrentThreadId()});
}

std::vector<Event> Events() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_events;
}

std::vector<std::string> StatusTexts() {
    std::vector<std::string> texts;
    for (const Event& event : Events()) {
        if (event.kind == Event::Status) {
            texts.push_back(event.text);
        }
    }
    return texts;
}

void ClearEvents() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.clear();
}

std::vector<std::string> Transcript() {
    std::vector<std::string> lines;
    for (const Event& event : Events()) {
        if (event.kind == Event::Status) {
            lines.push_back("S:" + Utf8(event.text));
        } else {
            lines.push_back(event.text == "0" ? "beep" : "beep " + event.text);
        }
    }
    return lines;
}

} // namespace kestrel::test
