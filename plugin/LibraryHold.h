// Keeps this library loaded while a call from the editor serves messages: a
// message handled meanwhile may make the editor free its plug-ins, and code
// that is unmapped under a call crashes the editor when the call returns.
#pragma once

#include <windows.h>

#include "plugin/UniqueAny.h"

namespace kestrel {

// A reference to this library, or none when it cannot be taken.
UniqueModule ReferenceThisLibrary();

// Lives for the length of one call on the editor's thread. Its reference,
// once taken, is let go only after that thread has left the library: a
// callback of the thread pool waits until the editor's window answers from
// the editor's message loop, and the pool drops the reference after it.
class LibraryHold {
public:
    explicit LibraryHold(HWND hostWindow) : m_hostWindow(hostWindow) {}
    ~LibraryHold();
    LibraryHold(const LibraryHold&) = delete;
    LibraryHold& operator=(const LibraryHold&) = delete;

    // Before anything that serves messages; once is enough. Without a
    // reference the call goes on as before.
    void Take();

private:
    HWND m_hostWindow;
    UniqueModule m_library;
};

} // namespace kestrel
