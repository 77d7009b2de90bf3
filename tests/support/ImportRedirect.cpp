#include "tests/support/ImportRedirect.h"

#include "host/ImportPatch.h"

namespace kestrel::test {

ImportRedirect::ImportRedirect(const char* dll, const char* function, void* replacement)
    : m_dll(dll), m_function(function),
      m_original(PatchImport(GetModuleHandleA(nullptr), dll, function, replacement)) {
}

ImportRedirect::~ImportRedirect() {
    if (m_original != nullptr) {
        PatchImport(GetModuleHandleA(nullptr), m_dll, m_function, m_original);
    }
}

} // namespace kestrel::test
