#include "tagupdate/Environment.h"

#include <windows.h>

namespace kestrel {

CountedString EnvironmentVariable(const char* name) {
    CountedString value;
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size > 0) {
        // A value that grew in between is not written: it reads as empty.
        GetEnvironmentVariableA(name, value.GetBuffer(static_cast<int>(size)), size);
        value.ReleaseBuffer();
    }
    return value;
}

} // namespace kestrel
