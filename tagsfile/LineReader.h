// Reads a file a line at a time through one buffer that grows only to hold
// the longest line: a tags file of any size in bounded memory.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace kestrel {

class LineReader {
public:
    // TooLong: a line longer than the reader takes.
    enum class Read { Line, End, Failed, TooLong };

    // Reads `file` from its current position; the handle stays the caller's.
    // A line shorter than `longest` bytes, its end included, is read whole.
    LineReader(HANDLE file, size_t longest);

    // The next line; Failed leaves ReadFile's error in GetLastError. The line
    // stays valid until the next call.
    Read Next();

    // The line without its end, and with it ("\n", "\r\n", or nothing for a
    // last line that has none).
    std::string_view Text() const { return m_text; }
    std::string_view Whole() const { return m_whole; }

private:
    bool Fill();

    HANDLE m_file;
    size_t m_longest;
    std::vector<char> m_buffer;
    size_t m_begin = 0; // the first byte not yet handed out
    size_t m_end = 0;   // the end of what was read
    bool m_atEnd = false;
    std::string_view m_text, m_whole;
};

} // namespace kestrel
