// The walk against the real ctags: for each option set, the files the walk
// finds are the files a recursive ctags run reads (--print-language lists
// them), exclusions from the command line, option files and ctags's
// defaults included.
#include <windows.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tagupdate/CtagsExcludes.h"
#include "tagupdate/TreeWalk.h"
#include "tests/host/ProcessRun.h"
#include "tests/support/Sandbox.h"

namespace kestrel::test {
namespace {

using Names = std::set<std::string>;

std::string CtagsPath() {
    return ProgramFolder() + "\\ctags.exe";
}

// The files ctags -R reads in `folder` with `options`, the tags file aside.
Names CtagsReads(const std::string& folder, const std::string& options) {
    const ProcessResult run =
        RunAndCapture("\"" + CtagsPath() + "\" " + options + " --print-language", folder.c_str());
    EXPECT_TRUE(run.started && run.exitCode == 0) << options;
    Names names;
    for (const std::string& line : run.lines) {
        const size_t colon = line.rfind(": ");
        if (colon != std::string::npos && line.compare(0, colon, "tags") != 0) {
            names.insert(line.substr(0, colon));
        }
    }
    return names;
}

TEST(TreeWalk, FindsTheFilesRecursiveCtagsReads) {
    const std::string folder = "K:\\walk";
    for (const char* file :
         {"a.c", "src\\b.c", "src\\Sub\\c.c", "src\\Sub\\deep\\q.c", "skip\\d.c", "other\\e.c",
          ".git\\f.c", "x.o", "notes.txt", "src\\\x93\xfa\x96\x7b.c", "-dash.c", " blank.c",
          "src\\.hidden.c", "sub~\\g.c"}) {
        MakeFile(folder + "\\" + file, "int v;\n");
    }
    MakeFile(folder + "\\tags");
    MakeFile(folder + "\\.ctags.d\\local.ctags", "--exclude=other\n");
    for (const char* options : {"-R", "-R --exclude=skip", "-R --exclude=SRC\\*\\q.c",
                                "-R --exclude=s?b", "-R --exclude=src\\sub", "-R --exclude=*.c",
                                "-R --exclude=*b*", "-R --exclude=src/sub/deep"}) {
        CtagsExcludes excludes;
        ASSERT_TRUE(excludes.Read(CtagsPath().c_str(), options, folder.c_str())) << options;
        TreeWalk walk;
        ASSERT_TRUE(WalkTree(folder.c_str(), excludes, {"tags"}, walk));
        EXPECT_TRUE(walk.complete);
        Names walked;
        for (const WalkedFile& file : walk.files) {
            walked.insert(file.name);
        }
        EXPECT_EQ(CtagsReads(folder, options), walked) << options;
    }
}

TEST(TreeWalk, ExclusionsCtagsMatchesOtherwiseAreNotRead) {
    const std::string folder = "K:\\unmatched";
    MakeFile(folder + "\\a.c", "int v;\n");
    for (const char* options : {"-R --exclude=[ab].c", "-R --exclude=\x93\xfa.c"}) {
        CtagsExcludes excludes;
        EXPECT_FALSE(excludes.Read(CtagsPath().c_str(), options, folder.c_str())) << options;
    }
    CtagsExcludes excludes;
    EXPECT_FALSE(excludes.Read(CtagsPath().c_str(), "-R --no-such-option", folder.c_str()));
}

} // namespace
} // namespace kestrel::test
