// ctags writes a temporary file that replaces the tags file only after a
// good run; where that cannot be right the tags file is written in place,
// with the command line as configured. ctags itself is found by the plug-in.
#include "tagupdate/CtagsOptions.h"

#include "plugin/UniqueAny.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

const char kOldTags[] = "old\told.c\t/^old$/;\"\tf\n";
// What the fake ctags writes for -f.
const char kNewTags[] = "!_TAG_FILE_FORMAT\t2\t/extended format/\n"
                        "main\tmain.c\t/^int main(void)$/;\"\tf\n";

// Each row as the real ctags reads it (checked against Universal Ctags for
// Windows): whether the options make it append to its -f file.
TEST(CtagsOptions, ReadsAppendAsCtagsDoes) {
    const struct {
        const char* options;
        bool append;
    } cases[] = {
        {"-R -V --tag-relative=yes ", false},
        {"-a", true},
        {"-R -a -V", true},
        {"-aR", true},
        {"-Ra", true},
        {"-Va", true},
        {"--append", true},
        {"--append=yes", true},
        {"--append=on", true},
        {"--append=1", true},
        {"--append=true", true},
        {"--append=y", true},
        {"--append=Yes", true},
        {"--append=", true},
        {"--append=no", false},
        {"--append=off", false},
        {"--append=0", false},
        {"--append=false", false},
        {"--append=n", false},
        {"--append=NO", false},
        {"-a --append=no", false},
        {"--append=no -a", true},
        {"-fa", false}, // the rest of the group is the argument of -f
        {"-oa", false},
        {"-ha", false},
        {"-Ia", false},
        {"-La", false},
        {"-Da", false},
        {"-h -a", false}, // the next word is the argument of -h
        {"-I -a", false},
        {"\"-a\"", true},
        {"\"--append\"", true},
        {"-\"a\"", true},
        {"--appen", false},
        {"-R --regex-c=\"/a b/x/\" -a", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.append, AsksToAppend(c.options)) << c.options;
    }
    EXPECT_TRUE(LeavesQuoteOpen("-R \"--exclude=a b"));
    EXPECT_FALSE(LeavesQuoteOpen("-R \"--exclude=a b\""));
    EXPECT_FALSE(LeavesQuoteOpen("-R --regex-c=/\\\"/x/"));
}

enum class Before { Tags, Leftover, HeldLeftover, TagsFolder };
enum class After { Old, New, Folder };
enum class End { Ran, Error, CouldNotRun };

struct OutputCase {
    const char* name;
    const char* tagsName;
    const char* options;
    const char* fileArgument; // what the started command line has after -f
    Before before;
    After after;
    End end;
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

    Lines expected = {Announced(), Folder(folder)};
    if (c.end == End::CouldNotRun) {
        expected.push_back(Failed());
    } else {
        expected.push_back(Running());
        if (c.end == End::Error) {
            expected.push_back("beep");
        }
        const bool ran = c.end == End::Ran;
        expected.push_back(settings.ExecSync ? (ran ? Ran() : RanWithError())
                                             : (ran ? WatcherRan() : WatcherRanWithError()));
    }
    EXPECT_EQ(expected, Transcript());
    if (c.end == End::CouldNotRun) {
        EXPECT_TRUE(ReadFakeCtagsRecords(record).empty());
    } else {
        EXPECT_EQ("\"" + FakeCtagsPath() + "\" " + c.options + " -f " + c.fileArgument,
                  OnlyRun()["cmdline"]);
    }
    if (c.after == After::Folder) {
        EXPECT_NE(0u, GetFileAttributesA(tags.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    } else {
        EXPECT_EQ(c.after == After::New ? kNewTags : kOldTags, FileContents(tags));
    }
    EXPECT_EQ(c.before == Before::HeldLeftover, Exists(temporary));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TagsOutputTest,
    testing::Combine(
        testing::Values(OutputCase{"Replaced", "tags", "--exit=0 ", "tags.kestrel-new",
                                   Before::Tags, After::New, End::Ran},
                        OutputCase{"PartialThenError", "tags", "--partial --exit=1 ",
                                   "tags.kestrel-new", Before::Tags, After::Old, End::Error},
                        OutputCase{"PartialThenTerminated", "tags",
                                   "--partial --terminate --exit=1 ", "tags.kestrel-new",
                                   Before::Tags, After::Old, End::Error},
                        // A leftover is gone before ctags starts: a run that writes
                        // nothing does not put it in place of the tags file.
                        OutputCase{"NothingWrittenOverLeftover", "tags", "--exit=0 --no-output ",
                                   "tags.kestrel-new", Before::Leftover, After::Old, End::Ran},
                        OutputCase{"LeftoverStillHeld", "tags", "--exit=0 ", "",
                                   Before::HeldLeftover, After::Old, End::CouldNotRun},
                        OutputCase{"BlankInName", "my tags", "--exit=0 ", "my tags", Before::Tags,
                                   After::Old, End::Ran},
                        OutputCase{"Append", "tags", "--exit=0 -a ", "tags", Before::Tags,
                                   After::New, End::Ran},
                        OutputCase{"TagsIsAFolder", "tags", "--exit=0 ", "tags", Before::TagsFolder,
                                   After::Folder, End::Ran}),
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
        OnFailedMove([&] {
            if (letsGo) {
                reader.Reset();
            }
        });
        RunTagUpdate(settings, host.Window());
        const int failedMoves = OnFailedMove(nullptr);
        reader.Reset();

        if (letsGo) {
            EXPECT_EQ(1, failedMoves);
            EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), Ran()}), Transcript());
            EXPECT_EQ(kNewTags, FileContents(folder + "\\tags"));
        } else {
            EXPECT_LE(2, failedMoves) << "retried";
            EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), "beep", RanWithError()}),
                      Transcript());
            EXPECT_EQ(kOldTags, FileContents(folder + "\\tags"));
        }
        EXPECT_FALSE(Exists(folder + "\\tags.kestrel-new"));
    }
}

struct LookupCase {
    const char* name;
    bool inCurrentFolder;
    bool onPath;
    bool besideHost;
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
        EXPECT_EQ(Lines({Announced(), Folder(folder), Failed()}), Transcript());
        return;
    }
    FakeCtagsRecord run = OnlyRun();
    const std::string from = c.started == LookupCase::FromPath ? onPath : ProgramFolder();
    EXPECT_EQ(from + "\\" + program + ".exe", run["program"]);
    EXPECT_EQ("\"" + program + "\" --exit=0  -f tags.kestrel-new", run["cmdline"]);
    EXPECT_EQ(Lines({Announced(), Folder(folder), Running(), Ran()}), Transcript());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramLookupTest,
    testing::Values(LookupCase{"OnlyInCurrentFolder", true, false, false, LookupCase::None},
                    LookupCase{"PathBeforeCurrentFolder", true, true, false, LookupCase::FromPath},
                    LookupCase{"HostFolderFirst", true, true, true, LookupCase::FromHostFolder}),
    [](const testing::TestParamInfo<LookupCase>& info) { return info.param.name; });

} // namespace
} // namespace kestrel::test
