// ctags writes a temporary file that replaces the tags file only after a
// good run; where that cannot be right the tags file is written in place,
// with the command line as configured.
#include <optional>
#include <thread>
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

decltype(&GetFileInformationByHandle) g_realFileInformation = nullptr;
BOOL WINAPI AsReparsePoint(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    const BOOL read = g_realFileInformation(file, information);
    information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return read;
}

// What lies in the run folder before the command; a row combines these.
// Without TagsFolder or NotTags the tags file holds old tags.
enum Before : unsigned {
    Tags = 0,
    NotTags = 1 << 0, // some other file, which ctags refuses to overwrite
    TagsFolder = 1 << 1,
    ReadOnly = 1 << 2,
    ReparsePoint = 1 << 3,
    HardLink = 1 << 4,   // the tags file has a second name
    Leftover = 1 << 5,   // tags.kestrel-new, left by an earlier run
    Held = 1 << 6,       // the leftover, as a ctags still writing it holds it
    Pending = 1 << 7,    // held with delete sharing: removal only marks it
    Unreadable = 1 << 8, // tags.kestrel-new cannot be looked at, as Windows
                         // shows a leftover marked for removal
    ReadOnlyLeftover = 1 << 9,
    NoRename = 1 << 10,        // no file can be renamed
    TemporaryFolder = 1 << 11, // tags.kestrel-new is a folder
    LeftoverLink = 1 << 12,    // tags.kestrel-new is a symbolic link to another file
    HeldLock = 1 << 13,        // another editor's run holds tags.kestrel-lock
    LockFolder = 1 << 14,      // tags.kestrel-lock is a folder: no lock can be made
    LockLink = 1 << 15,        // tags.kestrel-lock is a symbolic link to another file
    // Once ctags has ended, tags.kestrel-new is moved away and replaced by
    // such a link, or by nothing; or it shows as a reparse point, as a link
    // opened as itself does on Windows.
    LinkAtEnd = 1 << 16,
    GoneAtEnd = 1 << 17,
    ReparsePointAtEnd = 1 << 18,
    Uncreatable = 1 << 19 // tags.kestrel-new cannot be made
};
// What stands at the tags file's name afterwards.
enum After { OldTags, NewTags, StillAFolder };
// Whether a name beside the tags file is there afterwards. EitherWay: a file
// held with delete sharing, which Windows hides once it is marked.
enum Left { Gone, Stays, EitherWay };
// How deep the run folder lies: Deep at 250 characters, where the tags
// file's name fits the path limit but the temporary file's does not;
// DoubleByte at 242 characters ending in ten double-byte ones, where the
// temporary path is 259 characters (269 bytes) long, the lock's 260.
enum class Depth { Shallow, Deep, DoubleByte };

struct OutputCase {
    const char* name;
    unsigned before;
    const char* options;
    const char* fileArgument; // what the started command line has after -f;
                              // nullptr: ctags does not start
    Outcome end;
    After tags;
    Left leftover; // tags.kestrel-new
    Left lock;     // tags.kestrel-lock
    // Why it could not run or failed; @ stands for the folder.
    const char* reason = "";
    const char* tagsName = "tags";
    Depth depth = Depth::Shallow;
};

class TagsOutputTest : public CommandTest,
                       public testing::WithParamInterface<std::tuple<OutputCase, bool>> {};

