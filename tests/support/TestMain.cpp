// Entry point of every test program. The tests are written for the ANSI code
// page of the locale they run under: 932 (Japanese) unless the run says
// otherwise with KESTREL_EXPECTED_CODE_PAGE (1252 for the English runs). A
// runner that starts a program under any other code page would test
// something else, so it stops here at once.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "plugin/ModuleState.h"

int main(int argc, char** argv) {
    UINT expected = 932;
    if (const char* chosen = std::getenv("KESTREL_EXPECTED_CODE_PAGE")) {
        char* end = nullptr;
        expected = static_cast<UINT>(std::strtoul(chosen, &end, 10));
        if (end == chosen || *end != '\0') {
            std::fprintf(stderr, "KESTREL_EXPECTED_CODE_PAGE is \"%s\", not a number.\n", chosen);
            return 1;
        }
    }
    const UINT codePage = GetACP();
    if (codePage != expected) {
        std::fprintf(stderr,
                     "The ANSI code page is %u, not %u: run the tests under Wine with the "
                     "locale of that code page (./dev test does: ja_JP.UTF-8 for 932, "
                     "en_US.UTF-8 for 1252).\n",
                     codePage, expected);
        return 1;
    }
    // ctags reads CTAGS: the runner's own must not change what a case sees.
    SetEnvironmentVariableA("CTAGS", nullptr);
    // The test program holds the string table; resources come from it.
    kestrel::SetModuleInstance(GetModuleHandleA(nullptr));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
