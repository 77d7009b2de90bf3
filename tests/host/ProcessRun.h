// Starts a program of the test build and collects what it prints.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/Sandbox.h"

namespace kestrel::test {

using Lines = std::vector<std::string>;

struct ProcessResult {
    bool started = false;
    DWORD exitCode = 0;
    Lines lines; // stdout, split at line feeds, without CR
};

// Runs `commandLine` in `folder` (null: the current one) with CreateProcessA's
// `creationFlags` until it ends and returns its stdout; stderr goes to the
// test's own.
ProcessResult RunAndCapture(const std::string& commandLine, const char* folder = nullptr,
                            DWORD creationFlags = 0);

// The lines that begin with `prefix`, or with `keep` false all the others.
Lines Only(const Lines& lines, const std::string& prefix, bool keep = true);

} // namespace kestrel::test
