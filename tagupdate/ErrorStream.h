// ctags's error stream, read while ctags runs, by the thread that waits for
// it: no thread of its own.
#pragma once

#include <windows.h>

#include <memory>

#include "plugin/UniqueAny.h"
#include "tagupdate/FailureReason.h"

namespace kestrel {

class ErrorStream {
public:
    ErrorStream() = default;
    ~ErrorStream();
    ErrorStream(const ErrorStream&) = delete;
    ErrorStream& operator=(const ErrorStream&) = delete;

    // Makes the pipe and the buffer. False when they cannot be made: ctags
    // then runs without.
    bool Open();
    // The end ctags writes to, inheritable, until Started.
    HANDLE WriteEnd() const { return m_write.Get(); }
    // Once ctags has been started: this process's copy of the write end goes,
    // so the stream ends with the last process that writes to it.
    void Started() { m_write.Reset(); }

    // Makes the reads complete on `port` (where the run's waits wait) too.
    void AttachTo(HANDLE port);
    bool OnPort() const { return m_onPort; }

    // Signalled when a read has something to take; null while no read is
    // under way.
    HANDLE Event() const { return m_pending ? m_event.Get() : nullptr; }
    // Takes what has come and asks for more at once. The first call asks
    // first; called while nothing has come, it does nothing. Allocates
    // nothing.
    void Collect();
    // Once ctags has ended: takes what it wrote and is still in the pipe,
    // without waiting for anything more, and stops reading.
    void Finish();

    // ctags's last message: the last line that has the form "name: text",
    // as ctags writes them, and is neither a warning nor a notice; a verbose
    // trace has no such form. False when there is none.
    bool LastMessage(Reason& reason) const;

private:
    void Read();
    void Keep(DWORD bytes);
    void Stop();

    // The last kKeptBytes are kept; each read adds at most kReadBytes.
    static constexpr int kKeptBytes = 4096;
    static constexpr int kReadBytes = 65536;

    UniqueHandle m_read;
    UniqueHandle m_write;
    UniqueHandle m_event;
    OVERLAPPED m_overlapped = {};
    bool m_live = false;    // the pipe is open and its writers have not all gone
    bool m_pending = false; // a read is under way
    bool m_onPort = false;
    bool m_cut = false; // the first kept line lost its beginning
    int m_used = 0;
    std::unique_ptr<char[]> m_bytes;
};

} // namespace kestrel
