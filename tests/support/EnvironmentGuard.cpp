// Saved and put back through the wide functions: the ANSI ones cut a
// double-byte value at its length in UTF-16 units.
#include "tests/support/EnvironmentGuard.h"

#include <vector>

namespace kestrel::test {
namespace {

std::wstring Wide(const char* text) {
    std::vector<wchar_t> wide(static_cast<size_t>(lstrlenA(text)) + 1);
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), static_cast<int>(wide.size()));
    return wide.data();
}

} // namespace

ScopedVariable::ScopedVariable(const char* name, const char* value) : m_name(Wide(name)) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableW(m_name.c_str(), nullptr, 0);
    std::vector<wchar_t> was(size + 1);
    m_existed = size != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    GetEnvironmentVariableW(m_name.c_str(), was.data(), size + 1);
    m_was = was.data();
    SetEnvironmentVariableA(name, value);
}

ScopedVariable::~ScopedVariable() {
    SetEnvironmentVariableW(m_name.c_str(), m_existed ? m_was.c_str() : nullptr);
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& folder) {
    std::vector<wchar_t> was(GetCurrentDirectoryW(0, nullptr) + 1);
    GetCurrentDirectoryW(static_cast<DWORD>(was.size()), was.data());
    m_was = was.data();
    m_changed = SetCurrentDirectoryA(folder.c_str()) != FALSE;
}

ScopedCurrentFolder::~ScopedCurrentFolder() {
    SetCurrentDirectoryW(m_was.c_str());
}

} // namespace kestrel::test
