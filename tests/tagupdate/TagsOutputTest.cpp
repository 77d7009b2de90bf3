// ctags writes a temporary file that replaces the tags file only after a
// good run; where that cannot be right the tags file is written in place,
// with the command line as configured. ctags itself is found by the plug-in.
#include "tagupdate/CtagsOptions.h"

#include "plugin/UniqueAny.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

const char kOldTags[] = "old\told.c\t/^old$/;\"\tf\n";

// As the real ctags reads them (checked against Universal Ctags for Windows):
// options that make it append to its -f file, then options that do not.
TEST(CtagsOptions, ReadsAppendAsCtagsDoes) {
    for (const char* options : {"-a", "-R -a -V", "-aR", "-Ra", "-Va", "--append", "--append=yes",
                                "--append=on", "--append=1", "--append=true", "--append=y",
                                "--append=Yes", "--append=", "--append=no -a", "\"-a\"",
                                "\"--append\"", "-\"a\"", "-R --regex-c=\"/a b/x/\" -a"}) {
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
    EXPECT_TRUE(LeavesQuoteOpen("-R \"--exclude=a b"));
    EXPECT_FALSE(LeavesQuoteOpen("-R \"--exclude=a b\""));
    EXPECT_FALSE(LeavesQuoteOpen("-R --regex-c=/\\\"/x/"));
}

enum class Before { Tags, Leftover, HeldLeftover, TagsFolder };
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
    const std::string folder =
        "K:\\" + std::string(c.name) + (settings.ExecSync ? "-sync" : "-background");
    host.SetDocumentPath(folder + "\\main.c");
    const std::string tags = folder + "\\" + c.tagsName;
    const std::string temporary = tags + ".kestrel-new";
    if (c.before == Before::TagsFolder) {
        MakeFolders(tags);
    } else {
        MakeFile(tags, kOldTags);
    }
    UniqueFile held;
    if (c.before == Before::Leftover || c.before == Before::HeldLeftover) {
        MakeFile(temporary, "left over\n");
    }
    if (c.before == Before::HeldLeftover) { // as a ctags still writing it holds it
        held.Reset(CreateFileA(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
    }
    settings.TagsFileName = c.tagsName;
    settings.ExecOption = c.options;

    RunTagUpdate(settings, host.Window());
    ASSERT_TRUE(WaitForIdle());

    EXPECT_EQ(Shown(folder, c.end), Transcript());
    if (c.end == Outcome::CouldNotRun) {
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
    EXPECT_EQ(c.before == Before::HeldLeftover, Exists(temporary));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TagsOutputTest,
    testing::Combine(
        testing::Values(
            OutputCase{"Replaced", "tags", "--exit=0 ", "tags.kestrel-new", Before::Tags,
                       After::New, Outcome::Ran},
            OutputCase{"PartialThenError", "tags", "--partial --exit=1 ", "tags.kestrel-new",
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
                       After::Folder, Outcome::Ran}),
        testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<OutputCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "Sync" : "Background");
    });

using HeldTagsTest = CommandTest;

TEST_F(HeldTagsTest, ReplacedOnceTheReaderLetsGoKeptWhileItHolds) {
    for (bool letsGo : {true, false}) {
        SCOPED_TRACE(letsGo ? "the reader lets go" : "the reader holds on");
        ClearEvents();
        const std::string folder = Project(letsGo ? "h1" : "h2");
        MakeFile(folder + "\\tags", kOldTags);
        // Opened as fopen opens for reading: others may read, nobody may replace.
        UniqueFile reader(CreateFileA((folder + "\\tags").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        OnFailedMove(letsGo ? std::function<void()>([&] { reader.Reset(); }) : nullptr);
        RunTagUpdate(settings, host.Window());
        const int failedMoves = OnFailedMove(nullptr);
        reader.Reset();

        if (letsGo) {
            EXPECT_EQ(1, failedMoves);
        } else {
            EXPECT_LE(2, failedMoves) << "retried";
        }
        EXPECT_EQ(Shown(folder, letsGo ? Outcome::Ran : Outcome::RanWithError), Transcript());
        EXPECT_EQ(letsGo ? kFakeTags : kOldTags, FileContents(folder + "\\tags"));
        EXPECT_FALSE(Exists(folder + "\\tags.kestrel-new"));
    }
}

struct LookupCase {
    const char* name;
    bool inCurrentFolder, onPath, besideHost; // where copies of the program lie
    enum { None, FromPath, FromHostFolder } started;
};

class ProgramLookupTest : public CommandTest, public testing::WithParamInterface<LookupCase> {};

TEST_P(ProgramLookupTest, NeverStartsAProgramFromTheCurrentFolder) {
    const LookupCase& c = GetParam();
    const std::string folder = Project(c.name);
    const std::string program = std::string("kestrel-") + c.name; // no extension: .exe is added
    const std::string current = "K:\\" + std::string(c.name) + "\\current";
    const std::string onPath = "K:\\" + std::string(c.name) + "\\bin";
    MakeFolders(current);
    MakeFolders(onPath);
    std::vector<std::string> planted;
    for (const auto& [where, wanted] :
         {std::pair{current, c.inCurrentFolder}, std::pair{onPath, c.onPath},
          std::pair{ProgramFolder(), c.besideHost}}) {
        if (wanted) {
            planted.push_back(where + "\\" + program + ".exe");
            ASSERT_TRUE(CopyFileA(FakeCtagsPath().c_str(), planted.back().c_str(), FALSE));
        }
    }
    char previousFolder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previousFolder);
    char previousPath[32768] = {};
    GetEnvironmentVariableA("PATH", previousPath, sizeof previousPath);
    SetCurrentDirectoryA(current.c_str());
    SetEnvironmentVariableA("PATH", (onPath + ";" + previousPath).c_str());
    settings.ExecPath = program.c_str();

    RunTagUpdate(settings, host.Window());
    SetCurrentDirectoryA(previousFolder);
    SetEnvironmentVariableA("PATH", previousPath);
    for (const std::string& copy : planted) {
        DeleteFileA(copy.c_str());
    }

    if (c.started == LookupCase::None) {
        EXPECT_TRUE(ProcessStarts().empty());
        EXPECT_EQ(Shown(folder, Outcome::CouldNotRun), Transcript());
        return;
    }
    FakeCtagsRecord run = OnlyRun();
    const std::string from = c.started == LookupCase::FromPath ? onPath : ProgramFolder();
    EXPECT_EQ(from + "\\" + program + ".exe", run["program"]);
    EXPECT_EQ("\"" + program + "\" --exit=0  -f tags.kestrel-new", run["cmdline"]);
    EXPECT_EQ(Shown(folder, Outcome::Ran), Transcript());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramLookupTest,
    testing::Values(LookupCase{"OnlyInCurrentFolder", true, false, false, LookupCase::None},
                    LookupCase{"PathBeforeCurrentFolder", true, true, false, LookupCase::FromPath},
                    LookupCase{"HostFolderFirst", true, true, true, LookupCase::FromHostFolder}),
    [](const testing::TestParamInfo<LookupCase>& info) { return info.param.name; });

} // namespace
} // namespace kestrel::test
