// What a test changes of its process and gets back however it ends. A copy
// would only put it back twice.
#pragma once

#include <windows.h>

#include "tagupdate/Environment.h"

namespace kestrel::test {

// Sets environment variable `name` to `value` (null removes it) until it ends.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name) {
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedVariable() {
        SetEnvironmentVariableA(m_name, m_was.IsEmpty() ? nullptr : m_was.Chars());
    }

private:
    const char* m_name;
    const CountedString m_was = EnvironmentVariable(m_name);
};

// Makes `folder` the current folder until it ends.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const char* folder) {
        GetCurrentDirectoryA(MAX_PATH, m_was);
        SetCurrentDirectoryA(folder);
    }
    ~ScopedCurrentFolder() { SetCurrentDirectoryA(m_was); }

private:
    char m_was[MAX_PATH] = {};
};

} // namespace kestrel::test
