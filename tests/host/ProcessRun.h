// Starts a program of the test build and collects what it prints.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/Sandbox.h"

namespace kestrel::test {

struct ProcessResult {
    bool started = false;
    DWORD exitCode = 0;
    std::vector<std::string> lines; // stdout, split at line feeds, without CR
};

// The folder of the running test program, where every built program lies.
inline std::string BuildFolder() {
    return ProgramFolder();
}

// Runs `commandLine` in `folder` (null: the current one) with CreateProcessA's
// `creationFlags` until it ends and returns its stdout; stderr goes to the
// test's own.
ProcessResult RunAndCapture(const std::string& commandLine, const char* folder = nullptr,
                            DWORD creationFlags = 0);

} // namespace kestrel::test
