// A stand-in for ctags.exe that tests start in its place. The plug-in runs
// `"ExecPath" ExecOption -f TagsFileName`, so a test steers the fake through
// ExecOption:
//   --exit=N         exit code (default 0)
//   --delay=MS       sleep before ending (default 0)
//   --wait-file=PATH do not end before PATH exists (polled every 20 ms)
//   --give-up=MS     stop waiting for that file after MS and exit with code 3
//   -f NAME          write a small tags file NAME in the current folder
//   --partial        write only its first half, as a run cut short leaves it
//   --no-output      write no tags file at all, as a wrapper that writes elsewhere
//   --terminate      end by TerminateProcess, files still open, instead of exiting
//   --outlive        start a copy that does the above once this one has ended
//                    (as a wrapper's ctags), and end at once; only this one is recorded
// Every other argument is ignored, as the real options (-R, -V, ...) are.
// When KESTREL_FAKE_CTAGS_RECORD names a file, each run first appends a
// record of how it was started: "cmdline: ...", "cwd: ...", "console: 0|1",
// "program: <its own path>" and "end", one line each.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kPollMs = 20;

struct FakeOptions {
    int exitCode = 0;
    DWORD delayMs = 0;
    std::string waitFile;
    DWORD giveUpMs = INFINITE;
    std::string tagsFile;
    bool partial = false;
    bool noOutput = false;
    bool terminate = false;
    bool outlive = false;
    DWORD after = 0; // the process that started this one with --outlive
};

FakeOptions ParseOptions(int argc, char** argv) {
    FakeOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string value = arg.substr(arg.find('=') + 1);
        if (arg.rfind("--exit=", 0) == 0) {
            options.exitCode = std::atoi(value.c_str());
        } else if (arg.rfind("--delay=", 0) == 0) {
            options.delayMs = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (arg.rfind("--give-up=", 0) == 0) {
            options.giveUpMs = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (arg.rfind("--wait-file=", 0) == 0) {
            options.waitFile = value;
        } else if (arg.rfind("--after=", 0) == 0) {
            options.after = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (arg == "-f" && i + 1 < argc) {
            options.tagsFile = argv[++i];
        } else {
            options.partial |= arg == "--partial";
            options.noOutput |= arg == "--no-output";
            options.terminate |= arg == "--terminate";
            options.outlive |= arg == "--outlive";
        }
    }
    return options;
}

void WriteRecord() {
    char recordPath[MAX_PATH] = {};
    const DWORD length =
        GetEnvironmentVariableA("KESTREL_FAKE_CTAGS_RECORD", recordPath, sizeof recordPath);
    if (length == 0 || length >= sizeof recordPath) {
        return;
    }
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    char program[2 * MAX_PATH] = {}; // a path of double-byte characters
    GetModuleFileNameA(nullptr, program, sizeof program);
    const std::string record = std::string("cmdline: ") + GetCommandLineA() + "\r\n" +
                               "cwd: " + folder + "\r\n" +
                               "console: " + (GetConsoleWindow() != nullptr ? "1" : "0") + "\r\n" +
                               "program: " + program + "\r\n" + "end\r\n";
    // One write in append mode, so that records of runs at the same time stay whole.
    HANDLE file = CreateFileA(recordPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        CloseHandle(file);
    }
}

// The file stays open when the run is cut short, as ctags leaves it.
void WriteTagsFile(const std::string& name, bool partial) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const char tags[] = "!_TAG_FILE_FORMAT\t2\t/extended format/\n"
                        "main\tmain.c\t/^int main(void)$/;\"\tf\n";
    DWORD written = 0;
    WriteFile(file, tags, partial ? (sizeof tags - 1) / 2 : sizeof tags - 1, &written, nullptr);
    if (!partial) {
        CloseHandle(file);
    }
}

} // namespace

// Starts the copy that outlives this process.
bool StartOutliving() {
    std::string line = GetCommandLineA() + (" --after=" + std::to_string(GetCurrentProcessId()));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const bool started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &info);
    return started && CloseHandle(info.hThread) && CloseHandle(info.hProcess);
}

int main(int argc, char** argv) {
    const FakeOptions options = ParseOptions(argc, argv);
    if (options.after == 0) {
        WriteRecord();
    }
    if (options.outlive && options.after == 0) {
        return StartOutliving() ? options.exitCode : 4;
    }
    if (const HANDLE starter = OpenProcess(SYNCHRONIZE, FALSE, options.after)) {
        WaitForSingleObject(starter, INFINITE);
        CloseHandle(starter);
    }
    const DWORD start = GetTickCount();
    while (!options.waitFile.empty() &&
           GetFileAttributesA(options.waitFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= options.giveUpMs) {
            return 3;
        }
        Sleep(kPollMs);
    }
    Sleep(options.delayMs);
    if (!options.tagsFile.empty() && !options.noOutput) {
        WriteTagsFile(options.tagsFile, options.partial);
    }
    if (options.terminate) {
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(options.exitCode));
    }
    return options.exitCode;
}
