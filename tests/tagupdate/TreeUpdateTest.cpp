// The command twice on one tree, with a change between, against the real
// ctags: after the second command the tags file holds the bytes of a fresh
// full run on the tree as it is then, whether the command updated it or ran
// ctags on the whole tree; and each row says which of the two it took.
#include "tagupdate/TreeUpdate.h"

#include <functional>

#include "tests/host/ProcessRun.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

// How the second command ran ctags: on the changed files only (or not at
// all, with only deletions), on the whole tree, or the first and then the
// second because the update could not give the full run's bytes.
enum class Road { Update, Full, UpdateThenFull };

struct Row {
    const char* name;
    const char* options; // ExecOption
    std::function<void(const std::string& folder)> change;
    Road road;
    bool newSettings = false;  // the change is one that ctags's exclusions may follow
    const char* tags = "tags"; // TagsFileName
};

constexpr ULONGLONG kHour = 36000000000ull;

void SetWriteTime(const std::string& path, ULONGLONG time) {
    const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    FILETIME at = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &at)) << path;
    CloseHandle(file);
}

ULONGLONG Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// A file of C that ctags reads, its names shared with other files so that
// lines of one tag name come from several files.
std::string Source(int n) {
    const std::string id = std::to_string(n);
    return "struct shape" + id + " { int width; int height; };\n" + "static int area" + id +
           "(void) { return " + id + "; }\n" + "int run(void) { return area" + id + "(); }\n" +
           "#define LIMIT_" + id + " " + id + "\n";
}

// Sixteen sources in folders, an excluded folder and an option file that
// excludes another, all written an hour ago.
void MakeTree(const std::string& folder) {
    const char* names[] = {"a.c",           "b.h",           "src\\c.c",    "src\\d.c",
                           "src\\sub\\e.c", "src\\sub\\f.h", "lib\\g.c",    "lib\\h.c",
                           "lib\\i.c",      "lib\\x\\j.c",   "lib\\x\\k.c", "m.c",
                           "n.c",           "o.c",           "skip\\p.c",   "other\\q.c"};
    int n = 0;
    for (const char* name : names) {
        MakeFile(folder + "\\" + name, Source(++n));
    }
    MakeFile(folder + "\\.ctags.d\\o.ctags", "--exclude=other\n");
    for (const char* name : names) {
        SetWriteTime(folder + "\\" + name, Now() - kHour);
    }
    SetWriteTime(folder + "\\.ctags.d\\o.ctags", Now() - kHour);
}

void Write(const std::string& path, const std::string& text) {
    MakeFile(path, text);
}

class TreeUpdateTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        settings.ExecPath = (ProgramFolder() + "\\ctags.exe").c_str();
    }

    Lines RunCommand() {
        ClearEvents();
        RunTagUpdate(settings, host.Window());
        EXPECT_TRUE(settings.ExecSync || WaitForIdle());
        return Transcript();
    }

    // The background road launches ctags on the tree before it learns what
    // changed, and ends it unlet where it updates: there the road shows only
    // as ctags started on a list. ctags is asked for its exclusions again
    // only where what decides them changed.
    void ExpectRoad(const Row& row) const {
        const Road road = row.road;
        bool listed = false, whole = false, asked = false;
        for (const ProcessStart& start : ProcessStarts()) {
            listed |= start.commandLine.find(" --sort=no -L ") != std::string::npos;
            whole |= start.commandLine.find(".kestrel-new") != std::string::npos;
            asked |= start.commandLine.find(" --list-excludes") != std::string::npos;
        }
        EXPECT_EQ(row.newSettings, asked);
        if (settings.ExecSync) {
            EXPECT_EQ(road, whole ? (listed ? Road::UpdateThenFull : Road::Full) : Road::Update);
        } else if (road == Road::Full) {
            EXPECT_FALSE(listed);
        }
    }

    // The tags file is what ctags writes in the same tree, byte for byte.
    void ExpectFullRunBytes(const std::string& folder, const Row& row) {
        const std::string oracle = std::string(row.tags) + ".oracle";
        const ProcessResult fresh =
            RunAndCapture("\"" + ProgramFolder() + "\\ctags.exe\" " + row.options + " -f " + oracle,
                          folder.c_str());
        ASSERT_TRUE(fresh.started && fresh.exitCode == 0);
        const std::string expected = FileContents(folder + "\\" + oracle);
        EXPECT_NE(std::string::npos, expected.find("\nLIMIT_5\t")) << expected;
        EXPECT_EQ(expected, FileContents(folder + "\\" + row.tags));
        RemoveFile(folder + "\\" + oracle);
    }
};

