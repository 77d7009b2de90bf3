// ctags writes a temporary file that replaces the tags file only after a
// good run; where that cannot be right the tags file is written in place,
// with the command line as configured. ctags itself is found by the plug-in.
#include <map>

#include "plugin/UniqueAny.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

const char kOldTags[] = "old\told.c\t/^old$/;\"\tf\n";

// What lies in the run folder before the command; Deep puts it 250
// characters down, where the tags file's name fits the path limit but the
// temporary file's does not.
enum class Before {
    Tags,
    Leftover,
    HeldLeftover,
    PendingLeftover, // held open with delete sharing: removal only marks it
    TagsFolder,
    HeldLock, // another editor's run holds the tags file; a leftover lies there
    HardLink, // tags has a second name
    ReadOnly,
    TemporaryFolder,  // tags.kestrel-new is a folder
    UnreadableOutput, // the temporary file cannot be looked at
    Deep
};
enum class After { Old, New, Folder };

struct OutputCase {
    const char* name;
    const char* tagsName;
    const char* options;
    const char* fileArgument; // what the started command line has after -f
    Before before;
    After after;
    Outcome end;
};

class TagsOutputTest : public CommandTest,
                       public testing::WithParamInterface<std::tuple<OutputCase, bool>> {};

TEST_P(TagsOutputTest, TagsFileIsWholeWhateverTheRunDoes) {
    const OutputCase& c = std::get<0>(GetParam());
    settings.ExecSync = std::get<1>(GetParam());
    std::string folder =
        "K:\\" + std::string(c.name) + (settings.ExecSync ? "-sync" : "-background");
    if (c.before == Before::Deep) {
        folder += "\\" + std::string(250 - folder.size() - 1, 'd');
    }
    host.SetDocumentPath(folder + "\\main.c");
    const std::string tags = folder + "\\" + c.tagsName;
    const std::string temporary = tags + ".kestrel-new";
    const std::string link = folder + "\\link";
    if (c.before == Before::TagsFolder) {
        MakeFolders(tags);
    } else {
        MakeFile(tags, kOldTags);
    }
    const bool leftover = c.before == Before::Leftover || c.before == Before::HeldLeftover ||
                          c.before == Before::PendingLeftover || c.before == Before::HeldLock;
    if (leftover) {
        MakeFile(temporary, "left over\n");
    }
    UniqueFile held;
    if (c.before == Before::HeldLeftover || c.before == Before::PendingLeftover) {
        // As a ctags still writing it holds it.
        const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE |
                              (c.before == Before::PendingLeftover ? FILE_SHARE_DELETE : 0);
        held.Reset(CreateFileA(temporary.c_str(), GENERIC_WRITE, sharing, nullptr, OPEN_EXISTING, 0,
                               nullptr));
        ASSERT_TRUE(held);
    } else if (c.before == Before::HeldLock) { // as the other editor holds it
        held.Reset(CreateFileA((tags + ".kestrel-lock").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        ASSERT_TRUE(held);
    } else if (c.before == Before::HardLink) {
        ASSERT_TRUE(CreateHardLinkA(link.c_str(), tags.c_str(), nullptr));
    } else if (c.before == Before::ReadOnly) {
        ASSERT_TRUE(SetFileAttributesA(tags.c_str(), FILE_ATTRIBUTE_READONLY));
    } else if (c.before == Before::TemporaryFolder) {
        MakeFolders(temporary);
    } else if (c.before == Before::UnreadableOutput) {
        FailFileLookup(temporary, ERROR_ACCESS_DENIED);
    }
    settings.TagsFileName = c.tagsName;
    settings.ExecOption = c.options;

    RunTagUpdate(settings, host.Window());
    ASSERT_TRUE(WaitForIdle());
    FailFileLookup("", 0);

    EXPECT_EQ(Shown(folder, c.end), Transcript());
    if (c.end == Outcome::CouldNotRun || c.end == Outcome::Refused) {
        EXPECT_TRUE(ReadFakeCtagsRecords(record).empty());
    } else {
        EXPECT_EQ("\"" + FakeCtagsPath() + "\" " + c.options + " -f " + c.fileArgument,
                  OnlyRun()["cmdline"]);
    }
    if (c.after == After::Folder) {
        EXPECT_NE(0u, GetFileAttributesA(tags.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    } else {
        EXPECT_EQ(c.after == After::New ? kFakeTags : kOldTags, FileContents(tags));
    }
    if (c.before == Before::HardLink) {
        EXPECT_EQ(FileContents(tags), FileContents(link)) << "one file, two names";
    }
    if (c.before != Before::PendingLeftover) { // on Windows, gone from sight already
        const bool untouched = leftover && c.end != Outcome::Ran && c.end != Outcome::RanWithError;
        EXPECT_EQ(untouched || c.before == Before::TemporaryFolder, Exists(temporary));
    }
    EXPECT_FALSE(Exists(tags + ".kestrel-lock") && c.before != Before::HeldLock);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TagsOutputTest,
    testing::Combine(
        testing::Values(
            OutputCase{"Replaced", "tags", "--exit=0 ", "tags.kestrel-new", Before::Tags,
                       After::New, Outcome::Ran},
            OutputCase{"PartialThenError", "tags", "--partial --exit=1 ", "tags.kestrel-new",
                       Before::Tags, After::Old, Outcome::RanWithError},
            // An option ctags does not know: it stops before it writes.
            OutputCase{"ErrorWithoutOutput", "tags", "--exit=1 --no-output ", "tags.kestrel-new",
                       Before::Tags, After::Old, Outcome::RanWithError},
            OutputCase{"PartialThenTerminated", "tags", "--partial --terminate --exit=1 ",
                       "tags.kestrel-new", Before::Tags, After::Old, Outcome::RanWithError},
            // A leftover is gone before ctags starts: a run that writes
            // nothing does not put it in place of the tags file.
            OutputCase{"NothingWrittenOverLeftover", "tags", "--exit=0 --no-output ",
                       "tags.kestrel-new", Before::Leftover, After::Old, Outcome::Ran},
            OutputCase{"LeftoverStillHeld", "tags", "--exit=0 ", "", Before::HeldLeftover,
                       After::Old, Outcome::CouldNotRun},
            OutputCase{"BlankInName", "my tags", "--exit=0 ", "my tags", Before::Tags, After::Old,
                       Outcome::Ran},
            OutputCase{"Append", "tags", "--exit=0 -a ", "tags", Before::Tags, After::New,
                       Outcome::Ran},
            OutputCase{"TagsIsAFolder", "tags", "--exit=0 ", "tags", Before::TagsFolder,
                       After::Folder, Outcome::Ran},
            OutputCase{"LeftoverPendingRemoval", "tags", "--exit=0 ", "", Before::PendingLeftover,
                       After::Old, Outcome::CouldNotRun},
            OutputCase{"AnotherEditorRuns", "tags", "--exit=0 ", "", Before::HeldLock, After::Old,
                       Outcome::Refused},
            // ctags would clobber its default tags file at the operand.
            OutputCase{"FileOperand", "tags", "--exit=0 -R . ", "", Before::Leftover, After::Old,
                       Outcome::CouldNotRun},
            // ctags would take -f as the argument, the name after it as an operand.
            OutputCase{"ArgumentLeftOpen", "tags", "--exit=0 -R -I ", "", Before::Leftover,
                       After::Old, Outcome::CouldNotRun},
            OutputCase{"ListFileLeftOpen", "tags", "--exit=0 -RL", "", Before::Leftover, After::Old,
                       Outcome::CouldNotRun},
            OutputCase{"HardLink", "tags", "--exit=0 ", "tags", Before::HardLink, After::New,
                       Outcome::Ran},
            OutputCase{"ReadOnly", "tags", "--exit=0 --no-output ", "tags", Before::ReadOnly,
                       After::Old, Outcome::Ran},
            OutputCase{"TemporaryIsAFolder", "tags", "--exit=0 ", "tags", Before::TemporaryFolder,
                       After::New, Outcome::Ran},
            OutputCase{"OutputUnreadable", "tags", "--exit=0 --no-output ", "tags.kestrel-new",
                       Before::UnreadableOutput, After::Old, Outcome::RanWithError},
            OutputCase{"DeepFolder", "tags", "--exit=0 ", "tags", Before::Deep, After::New,
                       Outcome::Ran}),
        testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<OutputCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "Sync" : "Background");
    });

using HeldTagsTest = CommandTest;

TEST_F(HeldTagsTest, ReplacedOnceTheReaderLetsGoKeptWhileItHolds) {
    // The reader lets go after so many failed replacements; 0: never.
    for (int letGoAfter : {1, 4, 0}) {
        SCOPED_TRACE("the reader lets go after " + std::to_string(letGoAfter));
        const bool letsGo = letGoAfter > 0;
        ClearEvents();
        const std::string folder = Project("h" + std::to_string(letGoAfter));
        MakeFile(folder + "\\tags", kOldTags);
        // Opened as fopen opens for reading: others may read, nobody may replace.
        UniqueFile reader(CreateFileA((folder + "\\tags").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        int failed = 0;
        OnFailedMove([&] {
            if (++failed == letGoAfter) {
                reader.Reset();
            }
        });
        RunTagUpdate(settings, host.Window());
        const int failedMoves = OnFailedMove(nullptr);
        reader.Reset();

        if (letsGo) {
            EXPECT_EQ(letGoAfter, failedMoves);
        } else {
            EXPECT_LE(2, failedMoves) << "retried";
        }
        EXPECT_EQ(Shown(folder, letsGo ? Outcome::Ran : Outcome::RanWithError), Transcript());
        EXPECT_EQ(letsGo ? kFakeTags : kOldTags, FileContents(folder + "\\tags"));
        EXPECT_FALSE(Exists(folder + "\\tags.kestrel-new"));
    }
}

// Where copies of the program lie, and where the one started comes from.
enum Place { Nowhere = 0, Current = 1, OnPath = 2, BesideHost = 4, Windows = 8 };

struct LookupCase {
    const char* name;
    const char* folderPart; // of ExecPath: "" or a relative "sub\\"
    int copies;             // Places
    Place started;
    int foldersNamedLikeIt = Nowhere; // Places where a folder has the program's name
};

class ProgramLookupTest : public CommandTest, public testing::WithParamInterface<LookupCase> {};

TEST_P(ProgramLookupTest, NeverStartsAProgramFromTheCurrentFolder) {
    const LookupCase& c = GetParam();
    const std::string folder = Project(c.name);
    // No extension: .exe is added.
    const std::string program = c.folderPart + std::string("kestrel-") + c.name;
    const std::string current = "K:\\" + std::string(c.name) + "\\current";
    const std::string onPath = "K:\\" + std::string(c.name) + "\\bin";
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::map<Place, std::string> places = {
        {Current, current}, {OnPath, onPath}, {BesideHost, ProgramFolder()}, {Windows, windows}};
    std::vector<std::string> planted;
    for (const auto& [place, where] : places) {
        const std::string copy = where + "\\" + program + ".exe";
        MakeFolders(copy.substr(0, copy.rfind('\\')));
        if ((c.copies & place) != 0) {
            ASSERT_TRUE(CopyFileA(FakeCtagsPath().c_str(), copy.c_str(), FALSE));
            planted.push_back(copy);
        } else if ((c.foldersNamedLikeIt & place) != 0) {
            ASSERT_TRUE(CreateDirectoryA(copy.c_str(), nullptr));
            planted.push_back(copy);
        }
    }
    char previousFolder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previousFolder);
    char previousPath[32768] = {};
    GetEnvironmentVariableA("PATH", previousPath, sizeof previousPath);
    SetCurrentDirectoryA(current.c_str());
    // A relative entry names the current folder: it is skipped.
    SetEnvironmentVariableA("PATH", (".;" + onPath + ";" + previousPath).c_str());
    settings.ExecPath = program.c_str();

    RunTagUpdate(settings, host.Window());
    SetCurrentDirectoryA(previousFolder);
    SetEnvironmentVariableA("PATH", previousPath);
    for (const std::string& copy : planted) {
        DeleteFileA(copy.c_str()) || RemoveDirectoryA(copy.c_str());
        if (*c.folderPart != '\0') {
            RemoveDirectoryA(copy.substr(0, copy.rfind('\\')).c_str());
        }
    }

    if (c.started == Nowhere) {
        EXPECT_TRUE(ProcessStarts().empty());
        EXPECT_EQ(Shown(folder, Outcome::CouldNotRun), Transcript());
        return;
    }
    FakeCtagsRecord run = OnlyRun();
    EXPECT_EQ(places.at(c.started) + "\\" + program + ".exe", run["program"]);
    EXPECT_EQ("\"" + program + "\" --exit=0  -f tags.kestrel-new", run["cmdline"]);
    EXPECT_EQ(Shown(folder, Outcome::Ran), Transcript());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramLookupTest,
    testing::Values(
        LookupCase{"OnlyInCurrentFolder", "", Current, Nowhere},
        LookupCase{"PathBeforeCurrentFolder", "", Current | OnPath, OnPath},
        LookupCase{"HostFolderFirst", "", Current | OnPath | BesideHost, BesideHost},
        LookupCase{"WindowsFolderBeforePath", "", OnPath | Windows, Windows},
        LookupCase{"FolderBesideHostSkipped", "", OnPath, OnPath, BesideHost},
        // A relative folder part is taken from the host's folder only: never
        // the current one, nor a PATH folder.
        LookupCase{"RelativeNotFromCurrentFolderOrPath", "sub\\", Current | OnPath, Nowhere},
        LookupCase{"RelativeBesideHost", "sub\\", Current | OnPath | BesideHost, BesideHost}),
    [](const testing::TestParamInfo<LookupCase>& info) { return info.param.name; });

} // namespace
} // namespace kestrel::test
