// The option reader and the tags file check against the real ctags: the
// tables hold inputs only, and ctags, run on each, gives the answer.
#include <windows.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "plugin/UniqueAny.h"
#include "settings/Settings.h"
#include "tagupdate/CtagsOptions.h"
#include "tagupdate/CtagsRun.h"
#include "tagsfile/TagsFileCheck.h"
#include "tests/host/ProcessRun.h"
#include "tests/support/Cp932.h"
#include "tests/support/EnvironmentGuard.h"

namespace kestrel::test {
namespace {

using namespace std::string_literals;
using UniqueFind = UniqueAny<HANDLE, &FindClose, -1>;
using Files = std::map<std::string, std::string>; // by name, with their contents

Files FilesIn(const std::string& folder) {
    Files files;
    WIN32_FIND_DATAA found;
    const UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &found));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.Get(), &found)) {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            files[found.cFileName] = FileContents(folder + "\\" + found.cFileName);
        }
    }
    return files;
}

// A fresh folder holding two sources (one below) and a tags file.
std::string MakeRunFolder(const std::string& tags) {
    static int serial = 0;
    const std::string folder = "K:\\oracle" + std::to_string(++serial);
    MakeFile(folder + "\\a.c", "int alpha(void) { return 0; }\n");
    MakeFile(folder + "\\sub\\b.c", "int beta;\n");
    MakeFile(folder + "\\tags", tags);
    return folder;
}

struct Ran {
    DWORD exitCode;
    Files before, after;
};

// Runs the real ctags in `folder`, as Kestrel starts it.
Ran RunCtags(const std::string& folder, const std::string& arguments) {
    Files before = FilesIn(folder);
    const ProcessResult run =
        RunAndCapture("\"" + ProgramFolder() + "\\ctags.exe\" " + arguments, folder.c_str());
    EXPECT_TRUE(run.started) << "the Windows ctags beside the test (fetched by cmake/setup.sh)";
    return {run.exitCode, std::move(before), FilesIn(folder)};
}

// Options that Kestrel starts must make ctags write its -f file and nothing
// else, and add to it exactly when Kestrel reads them as appending; options
// it refuses must be ones with which ctags writes elsewhere or fails.
TEST(CtagsOracle, RefusesOnlyOptionsThatWriteElsewhereOrFail) {
    for (const char* line :
         {// Short options, alone or grouped, their arguments attached or not:
          "-R -V --tag-relative=yes ", "-R -I", "-R -h ", "-R -D", "-R -L", "-R -o", "-R -f", "-RI",
          "-VRh\t", "-R -IV", "-R -I x", "-R -Dx=1 -h .c", "-R -I -V",
          // operands, --, quotes, double-byte text, appending:
          "-R .", "-R --exclude x", "-R \"\"", "-R -- ", "-R \"-I\"", "-R -\"h\"", "-R \"-I x\"",
          "-R -I \"a b\"", "-R --exclude=\"ソ\"", "-R -I ソ", "-R ソ", "-R -a", "-Ra --append=yes",
          "-R --exclude=\"foo",
          // words read whole, however long:
          "-RVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVa",
          "-RVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVI",
          // CTAGS, before the bar, split at white space only:
          "-R -I|-V", "-R -f|-V", "-a|-R", "-R .|-V", "-R|-I", "-R|-V .",
          "--exclude=\"x -a --exclude=y\"|-R",
          "-RVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVVa|-V"}) {
        SCOPED_TRACE(line);
        const std::string row = Cp932(line);
        const size_t bar = row.find('|');
        const ScopedVariable set("CTAGS",
                                 bar == std::string::npos ? nullptr : row.substr(0, bar).c_str());
        const std::string options = row.substr(bar == std::string::npos ? 0 : bar + 1);
        // Old tags that ctags would overwrite, should it write its default file.
        const std::string old = "old\told.c\t/^old$/;\"\tf\n";
        const std::string folder = MakeRunFolder(old);
        // ctags keeps the old tags of its -f file only when it appends.
        MakeFile(folder + "\\tags.kestrel-new", old);
        Settings settings;
        settings.ExecOption = options.c_str();
        const bool refused = !PrepareCommand(settings, BuildCommandLine(settings), folder.c_str())
                                  .misreadWord.IsEmpty();
        const bool appends = AsksToAppend(options.c_str());
        auto [exitCode, before, after] = RunCtags(folder, options + " -f tags.kestrel-new");
        const std::string output = after["tags.kestrel-new"];
        const bool wrote = output != old;
        before.erase("tags.kestrel-new");
        after.erase("tags.kestrel-new");
        EXPECT_TRUE(refused ? exitCode != 0 || !wrote || after != before : after == before)
            << (refused ? "refused, yet ctags wrote its -f file alone"
                        : "started, yet ctags wrote more");
        if (!refused && exitCode == 0) {
            EXPECT_EQ(output.find("old\told.c\t") != std::string::npos, appends) << output;
        }
    }
}