TEST_P(TagsOutputTest, TagsFileIsWholeWhateverTheRunDoes) {
    const OutputCase& c = std::get<0>(GetParam());
    const auto has = [&](unsigned before) { return (c.before & before) != 0; };
    settings.ExecSync = std::get<1>(GetParam());
    settings.TagsFileName = c.tagsName;
    settings.ExecOption = c.options;
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
    MakeFile(folder + "\\m.c");
    host.SetDocumentPath(folder + "\\m.c"); // 256 bytes at most: it fits the buffer
    const std::string tags = folder + "\\" + c.tagsName;
    const std::string temporary = tags + ".kestrel-new", lock = tags + ".kestrel-lock";
    const std::string link = folder + "\\link", target = folder + "\\target";
    const char* old = has(NotTags) ? "Notes\n" : kOldTags;
    if (has(TagsFolder)) {
        MakeFolders(tags);
    } else {
        MakeFile(tags, old);
    }
    if (has(Leftover)) {
        MakeFile(temporary, "left over\n");
    }
    if (has(LockLink | LeftoverLink | LinkAtEnd)) {
        MakeFile(target, "precious\n");
    }
    if (has(TemporaryFolder | LockFolder)) {
        MakeFolders(has(LockFolder) ? lock : temporary);
    }
    ASSERT_TRUE(!has(LockLink) || MakeUnixLink("target", lock));
    ASSERT_TRUE(!has(LeftoverLink) || MakeUnixLink("target", temporary));
    ASSERT_TRUE(!has(HardLink) || CreateHardLinkA(link.c_str(), tags.c_str(), nullptr));
    ASSERT_TRUE(!has(ReadOnly) || SetFileAttributesA(tags.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(!has(ReadOnlyLeftover) ||
                SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_READONLY));
    AddFileAttributes(tags, has(ReparsePoint) ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    UniqueFile heldLeftover, heldLock;
    if (has(Held | Pending)) { // as a ctags still writing it holds it
        heldLeftover.Reset(
            CreateFileA(temporary.c_str(), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | (has(Pending) ? FILE_SHARE_DELETE : 0),
                        nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(heldLeftover);
    }
    if (has(HeldLock)) { // as the other editor holds it, at any length
        wchar_t name[1024] = L"\\\\?\\";
        MultiByteToWideChar(CP_ACP, 0, lock.c_str(), -1, name + 4, 1000);
        heldLock.Reset(CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        ASSERT_TRUE(heldLock);
    }
    FailFileLookup(has(Unreadable) ? temporary : "", ERROR_ACCESS_DENIED);
    FailFileCreation(has(Uncreatable) ? temporary : "", ERROR_ACCESS_DENIED);
    std::optional<ImportRedirect> noRename, reparsePoint;
    if (has(NoRename)) {
        noRename.emplace("kernel32.dll", "SetFileInformationByHandle",
                         reinterpret_cast<void*>(&RefuseRename));
    }
    if (has(ReparsePointAtEnd)) {
        reparsePoint.emplace("kernel32.dll", "GetFileInformationByHandle",
                             reinterpret_cast<void*>(&AsReparsePoint));
        g_realFileInformation =
            reinterpret_cast<decltype(&GetFileInformationByHandle)>(reparsePoint->Original());
    }
    if (has(LinkAtEnd | GoneAtEnd)) {
        OnExitCodeQuery([&] {
            MoveFileA(temporary.c_str(), (folder + "\\away").c_str());
            if (has(LinkAtEnd)) { // a process start suspends the watcher: not from it
                std::thread([&] { EXPECT_TRUE(MakeUnixLink("target", temporary)); }).join();
            }
        });
    }
    if (tags.size() < MAX_PATH) {
        RunTagUpdate(settings, host.Window());
    } else { // too long for the search: the folder is chosen in the browser
        EXPECT_TRUE(AnswerDialog(IDOK, [&] { RunTagUpdate(settings, host.Window()); }).pressed);
    }
    ASSERT_TRUE(WaitForIdle());
    noRename.reset();
    reparsePoint.reset();
    OnExitCodeQuery(nullptr);
    FailFileLookup("", 0);
    FailFileCreation("", 0);
    AddFileAttributes("", 0);

    std::string reason = c.reason;
    if (const size_t at = reason.find('@'); at != std::string::npos) {
        reason.replace(at, 1, Utf8(folder));
    }
    EXPECT_EQ(Shown(folder, c.end, reason), Transcript());
    if (c.fileArgument == nullptr) {
        EXPECT_TRUE(ReadFakeCtagsRecords(record).empty());
    } else {
        EXPECT_EQ("\"" + FakeCtagsPath() + "\" " + c.options + " -f " + c.fileArgument,
                  OnlyRun()["cmdline"]);
    }
    if (c.tags == StillAFolder) {
        EXPECT_NE(0u, GetFileAttributesA(tags.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    } else {
        EXPECT_EQ(c.tags == NewTags ? kFakeTags : old, FileContents(tags));
    }
    if (has(HardLink)) {
        EXPECT_EQ(FileContents(tags), FileContents(link)) << "one file, two names";
    }
    if (has(LockLink | LeftoverLink | LinkAtEnd)) {
        EXPECT_EQ("precious\n", FileContents(target)) << "the link's target";
    }
    if (has(ReadOnlyLeftover) && c.leftover == Stays) {
        EXPECT_NE(0u, GetFileAttributesA(temporary.c_str()) & FILE_ATTRIBUTE_READONLY);
    }
    if (c.leftover != EitherWay) {
        EXPECT_EQ(c.leftover == Stays, Exists(temporary)) << "leftover";
    }
    EXPECT_EQ(c.lock == Stays, Exists(lock)) << "lock";
}

constexpr char kLeftover[] = "前回の一時ファイル @\\tags.kestrel-new を削除できません";

const OutputCase kCases[] = {
    {"Replaced", Tags, "--exit=0 ", "tags.kestrel-new", Outcome::Ran, NewTags, Gone, Gone},
    {"PartialThenError", Tags, "--partial --exit=1 ", "tags.kestrel-new", Outcome::RanWithError,
     OldTags, Gone, Gone, "終了コード 1"},
    // An option ctags does not know: it stops before it writes.
    {"ErrorWithoutOutput", Tags, "--exit=1 --no-output ", "tags.kestrel-new", Outcome::RanWithError,
     OldTags, Gone, Gone, "終了コード 1"},
    {"PartialThenTerminated", Tags, "--partial --terminate --exit=1 ", "tags.kestrel-new",
     Outcome::RanWithError, OldTags, Gone, Gone, "終了コード 1"},
    // A leftover is gone before ctags starts: a run that writes nothing does
    // not put it in place of the tags file.
    {"NothingWrittenOverLeftover", Leftover, "--exit=0 --no-output ", "tags.kestrel-new",
     Outcome::Ran, OldTags, Gone, Gone},
    {"LeftoverStillHeld", Leftover | Held, "--exit=0 ", nullptr, Outcome::CouldNotRun, OldTags,
     Stays, Gone, kLeftover},
    {"BlankInName", Tags, "--exit=0 ", "my tags", Outcome::Ran, OldTags, Gone, Gone, "", "my tags"},
    {"Append", Tags, "--exit=0 -a ", "tags", Outcome::Ran, NewTags, Gone, Gone},
    {"TagsIsAFolder", TagsFolder, "--exit=0 ", "tags", Outcome::Ran, StillAFolder, Gone, Gone},
    {"LeftoverPendingRemoval", Leftover | Pending, "--exit=0 ", nullptr, Outcome::CouldNotRun,
     OldTags, EitherWay, Gone, kLeftover},
    {"AnotherEditorRuns", Leftover | HeldLock, "--exit=0 ", nullptr, Outcome::Refused, OldTags,
     Stays, Stays},
    // ctags would clobber its default tags file at the operand.
    {"FileOperand", Leftover, "--exit=0 -R . ", nullptr, Outcome::CouldNotRun, OldTags, Stays, Gone,
     "オプションの . では ctags が別の場所に書き込むか失敗します"},
    // ctags would take -f as the argument, the name after it as an operand.
    {"ArgumentLeftOpen", Leftover, "--exit=0 -R -I ", nullptr, Outcome::CouldNotRun, OldTags, Stays,
     Gone, "オプションの -I では ctags が別の場所に書き込むか失敗します"},
    {"ListFileLeftOpen", Leftover, "--exit=0 -RL", nullptr, Outcome::CouldNotRun, OldTags, Stays,
     Gone, "オプションの -RL では ctags が別の場所に書き込むか失敗します"},
    // ctags's C runtime may read the doubled quote as ending the part, the
    // next one as opening a part that takes -f in.
    {"QuoteDoubledInQuotes", Leftover, "--exit=0 --exclude=\"a\"\"\" ", nullptr,
     Outcome::CouldNotRun, OldTags, Stays, Gone,
     "オプションの --exclude=\"a\"\"\" では ctags が別の場所に書き込むか失敗します"},
    {"HardLink", HardLink, "--exit=0 ", "tags", Outcome::Ran, NewTags, Gone, Gone},
    {"ReadOnly", ReadOnly, "--exit=0 --no-output ", "tags", Outcome::Ran, OldTags, Gone, Gone},
    {"TemporaryIsAFolder", TemporaryFolder, "--exit=0 ", "tags", Outcome::Ran, NewTags, Stays,
     Gone},
    // The temporary name cannot be opened at the end, as for a file marked
    // for removal: no file of this run's is known to be there; what is stays.
    {"OutputUnreadable", Unreadable, "--exit=0 --no-output ", "tags.kestrel-new",
     Outcome::RanWithError, OldTags, Stays, Gone, "アクセスが拒否されました"},
    {"DeepFolder", Tags, "--exit=0 ", "tags", Outcome::Ran, NewTags, Gone, Gone, "", "tags",
     Depth::Deep},
    // The tags file's path is beyond the limit, 273 characters long.
    {"DeepTagsFile", Tags, "--exit=0 ", "tags-of-the-whole-tree", Outcome::Ran, NewTags, Gone, Gone,
     "", "tags-of-the-whole-tree", Depth::Deep},
    // A path's length is counted in characters, and the lock is taken at any length.
    {"DeepDoubleByteFolder", Tags, "--exit=0 ", "tags.kestrel-new", Outcome::Ran, NewTags, Gone,
     Gone, "", "tags", Depth::DoubleByte},
    {"AnotherEditorRunsDeep", Leftover | HeldLock, "--exit=0 ", nullptr, Outcome::Refused, OldTags,
     Stays, Stays, "", "tags", Depth::DoubleByte},
    // Without its lock a run does not start.
    {"LockCannotBeMade", LockFolder, "--exit=0 ", nullptr, Outcome::CouldNotRun, OldTags, Gone,
     Stays, "@\\tags.kestrel-lock はフォルダか読み取り専用です"},
    {"ReadOnlyLeftover", Leftover | ReadOnlyLeftover, "--exit=0 ", "tags.kestrel-new", Outcome::Ran,
     NewTags, Gone, Gone},
    {"LeftoverPendingOnWindows", Leftover | Pending | Unreadable, "--exit=0 ", nullptr,
     Outcome::CouldNotRun, OldTags, EitherWay, Gone, kLeftover},
    {"ReparsePoint", ReparsePoint, "--exit=0 ", "tags", Outcome::Ran, NewTags, Gone, Gone},
    {"NotATagsFile", NotTags, "--exit=0 ", nullptr, Outcome::Rejected, OldTags, Gone, Gone,
     "@\\tags は tags ファイルではないため、ctags は上書きしません"},
    // The names beside the tags file are replaced, never opened or deleted
    // through: a link's target stays.
    {"LockIsALink", LockLink, "--exit=0 ", "tags.kestrel-new", Outcome::Ran, NewTags, Gone, Gone},
    {"LeftoverIsALink", LeftoverLink, "--exit=0 ", "tags.kestrel-new", Outcome::Ran, NewTags, Gone,
     Gone},
    {"ReadOnlyLeftoverStays", Leftover | ReadOnlyLeftover | NoRename, "--exit=0 ", nullptr,
     Outcome::CouldNotRun, OldTags, Stays, Gone, kLeftover},
    // The end of the run acts on the temporary name only while it names the
    // file made for ctags: nothing else there is touched, and the run fails.
    {"LinkAtEnd", LinkAtEnd, "--exit=0 ", "tags.kestrel-new", Outcome::RanWithError, OldTags, Stays,
     Gone, "ファイルが正しくありません"},
    {"LinkAtFailedEnd", LinkAtEnd, "--exit=1 ", "tags.kestrel-new", Outcome::RanWithError, OldTags,
     Stays, Gone, "終了コード 1"},
    {"GoneAtEnd", GoneAtEnd, "--exit=0 ", "tags.kestrel-new", Outcome::RanWithError, OldTags, Gone,
     Gone, "ファイルが見つかりません"},
    // In the background the watcher makes the file, once the command has
    // returned: one it cannot make ends the run before ctags runs.
    {"TemporaryCannotBeMade", Uncreatable, "--exit=0 ", nullptr, Outcome::NotStarted, OldTags, Gone,
     Gone, "アクセスが拒否されました"},
    {"ReparsePointAtEnd", ReparsePointAtEnd, "--exit=0 ", "tags.kestrel-new", Outcome::RanWithError,
     OldTags, Stays, Gone, "ファイルが正しくありません"},
};

INSTANTIATE_TEST_SUITE_P(Cases, TagsOutputTest,
                         testing::Combine(testing::ValuesIn(kCases), testing::Bool()),
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
        EXPECT_EQ(Shown(folder, letsGo ? Outcome::Ran : Outcome::RanWithError,
                        "アクセスが拒否されました"),
                  Transcript());
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
