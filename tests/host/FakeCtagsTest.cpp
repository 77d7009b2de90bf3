// The fake ctags that the command tests rely on: its record of each run, its
// tags file, its exit code and its wait for a file.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/host/ProcessRun.h"
#include "tests/support/Sandbox.h"

namespace kestrel::test {
namespace {

class FakeCtagsTest : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "fake-ctags-test-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        record = folder + "\\record.txt";
        DeleteFileA(record.c_str());
        DeleteFileA((folder + "\\tags").c_str());
        DeleteFileA((folder + "\\gate").c_str());
        SetEnvironmentVariableA("KESTREL_FAKE_CTAGS_RECORD", record.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("KESTREL_FAKE_CTAGS_RECORD", nullptr);
        DeleteFileA(record.c_str());
        DeleteFileA((folder + "\\tags").c_str());
        DeleteFileA((folder + "\\gate").c_str());
        RemoveDirectoryA(folder.c_str());
    }
    std::string CommandLine(const std::string& options) const {
        return "\"" + BuildFolder() + "\\FakeCtags.exe\" " + options + " -f tags";
    }

    std::string folder;
    std::string record;
};

TEST_F(FakeCtagsTest, RecordsItsStartWritesTagsAndExitsAsTold) {
    // Without flags the fake shares the test's console, if it has one.
    const char* inherited = GetConsoleWindow() != nullptr ? "1" : "0";
    const struct {
        std::string options;
        DWORD creationFlags;
        DWORD exitCode;
        const char* console;
    } cases[] = {
        {"-R -V --tag-relative=yes ", 0, 0, inherited},
        {"--exit=2 -R", DETACHED_PROCESS, 2, "0"},
        {"--delay=10 --exit=1", CREATE_NEW_CONSOLE, 1, "1"},
    };
    std::string expectedRecord;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string commandLine = CommandLine(c.options);
        const ProcessResult run = RunAndCapture(commandLine, folder.c_str(), c.creationFlags);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(c.exitCode, run.exitCode);
        EXPECT_EQ(
            "!_TAG_FILE_FORMAT\t2\t/extended format/\nmain\tmain.c\t/^int main(void)$/;\"\tf\n",
            FileContents(folder + "\\tags"));
        expectedRecord += "cmdline: " + commandLine + "\r\ncwd: " + folder +
                          "\r\nconsole: " + c.console + "\r\nprogram: " + BuildFolder() +
                          "\\FakeCtags.exe\r\nend\r\n";
        EXPECT_EQ(expectedRecord, FileContents(record));
    }
}

TEST_F(FakeCtagsTest, EndsOnlyOnceTheWaitFileExists) {
    const std::string gate = folder + "\\gate";
    std::string commandLine = CommandLine("--wait-file=" + gate);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.c_str(), &startup, &process));
    while (!Exists(record)) {
        Sleep(20);
    }
    // Started, and held by the missing file.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process.hProcess, 0));
    EXPECT_FALSE(Exists(folder + "\\tags"));
    CloseHandle(CreateFileA(gate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.hProcess, INFINITE));
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(Exists(folder + "\\tags"));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace
} // namespace kestrel::test
