#include "text/ResourceText.h"

#include "plugin/ModuleState.h"

namespace kestrel {

int LoadResourceText(UINT id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    int n = LoadStringA(ModuleInstance(), id, buffer, size);
    if (n <= 0) {
        n = 0;
        buffer[0] = '\0';
    }
    return n;
}

} // namespace kestrel
