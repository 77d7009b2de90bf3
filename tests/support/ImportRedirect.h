// Points the test program's import of a function at a stand-in for the
// guard's lifetime. The plug-in's code is linked into the program, so its
// calls go through the same import.
#pragma once

#include <windows.h>

namespace kestrel::test {

class ImportRedirect {
public:
    // `dll` as the import names it, compared without case.
    ImportRedirect(const char* dll, const char* function, void* replacement);
    ~ImportRedirect();
    ImportRedirect(const ImportRedirect&) = delete;
    ImportRedirect& operator=(const ImportRedirect&) = delete;

    // The real function, null when the program does not import it.
    void* Original() const { return m_original; }

private:
    const char* m_dll;
    const char* m_function;
    void* m_original;
};

} // namespace kestrel::test
