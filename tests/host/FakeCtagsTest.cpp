// The fake ctags that the command tests rely on: its record of each run, its
// tags file, its exit code and its wait for a file.
#include <gtest/gtest.h>

#include "plugin/UniqueAny.h"
#include "tests/host/ProcessRun.h"

namespace kestrel::test {
namespace {

class FakeCtagsTest : public testing::Test {
protected:
    void SetUp() override {
        MakeFolders(folder);
        RemoveFile(folder + "\\tags");
    }
    std::string CommandLine(const std::string& options) const {
        return "\"" + FakeCtagsPath() + "\" " + options + " -f tags";
    }

    const std::string folder = "K:\\fake-ctags";
    const std::string record = StartFakeCtagsRecord();
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
        EXPECT_EQ(kFakeTags, FileContents(folder + "\\tags"));
        expectedRecord += "cmdline: " + commandLine + "\r\ncwd: " + folder +
                          "\r\nconsole: " + c.console + "\r\nprogram: " + FakeCtagsPath() +
                          "\r\nend\r\n";
        EXPECT_EQ(expectedRecord, FileContents(record));
    }
}

TEST_F(FakeCtagsTest, EndsOnlyOnceTheWaitFileExists) {
    const std::string gate = folder + "\\gate";
    RemoveFile(gate);
    std::string commandLine = CommandLine("--wait-file=" + gate);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.c_str(), &startup, &started));
    const UniqueHandle thread(started.hThread);
    const UniqueHandle process(started.hProcess);
    while (!Exists(record)) {
        Sleep(20);
    }
    // Started, and held by the missing file.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process.Get(), 0));
    EXPECT_FALSE(Exists(folder + "\\tags"));
    MakeFile(gate);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.Get(), INFINITE));
    DWORD exitCode = 1;
    GetExitCodeProcess(process.Get(), &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(kFakeTags, FileContents(folder + "\\tags"));
}

} // namespace
} // namespace kestrel::test