TEST_F(TreeUpdateTest, SecondCommandGivesFullRunBytes) {
    const Row rows[] = {
        {"edit", "-R", [](const std::string& f) { Write(f + "\\src\\c.c", Source(40)); },
         Road::Update},
        {"add", "-R", [](const std::string& f) { Write(f + "\\src\\new.c", Source(41)); },
         Road::Update},
        {"delete", "-R", [](const std::string& f) { RemoveFile(f + "\\lib\\g.c"); }, Road::Update},
        {"rename", "-R",
         [](const std::string& f) { MoveFileA((f + "\\m.c").c_str(), (f + "\\zz.c").c_str()); },
         Road::Update},
        {"new folder", "-R --fields=+n",
         [](const std::string& f) { Write(f + "\\new\\deeper\\r.c", Source(42)); }, Road::Update},
        {"same size, new time", "-R",
         [](const std::string& f) { Write(f + "\\n.c", Source(13).replace(0, 6, "union ")); },
         Road::Update},
        {"excluded folders", "-R --exclude=skip",
         [](const std::string& f) {
             Write(f + "\\skip\\s.c", Source(43));
             Write(f + "\\other\\t.c", Source(44));
             Write(f + "\\a.c", Source(45));
         },
         Road::Update},
        {"e-ctags", "-R --output-format=e-ctags",
         [](const std::string& f) { Write(f + "\\lib\\i.c", Source(46)); }, Road::Update},
        {"option file added", "-R",
         [](const std::string& f) { Write(f + "\\.ctags.d\\p.ctags", "--exclude=lib\n"); },
         Road::Full, true},
        {"a quarter and more", "-R",
         [](const std::string& f) {
             for (const char* name : {"a.c", "b.h", "m.c", "n.c", "o.c"}) {
                 Write(f + "\\" + name, Source(50));
             }
         },
         Road::Full},
        {"dash name", "-R", [](const std::string& f) { Write(f + "\\-d.c", Source(47)); },
         Road::Full},
        {"tags written elsewhere", "-R",
         [](const std::string& f) {
             Write(f + "\\o.c", Source(48));
             Write(f + "\\tags", FileContents(f + "\\tags"));
         },
         Road::Full},
        {"foldcase", "-R --sort=foldcase",
         [](const std::string& f) { Write(f + "\\src\\c.c", Source(49)); }, Road::Full},
        {"a link in the tree", "-R", [](const std::string&) { ShowAsLink(L"x"); }, Road::Full},
        {"tags file in a subfolder", "-R",
         [](const std::string& f) { Write(f + "\\src\\c.c", Source(51)); }, Road::Full, false,
         "lib\\tags"},
    };
    int serial = 0;
    for (const bool sync : {true, false}) {
        settings.ExecSync = sync;
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (sync ? "" : ", in the background"));
            const std::string folder = Project("u" + std::to_string(++serial));
            MakeTree(folder);
            MakeFile(folder + "\\" + row.tags);
            settings.TagsFileName = row.tags;
            settings.ExecOption = row.options;
            ASSERT_EQ(Shown(folder, Outcome::Ran), RunCommand());
            row.change(folder);
            ClearProcessStarts();
            EXPECT_EQ(Shown(folder, Outcome::Ran), RunCommand());
            ShowAsLink(L"");
            ExpectRoad(row);
            ExpectFullRunBytes(folder, row);
        }
    }
}

} // namespace
} // namespace kestrel::test
