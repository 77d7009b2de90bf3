// What a test may change of the process it runs in, and gets back however
// the test ends: an environment variable and the current folder.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::test {

// Sets variable `name` to `value` (system code page; null removes it) and puts
// back what it was, byte for byte, when it ends.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::wstring m_name;
    std::wstring m_was;
    bool m_existed;
};

// Makes `folder` the current folder and goes back when it ends. Changed()
// tells whether the folder could be made current.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const std::string& folder);
    ~ScopedCurrentFolder();
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

    bool Changed() const { return m_changed; }

private:
    std::wstring m_was;
    bool m_changed;
};

} // namespace kestrel::test