// InspectTagsFile on a tags file must say whether ctags overwrites it.
TEST(CtagsOracle, TagsFileCheckAgreesWithCtags) {
    const std::string beyondOneRead(700, 'x');
    for (const std::string& firstLines :
         {// Tag lines and etags lines,
          ""s, "!_TAG_FILE_FORMAT\t2\t/extended format/\n"s, "a\tb\t?x?\n"s, "a\tb\t12\n"s,
          "main\tmain.c\t/^int main(void)$/;\"\tf\n"s, "a\tb\t12;\"\tf\n"s, "\f\n"s,
          "\f\r\nb.c,9\n"s, "\fa\tb\t1\n"s, "\fx\n"s, "\f"s, Cp932("ソ\tb\t/x/\n"), "\f\tb\t1\n"s,
          "a\tb\t0\n"s,
          // lines a byte or two away from them,
          "text\n"s, "int\ta;\t/* x */\n"s, "#define\tX\t1\n"s, "a\tb;\t1\n"s, "a\tb\t12"s,
          "a\tb\t12\r\n"s, "a\tb\t\r\n"s, "a\t\tb\t1\n"s, "a\tb\t\t1\n"s, "a\tb\t;1\n"s,
          "a\tb\t1\tx\n"s, "a\tb\t12 \n"s, "a\tb\t1;x\n"s, "\n"s, "\na\tb\t1\n"s, "x\ra\tb\t1\n"s,
          " \tb\t1\n"s, "\ta\tb\t1\n"s, "a\tb\t1\0x\n"s, "a\0\tb\t1\n"s,
          // and first lines longer than one read.
          beyondOneRead + "\tb\t1\n", "a\t" + beyondOneRead + "\t1\n",
          "a\t" + beyondOneRead + ";\t1\n", "a\tb\t" + std::string(700, '1') + "x\n",
          beyondOneRead + "\n"}) {
        SCOPED_TRACE(testing::PrintToString(firstLines.substr(0, 40)));
        const std::string folder = MakeRunFolder(firstLines);
        const bool looks = InspectTagsFile((folder + "\\tags").c_str()).overwritable;
        EXPECT_EQ(RunCtags(folder, "-f tags a.c").exitCode == 0, looks);
    }
    // A tags file that another program holds unshared cannot be read; one
    // that it holds open for writing, sharing it, is overwritten.
    for (const DWORD sharing : {0ul, 7ul}) {
        SCOPED_TRACE(sharing);
        const std::string folder = MakeRunFolder("a\tb\t1\n");
        const UniqueFile held(CreateFileA((folder + "\\tags").c_str(), GENERIC_READ | GENERIC_WRITE,
                                          sharing, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(RunCtags(folder, "-f tags a.c").exitCode == 0,
                  InspectTagsFile((folder + "\\tags").c_str()).overwritable);
    }
    const std::string folder = MakeRunFolder("");
    EXPECT_TRUE(InspectTagsFile((folder + "\\sub").c_str()).overwritable) << "a folder";
    EXPECT_TRUE(InspectTagsFile((folder + "\\missing\\tags").c_str()).overwritable);
    EXPECT_TRUE(InspectTagsFile((folder + "\\new").c_str()).overwritable);
    EXPECT_FALSE(Exists(folder + "\\new")) << "looked at, not made";
}

} // namespace
} // namespace kestrel::test
