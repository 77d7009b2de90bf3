// ctags writes a temporary file that replaces the tags file only after a
// good run; where that cannot be right the tags file is written in place,
// with the command line as configured.
#include <optional>
#include <utility>

#include "plugin/UniqueAny.h"
#include "tests/support/Dialogs.h"
#include "tests/support/ImportRedirect.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

const char kOldTags[] = "old\told.c\t/^old$/;\"\tf\n";

// In place of SetFileInformationByHandle: no file can be renamed.
BOOL WINAPI RefuseRename(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// What lies in the run folder before the command.
enum class Before {
    Tags,
    Leftover,
    HeldLeftover,
    PendingLeftover, // held open with delete sharing: removal only marks it
    PendingDenied,   // as Windows shows a leftover marked for removal
    ReadOnlyLeftover,
    TagsFolder,
    HeldLock,   // another editor's run holds the tags file; a leftover lies there
    LockFolder, // tags.kestrel-lock is a folder: no lock can be made
    HardLink,   // tags has a second name
    ReparsePoint,
    ReadOnly,
    TemporaryFolder,  // tags.kestrel-new is a folder
    UnreadableOutput, // the temporary file cannot be looked at
    NotTags,          // tags is some other file, which ctags refuses to overwrite
    LockLink,         // tags.kestrel-lock is a symbolic link to another file
    LeftoverLink,     // so is tags.kestrel-new
    StuckLeftover     // a read-only leftover that cannot be replaced
};
enum class After { Old, New, Folder };
// How deep the run folder lies: Deep at 250 characters, where the tags
// file's name fits the path limit but the temporary file's does not;
// DoubleByte at 242 characters ending in ten double-byte ones, where the
// temporary path is 259 characters (269 bytes) long, the lock's 260.
enum class Depth { Shallow, Deep, DoubleByte };

struct OutputCase {
    const char* name;
    const char* tagsName;
    const char* options;
    const char* fileArgument; // what the started command line has after -f
    Before before;
    After after;
    Outcome end;
    Depth depth = Depth::Shallow;
};

class TagsOutputTest : public CommandTest,
                       public testing::WithParamInterface<std::tuple<OutputCase, bool>> {};

TEST_P(TagsOutputTest, TagsFileIsWholeWhateverTheRunDoes) {
    const OutputCase& c = std::get<0>(GetParam());
    settings.ExecSync = std::get<1>(GetParam());
    std::string folder =
        "K:\\" + std::string(c.name) + (settings.ExecSync ? "-sync" : "-background");
    if (c.depth != Depth::Shallow) {
        const size_t length = c.depth == Depth::Deep ? 250 : 242;
        const size_t doubleByte = c.depth == Depth::Deep ? 0 : 10;
        folder += "\\" + std::string(length - folder.size() - 1 - doubleByte, 'd');
        for (size_t i = 0; i < doubleByte; ++i) {
            folder += Cp932("あ");
        }
    }
    host.SetDocumentPath(folder + "\\m.c"); // 256 bytes at most: it fits the buffer
    const std::string tags = folder + "\\" + c.tagsName;
    const std::string temporary = tags + ".kestrel-new";
    const std::string link = folder + "\\link";
    const std::string target = folder + "\\target"; // of a symbolic link
    if (c.before == Before::TagsFolder) {
        MakeFolders(tags);
    } else {
        MakeFile(tags, c.before == Before::NotTags ? "Notes\n" : kOldTags);
    }
    const bool leftover = c.before == Before::Leftover || c.before == Before::HeldLeftover ||
                          c.before == Before::PendingLeftover || c.before == Before::HeldLock ||
                          c.before == Before::PendingDenied ||
                          c.before == Before::ReadOnlyLeftover || c.before == Before::StuckLeftover;
    if (leftover) {
        MakeFile(temporary, "left over\n");
    }
    // Gone from sight on Windows, although nothing may replace it yet.
    const bool pending = c.before == Before::PendingLeftover || c.before == Before::PendingDenied;
    UniqueFile held;
    if (c.before == Before::HeldLeftover || pending) {
        // As a ctags still writing it holds it.
        const DWORD sharing =
            FILE_SHARE_READ | FILE_SHARE_WRITE | (pending ? FILE_SHARE_DELETE : 0);
        held.Reset(CreateFileA(temporary.c_str(), GENERIC_WRITE, sharing, nullptr, OPEN_EXISTING, 0,
                               nullptr));
        ASSERT_TRUE(held);
    } else if (c.before == Before::HeldLock) { // as the other editor holds it, at any length
        wchar_t lock[1024] = L"\\\\?\\";
        MultiByteToWideChar(CP_ACP, 0, (tags + ".kestrel-lock").c_str(), -1, lock + 4, 1000);
        held.Reset(CreateFileW(lock, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        ASSERT_TRUE(held);
    } else if (c.before == Before::LockFolder) {
        MakeFolders(tags + ".kestrel-lock");
    } else if (c.before == Before::ReparsePoint) {
        AddFileAttributes(tags, FILE_ATTRIBUTE_REPARSE_POINT);
    } else if (c.before == Before::LockLink || c.before == Before::LeftoverLink) {
        MakeFile(target, "precious\n");
        ASSERT_TRUE(MakeUnixLink("target", c.before == Before::LockLink ? tags + ".kestrel-lock"
                                                                        : temporary));
    } else if (c.before == Before::ReadOnlyLeftover || c.before == Before::StuckLeftover) {
        ASSERT_TRUE(SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_READONLY));
    } else if (c.before == Before::HardLink) {
        ASSERT_TRUE(CreateHardLinkA(link.c_str(), tags.c_str(), nullptr));
    } else if (c.before == Before::ReadOnly) {
        ASSERT_TRUE(SetFileAttributesA(tags.c_str(), FILE_ATTRIBUTE_READONLY));
    } else if (c.before == Before::TemporaryFolder) {
        MakeFolders(temporary);
    } else if (c.before == Before::UnreadableOutput || c.before == Before::PendingDenied) {
        FailFileLookup(temporary, ERROR_ACCESS_DENIED);
    }
    settings.TagsFileName = c.tagsName;
    settings.ExecOption = c.options;

    std::optional<ImportRedirect> noRename;
    if (c.before == Before::StuckLeftover) {
        noRename.emplace("kernel32.dll", "SetFileInformationByHandle",
                         reinterpret_cast<void*>(&RefuseRename));
    }
    if (tags.size() < MAX_PATH) {
        RunTagUpdate(settings, host.Window());
    } else { // too long for the search: the folder is chosen in the browser
        EXPECT_TRUE(AnswerDialog(IDOK, [&] { RunTagUpdate(settings, host.Window()); }).pressed);
    }
    ASSERT_TRUE(WaitForIdle());
    noRename.reset();
    FailFileLookup("", 0);
    AddFileAttributes("", 0);

    EXPECT_EQ(Shown(folder, c.end), Transcript());
    if (c.end == Outcome::CouldNotRun || c.end == Outcome::Refused || c.end == Outcome::Rejected) {
        EXPECT_TRUE(ReadFakeCtagsRecords(record).empty());
    } else {
        EXPECT_EQ("\"" + FakeCtagsPath() + "\" " + c.options + " -f " + c.fileArgument,
                  OnlyRun()["cmdline"]);
    }
    if (c.after == After::Folder) {
        EXPECT_NE(0u, GetFileAttributesA(tags.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    } else {
        const char* old = c.before == Before::NotTags ? "Notes\n" : kOldTags;
        EXPECT_EQ(c.after == After::New ? kFakeTags : old, FileContents(tags));
    }
    if (c.before == Before::HardLink) {
        EXPECT_EQ(FileContents(tags), FileContents(link)) << "one file, two names";
    }
    if (c.before == Before::LockLink || c.before == Before::LeftoverLink) {
        EXPECT_EQ("precious\n", FileContents(target)) << "the link's target";
    } else if (c.before == Before::StuckLeftover) {
        EXPECT_NE(0u, GetFileAttributesA(temporary.c_str()) & FILE_ATTRIBUTE_READONLY);
    }
    if (!pending) {
        const bool untouched = leftover && c.end != Outcome::Ran && c.end != Outcome::RanWithError;
        EXPECT_EQ(untouched || c.before == Before::TemporaryFolder, Exists(temporary));
    }
    EXPECT_FALSE(Exists(tags + ".kestrel-lock") && c.before != Before::HeldLock &&
                 c.before != Before::LockFolder);
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
            OutputCase{"DeepFolder", "tags", "--exit=0 ", "tags", Before::Tags, After::New,
                       Outcome::Ran, Depth::Deep},
            // The tags file's path is beyond the limit, 273 characters long.
            OutputCase{"DeepTagsFile", "tags-of-the-whole-tree", "--exit=0 ",
                       "tags-of-the-whole-tree", Before::Tags, After::New, Outcome::Ran,
                       Depth::Deep},
            // A path's length is counted in characters, and the lock is
            // taken at any length.
            OutputCase{"DeepDoubleByteFolder", "tags", "--exit=0 ", "tags.kestrel-new",
                       Before::Tags, After::New, Outcome::Ran, Depth::DoubleByte},
            OutputCase{"AnotherEditorRunsDeep", "tags", "--exit=0 ", "", Before::HeldLock,
                       After::Old, Outcome::Refused, Depth::DoubleByte},
            // Without its lock a run does not start.
            OutputCase{"LockCannotBeMade", "tags", "--exit=0 ", "", Before::LockFolder, After::Old,
                       Outcome::CouldNotRun},
            OutputCase{"ReadOnlyLeftover", "tags", "--exit=0 ", "tags.kestrel-new",
                       Before::ReadOnlyLeftover, After::New, Outcome::Ran},
            OutputCase{"LeftoverPendingOnWindows", "tags", "--exit=0 ", "", Before::PendingDenied,
                       After::Old, Outcome::CouldNotRun},
            OutputCase{"ReparsePoint", "tags", "--exit=0 ", "tags", Before::ReparsePoint,
                       After::New, Outcome::Ran},
            OutputCase{"NotATagsFile", "tags", "--exit=0 ", "", Before::NotTags, After::Old,
                       Outcome::Rejected},
            // The names beside the tags file are replaced, never opened or
            // deleted through: a link's target stays.
            OutputCase{"LockIsALink", "tags", "--exit=0 ", "tags.kestrel-new", Before::LockLink,
                       After::New, Outcome::Ran},
            OutputCase{"LeftoverIsALink", "tags", "--exit=0 ", "tags.kestrel-new",
                       Before::LeftoverLink, After::New, Outcome::Ran},
            OutputCase{"ReadOnlyLeftoverStays", "tags", "--exit=0 ", "", Before::StuckLeftover,
                       After::Old, Outcome::CouldNotRun}),
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
        bool locked = true; // while the replacement waits, no other run may start
        OnFailedMove([&] {
            const UniqueFile lock(CreateFileA((folder + "\\tags.kestrel-lock").c_str(),
                                              GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                              nullptr));
            locked &= !lock && GetLastError() == ERROR_SHARING_VIOLATION;
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
        EXPECT_TRUE(locked);
    }
}

TEST_F(HeldTagsTest, LockOrLeftoverHeldForAMomentIsWaitedFor) {
    for (const auto& [project, suffix] :
         {std::pair{"m1", ".kestrel-lock"}, std::pair{"m2", ".kestrel-new"}}) {
        SCOPED_TRACE(suffix);
        ClearEvents();
        const std::string folder = Project(project);
        // A scanner holds the last run's file, marked for removal, until the
        // command pauses.
        const std::string held = folder + "\\tags" + suffix;
        MakeFile(held);
        UniqueFile scanner(CreateFileA(held.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(scanner);
        ASSERT_TRUE(DeleteFileA(held.c_str()));
        OnSleep([&] { scanner.Reset(); });
        RunTagUpdate(settings, host.Window());
        OnSleep(nullptr);
        EXPECT_EQ(Shown(folder, Outcome::Ran), Transcript());
    }
}

} // namespace
} // namespace kestrel::test
