// What ctags makes of the options text: checked against Universal Ctags for
// Windows, which reads its command line this way.
#include "tagupdate/CtagsOptions.h"

#include <windows.h>

#include <tuple>

#include <gtest/gtest.h>

#include "tests/support/Cp932.h"
#include "tests/support/EnvironmentGuard.h"

namespace kestrel::test {
namespace {

// As the real ctags reads them:
// options that make it append to its -f file, then options that do not.
TEST(CtagsOptions, ReadsAppendAsCtagsDoes) {
    for (const char* options : {"-a", "-R -a -V", "-aR", "-Ra", "-Va", "--append", "--append=yes",
                                "--append=on", "--append=1", "--append=true", "--append=y",
                                "--append=Yes", "--append=", "--append=no -a", "\"-a\"",
                                "\"--append\"", "-\"a\"", "-R --regex-c=\"/a b/x/\" -a",
                                // An argument joined to its option takes nothing more.
                                "-Ifoo -a"}) {
        EXPECT_TRUE(AsksToAppend(options)) << options;
    }
    for (const char* options :
         {"-R -V --tag-relative=yes ", "--append=no", "--append=off", "--append=0",
          "--append=false", "--append=n", "--append=NO", "-a --append=no", "--appen",
          // The rest of the group is the argument of -f, -o, -h, -I, -L, -D:
          "-fa", "-oa", "-ha", "-Ia", "-La", "-Da",
          // and so is the next word.
          "-h -a", "-I -a"}) {
        EXPECT_FALSE(AsksToAppend(options)) << options;
    }
    EXPECT_TRUE(AsksToAppend(Cp932("--exclude=\"ソ\" -a").c_str())) << "ソ ends in 0x5C";
}

TEST(CtagsOptions, ReadsTheCtagsVariableFirst) {
    // ctags reads CTAGS first; the options' last word on appending wins.
    for (const auto& [environment, options, append] :
         {std::tuple{"-a", "-R", true}, std::tuple{"--append", "-R --append=no", false},
          std::tuple{"--append=no", "-R", false}}) {
        const ScopedVariable ctags("CTAGS", environment);
        EXPECT_EQ(append, AsksToAppend(options)) << "CTAGS=" << environment << " " << options;
    }
}

TEST(CtagsOptions, TellsFileOperandsFromArguments) {
    for (const char* options : {"-R .", "-R src", "*.c", "--exit=0 -V tags", "-I x \"\""}) {
        EXPECT_TRUE(NamesFileOperand(options)) << options;
    }
    for (const char* options : {"-R -V --tag-relative=yes ", "-I x", "-f a", "-L list", "-Ix -R",
                                "--exclude=a", "-h .c -R"}) {
        EXPECT_FALSE(NamesFileOperand(options)) << options;
    }
}

TEST(CtagsOptions, SeesAnArgumentLeftOpen) {
    for (const char* options : {"-I", "-R -h ", "-RI", "-VRf\t", "\"-o\"", "-R -Dx -L"}) {
        EXPECT_TRUE(LeavesArgumentOpen(options)) << options;
    }
    for (const char* options : {"", "-", "-R", "-Ix", "-I -h", "-I x", "--exclude=-I", "-IR"}) {
        EXPECT_FALSE(LeavesArgumentOpen(options)) << options;
    }
    EXPECT_FALSE(LeavesArgumentOpen(Cp932("-I ソ").c_str())) << "ソ ends in 0x5C";
}

TEST(CtagsOptions, SeesAQuoteLeftOpen) {
    EXPECT_TRUE(LeavesQuoteOpen("-R \"--exclude=a b"));
    EXPECT_FALSE(LeavesQuoteOpen("-R \"--exclude=a b\""));
    EXPECT_FALSE(LeavesQuoteOpen("-R --regex-c=/\\\"/x/"));
    EXPECT_FALSE(LeavesQuoteOpen(Cp932("-R --exclude=\"ソ\"").c_str()));
    // A quote doubled inside a quoted part, read differently by the C
    // runtimes; outside one, a pair of quotes is an empty word.
    for (const auto& [options, open] :
         {std::pair{R"("a""" -R)", true}, std::pair{R"("""" x)", true},
          std::pair{R"("\\""")", true}, std::pair{R"(-R "" -V)", false},
          std::pair{R"(a\"\")", false}, std::pair{R"("a\"" -R)", false}}) {
        EXPECT_EQ(open, LeavesQuoteOpen(options)) << options;
    }
}

} // namespace
} // namespace kestrel::test
