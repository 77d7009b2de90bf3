#include "tagsfile/LineReader.h"

#include <cstring>

namespace kestrel {
namespace {

constexpr size_t kFirstSize = 256 * 1024;
// ReadFile takes a DWORD count.
constexpr size_t kMostRead = 1u << 30;

} // namespace

LineReader::LineReader(HANDLE file, size_t longest)
    : m_file(file), m_longest(longest), m_buffer(kFirstSize) {
}

// Moves what is left to the front, making room (twice the size when a line
// fills the whole buffer), and reads more behind it. False on a read error.
bool LineReader::Fill() {
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_buffer.size()) {
        m_buffer.resize(m_buffer.size() * 2);
    }
    const size_t room = m_buffer.size() - m_end;
    DWORD read = 0;
    if (!ReadFile(m_file, m_buffer.data() + m_end,
                  static_cast<DWORD>(room < kMostRead ? room : kMostRead), &read, nullptr)) {
        return false;
    }
    m_end += read;
    m_atEnd = read == 0;
    return true;
}

LineReader::Read LineReader::Next() {
    size_t scanned = m_begin;
    for (;;) {
        const char* start = m_buffer.data() + scanned;
        const void* feed = std::memchr(start, '\n', m_end - scanned);
        if (feed != nullptr) {
            const char* first = m_buffer.data() + m_begin;
            const size_t whole = static_cast<const char*>(feed) - first + 1;
            size_t text = whole - 1;
            if (text > 0 && first[text - 1] == '\r') {
                --text;
            }
            m_whole = std::string_view(first, whole);
            m_text = std::string_view(first, text);
            m_begin += whole;
            return Read::Line;
        }
        if (m_atEnd) {
            if (m_begin == m_end) {
                return Read::End;
            }
            // A last line without an end.
            m_whole = m_text = std::string_view(m_buffer.data() + m_begin, m_end - m_begin);
            m_begin = m_end;
            return Read::Line;
        }
        const size_t kept = m_end - m_begin;
        if (kept >= m_longest) {
            return Read::TooLong;
        }
        if (!Fill()) {
            return Read::Failed;
        }
        scanned = m_begin + kept;
    }
}

} // namespace kestrel
