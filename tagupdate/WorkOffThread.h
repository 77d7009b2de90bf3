// Work that must not hold the editor's thread: a walk of a large tree, a
// merge of a large tags file.
#pragma once

#include <windows.h>

namespace kestrel {

using Work = void (*)(void* context);

// Runs work(context) on a thread of its own while the calling thread waits
// with `wait` (which serves the editor's windows), or, with wait null, right
// here on a thread that owns no windows. False when no thread could be made:
// the work has not been done. An allocation that fails in the work fails
// here, with std::bad_alloc, once the work's thread has ended.
bool DoWork(Work work, void* context, bool (*wait)(HANDLE thread));

} // namespace kestrel
