#include "tagsfile/LineWriter.h"

#include <cstring>

namespace kestrel {
namespace {

// The guard is asked before each write of the buffer: every megabyte.
constexpr size_t kBufferSize = 1u << 20;

} // namespace

LineWriter::LineWriter(HANDLE file, DiskGuard* guard)
    : m_file(file), m_guard(guard), m_buffer(kBufferSize) {
}

LineWriter::Wrote LineWriter::Flush() {
    if (m_guard != nullptr && !m_guard->HasRoom()) {
        return Wrote::NoRoom;
    }
    size_t done = 0;
    while (done < m_used) {
        DWORD wrote = 0;
        if (!WriteFile(m_file, m_buffer.data() + done, static_cast<DWORD>(m_used - done), &wrote,
                       nullptr)) {
            return Wrote::Failed;
        }
        if (wrote == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return Wrote::Failed;
        }
        done += wrote;
    }
    m_used = 0;
    return Wrote::Ok;
}

LineWriter::Wrote LineWriter::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        if (m_used == m_buffer.size()) {
            const Wrote flushed = Flush();
            if (flushed != Wrote::Ok) {
                return flushed;
            }
        }
        const size_t room = m_buffer.size() - m_used;
        const size_t taken = bytes.size() < room ? bytes.size() : room;
        std::memcpy(m_buffer.data() + m_used, bytes.data(), taken);
        m_used += taken;
        bytes.remove_prefix(taken);
    }
    return Wrote::Ok;
}

} // namespace kestrel
