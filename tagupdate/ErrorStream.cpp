// ctags writes every step of a verbose run (-V) to its error stream, and its
// reason for failing last. A pipe it fills would block it, and a file would
// grow with the tree, so the stream is an overlapped pipe whose event the
// run's wait includes: each wake-up takes what has come, keeps only the last
// few kilobytes and asks for more at once. A read is kept waiting on the pipe
// all the time: under Wine, ctags's writes into a pipe that holds unread
// data cost it more than the wake-ups they save (a run on 3,000 small files
// took about 4 % longer with reads 50 ms apart, and more on a busy machine).
#include "tagupdate/ErrorStream.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace kestrel {
namespace {

// What the pipe holds while nobody reads it.
constexpr DWORD kPipeBytes = 1 << 20;
// How many reads Finish takes of what is left at most.
constexpr int kFinishReads = 1024;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// "name: text" with a name of one word, not a warning or a notice.
bool IsMessage(const char* line, const char* end) {
    const char* p = line;
    while (p < end && !IsBlank(*p) && *p != ':') {
        ++p;
    }
    if (p == line || end - p < 2 || p[0] != ':' || p[1] != ' ') {
        return false;
    }
    const char* text = p + 2;
    for (const char* other : {"Warning: ", "Notice: "}) {
        const size_t length = std::strlen(other);
        if (static_cast<size_t>(end - text) >= length && std::memcmp(text, other, length) == 0) {
            return false;
        }
    }
    return true;
}

} // namespace

ErrorStream::~ErrorStream() {
    Stop();
}

bool ErrorStream::Open() {
    char name[96];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\Kestrel-%lu-%p-%lu",
                  static_cast<unsigned long>(GetCurrentProcessId()), static_cast<void*>(this),
                  static_cast<unsigned long>(GetTickCount()));
    m_read.Reset(CreateNamedPipeA(
        name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, kPipeBytes, 0, nullptr));
    if (m_read.Get() == INVALID_HANDLE_VALUE) {
        m_read.Release();
        return false;
    }
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    m_write.Reset(CreateFileA(name, GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0, nullptr));
    if (m_write.Get() == INVALID_HANDLE_VALUE) {
        m_write.Release();
    }
    // Set at first, so that the first wake-up asks for the first bytes.
    m_event.Reset(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    if (!m_write || !m_event) {
        m_read.Reset();
        m_write.Reset();
        return false;
    }
    m_bytes.reset(new char[kKeptBytes + kReadBytes]);
    m_overlapped.hEvent = m_event.Get();
    m_live = true;
    return true;
}

void ErrorStream::Read() {
    m_overlapped.Internal = 0;
    m_overlapped.InternalHigh = 0;
    m_pending =
        ReadFile(m_read.Get(), m_bytes.get() + m_used, kReadBytes, nullptr, &m_overlapped) ||
        GetLastError() == ERROR_IO_PENDING;
    m_live = m_pending;
}

void ErrorStream::Keep(DWORD bytes) {
    m_used += static_cast<int>(bytes);
    if (m_used > kKeptBytes) {
        std::memmove(m_bytes.get(), m_bytes.get() + m_used - kKeptBytes, kKeptBytes);
        m_used = kKeptBytes;
        m_cut = true;
    }
}

void ErrorStream::AttachTo(HANDLE port) {
    m_onPort = port != nullptr && m_live &&
               CreateIoCompletionPort(m_read.Get(), port, reinterpret_cast<ULONG_PTR>(this), 0);
}

void ErrorStream::Collect() {
    if (!m_live) {
        return;
    }
    if (!m_pending) {
        Read(); // the first
        return;
    }
    DWORD bytes = 0;
    if (!GetOverlappedResult(m_read.Get(), &m_overlapped, &bytes, FALSE)) {
        // Not yet: woken for something else. Otherwise every writer has gone.
        m_pending = m_live = GetLastError() == ERROR_IO_INCOMPLETE;
        return;
    }
    m_pending = false;
    Keep(bytes);
    Read();
}

void ErrorStream::Finish() {
    if (m_live && !m_pending) {
        Read();
    }
    for (int reads = 0; reads < kFinishReads && m_pending &&
                        WaitForSingleObject(m_event.Get(), 0) == WAIT_OBJECT_0;
         ++reads) {
        Collect();
    }
    Stop();
}

void ErrorStream::Stop() {
    if (m_pending) {
        // The buffer must outlive the read it was given to.
        DWORD bytes = 0;
        CancelIoEx(m_read.Get(), &m_overlapped);
        GetOverlappedResult(m_read.Get(), &m_overlapped, &bytes, TRUE);
    }
    m_pending = m_live = false;
}

bool ErrorStream::LastMessage(Reason& reason) const {
    const char* const begin = m_bytes.get();
    const char* end = begin + m_used;
    while (end > begin) {
        const char* line = end;
        while (line > begin && line[-1] != '\n') {
            --line;
        }
        const bool whole = line > begin || !m_cut;
        const char* lineEnd = end;
        while (lineEnd > line && (lineEnd[-1] == '\r' || lineEnd[-1] == '\n')) {
            --lineEnd;
        }
        if (whole && IsMessage(line, lineEnd)) {
            const size_t length = static_cast<size_t>(lineEnd - line);
            const size_t kept = length < sizeof reason.text ? length : sizeof reason.text - 1;
            std::memcpy(reason.text, line, kept);
            reason.text[kept] = '\0';
            TidyReason(reason.text);
            return true;
        }
        end = line > begin ? line - 1 : begin;
    }
    return false;
}

} // namespace kestrel
