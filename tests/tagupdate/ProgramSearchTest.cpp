// ctags is found as Windows finds a program, except in the current folder.
#include "tagupdate/ProgramSearch.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/support/EnvironmentGuard.h"
#include "tests/support/ImportRedirect.h"
#include "tests/tagupdate/CommandFixture.h"

namespace kestrel::test {
namespace {

// Where copies of the program lie, and where the one started comes from.
enum Place { Nowhere = 0, Current = 1, OnPath = 2, BesideHost = 4, Windows = 8, DriveRoot = 16 };

struct LookupCase {
    const char* name;
    const char* folderPart; // of ExecPath: "", a relative "sub\\", or "K:" or "\\"
    int copies;             // Places
    Place started;
    int foldersNamedLikeIt = Nowhere; // Places where a folder has the program's name
    bool quoted = false;              // ExecPath in double quotes
    bool deepPath = false;            // the PATH folder is 150 characters long, 280 bytes
    bool editorOnK = false;           // the editor's executable lies on K:, not beside the test
};

class ProgramLookupTest : public CommandTest, public testing::WithParamInterface<LookupCase> {};

// GetEnvironmentVariableA as Windows answers it; Wine cuts a double-byte
// value at its length in UTF-16 units.
DWORD WINAPI WholeVariable(LPCSTR name, LPSTR buffer, DWORD size) {
    static wchar_t wide[32768];
    if (GetEnvironmentVariableW(std::wstring(name, name + std::strlen(name)).c_str(), wide,
                                32768) == 0) { // the names asked for are ASCII
        return 0;
    }
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (buffer == nullptr || size < static_cast<DWORD>(bytes)) {
        return static_cast<DWORD>(bytes);
    }
    return static_cast<DWORD>(
        WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, bytes, nullptr, nullptr) - 1);
}

TEST_P(ProgramLookupTest, NeverStartsAProgramFromTheCurrentFolder) {
    const LookupCase& c = GetParam();
    const ImportRedirect wholeVariables("kernel32.dll", "GetEnvironmentVariableA",
                                        reinterpret_cast<void*>(&WholeVariable));
    const std::string folder = Project(c.name);
    // No extension: .exe is added.
    const std::string program = c.folderPart + std::string("kestrel-") + c.name;
    const bool anchored = c.folderPart[0] == '\\' || c.folderPart[1] == ':';
    const std::string file = anchored ? program.substr(std::strlen(c.folderPart)) : program;
    const std::string current = "K:\\" + std::string(c.name) + "\\current";
    std::string deep;
    for (int i = 0; i < 130; ++i) {
        deep += Cp932("あ");
    }
    const std::string onPath = "K:\\" + std::string(c.name) + "\\" + (c.deepPath ? deep : "bin");
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::map<Place, std::string> places = {{Current, current},
                                                 {OnPath, onPath},
                                                 {BesideHost, ProgramFolder()},
                                                 {Windows, windows},
                                                 {DriveRoot, "K:"}};
    std::vector<std::string> planted;
    for (const auto& [place, where] : places) {
        const std::string copy = where + "\\" + file + ".exe";
        MakeFolders(copy.substr(0, copy.rfind('\\')));
        if ((c.copies & place) != 0) {
            ASSERT_TRUE(CopyFileA(FakeCtagsPath().c_str(), copy.c_str(), FALSE));
            planted.push_back(copy);
        } else if ((c.foldersNamedLikeIt & place) != 0) {
            ASSERT_TRUE(CreateDirectoryA(copy.c_str(), nullptr));
            planted.push_back(copy);
        }
    }
    settings.ExecPath = (c.quoted ? "\"" + program + "\"" : program).c_str();
    {
        const ScopedCurrentFolder here(current.c_str());
        // A relative entry names the current folder: it is skipped.
        const ScopedVariable path(
            "PATH", (".;" + onPath + ";" + EnvironmentVariable("PATH").Chars()).c_str());
        PlaceProgramAt(c.editorOnK ? "K:\\editor\\EmEditor.exe" : "");
        RunTagUpdate(settings, host.Window());
        PlaceProgramAt("");
    }
    settings.ExecPath = program.c_str(); // as every text shows it
    for (const std::string& copy : planted) {
        DeleteFileA(copy.c_str()) || RemoveDirectoryA(copy.c_str());
        if (*c.folderPart != '\0') {
            RemoveDirectoryA(copy.substr(0, copy.rfind('\\')).c_str());
        }
    }

    if (c.started == Nowhere) {
        EXPECT_TRUE(ProcessStarts().empty());
        const bool bare = program.find_first_of("\\/:") == std::string::npos;
        EXPECT_EQ(Shown(folder, Outcome::CouldNotRun,
                        Utf8(program) + (bare ? " が PATH にもエディタのフォルダにも見つかりません"
                                              : " が見つかりません")),
                  Transcript());
        return;
    }
    FakeCtagsRecord run = OnlyRun();
    EXPECT_EQ(places.at(c.started) + "\\" + file + ".exe", run["program"]);
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
        LookupCase{"RelativeBesideHost", "sub\\", Current | OnPath | BesideHost, BesideHost},
        // Relative to a drive: from its root; relative to a root: from the
        // host's drive (not K:), never the current one.
        LookupCase{"DriveRelative", "K:", Current | DriveRoot, DriveRoot},
        LookupCase{"RootRelative", "\\", Current | DriveRoot, Nowhere},
        LookupCase{"Quoted", "", Current | OnPath, OnPath, Nowhere, true},
        // A folder's length counts in characters, not bytes.
        LookupCase{"DeepDoubleBytePathFolder", "", OnPath, OnPath, Nowhere, false, true},
        LookupCase{"RootRelativeOnEditorDrive", "\\", Current | DriveRoot, DriveRoot, Nowhere,
                   false, false, true}),
    [](const testing::TestParamInfo<LookupCase>& info) { return info.param.name; });

using BatchProgramTest = CommandTest;

// The command interpreter that runs a batch file looks for the command
// line's first word in the current folder first: a batch file of that name
// planted in the run folder must not run in place of the one found.
TEST_F(BatchProgramTest, RunsTheBatchFileFoundNotOnePlantedInTheRunFolder) {
    const std::string folder = Project("batch");
    const std::string found = ProgramFolder() + "\\kestrel-batch.bat";
    MakeFile(found, "@\"" + FakeCtagsPath() + "\" %*\r\n");
    MakeFile(folder + "\\kestrel-batch.bat", "@echo planted> planted.txt\r\n");
    settings.ExecPath = "kestrel-batch.bat";

    RunTagUpdate(settings, host.Window());
    DeleteFileA(found.c_str());

    EXPECT_EQ(Shown(folder, Outcome::Ran), Transcript());
    EXPECT_EQ(folder, OnlyRun()["cwd"]);
    EXPECT_FALSE(Exists(folder + "\\planted.txt"));
}

} // namespace
} // namespace kestrel::test
