// Entry point of every test program. The plug-in is written for the
// double-byte code page 932; a runner that starts the tests under another
// ANSI code page would test something else, so it stops here at once.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "plugin/ModuleState.h"

int main(int argc, char** argv) {
    const UINT codePage = GetACP();
    if (codePage != 932) {
        std::fprintf(stderr,
                     "The ANSI code page is %u, not 932: run the tests under Wine with "
                     "LC_ALL=ja_JP.UTF-8 (./dev test does).\n",
                     codePage);
        return 1;
    }
    // The test program holds the string table; resources come from it.
    kestrel::SetModuleInstance(GetModuleHandleA(nullptr));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
