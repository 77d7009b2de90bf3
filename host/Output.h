// The host's report on stdout: one line per event, UTF-8, written at once so
// that a test reading the pipe sees it while the host still runs.
#pragma once

#include <string>

namespace kestrel::host {

// Text in the system code page as UTF-8.
std::string AnsiToUtf8(const char* ansi);

// Writes `line` and a line feed in one write, so lines written by different
// threads never mix. A console gets the text as UTF-16 instead.
void PrintLine(const std::string& utf8Line);

// Diagnostics for a person, on stderr.
void PrintError(const std::string& utf8Line);

} // namespace kestrel::host
