// The tag update command against ctags started directly, in one process, on
// a generated source tree of a few thousand files, with the real ctags.
//
// The command runs with Shift held, so that ctags runs on the whole tree
// each time (UpdateBench measures the update); it still asks ctags for its
// exclusions, walks the tree and keeps the record.
//
//   synchronous: RunTagUpdate (no browser: the found folder is used at once;
//                ctags writes a temporary file that then replaces the tags
//                file) against CreateProcessA + WaitForSingleObject with the
//                same command line, folder and flags, writing the tags file
//                in place, rounds alternating; the median of the per-round
//                ratios must stay at most 1.1.
//   background:  the time until RunTagUpdate returns against a bare
//                CreateProcessA + CloseHandle of the same command, rounds
//                alternating: at most 1.1 times that floor. Also against the
//                time until the completion text arrives.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "plugin/ModuleState.h"
#include "settings/Settings.h"
#include "tagupdate/CtagsRun.h"
#include "tagupdate/TagUpdate.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Sandbox.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Lowest, quartiles and highest of the values.
void PrintSpread(const char* what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t last = values.size() - 1;
    std::printf("%s: spread min %.3f, q1 %.3f, median %.3f, q3 %.3f, max %.3f\n", what, values[0],
                values[last / 4], values[last / 2], values[last - last / 4], values[last]);
}

void MakeTree(const std::string& root, int files) {
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "\\module" + std::to_string(i / 100);
        if (i % 100 == 0) {
            MakeFolders(folder);
        }
        char text[256];
        std::snprintf(text, sizeof text,
                      "struct record_%d { int id; };\nint function_%d(int x) { return x + %d; }\n"
                      "#define LIMIT_%d %d\n",
                      i, i, i, i, i);
        MakeFile(folder + "\\file" + std::to_string(i) + ".c", text);
    }
    MakeFile(root + "\\tags");
}

PROCESS_INFORMATION StartDirectly(const std::string& commandLine, const std::string& folder,
                                  DWORD priority) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string writable = commandLine;
    writable.resize(2048 > writable.size() ? 2048 : writable.size() + 1, '\0');
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | priority, nullptr, folder.c_str(), &startup, &info)) {
        std::fprintf(stderr, "ctags did not start\n");
        std::exit(1);
    }
    return info;
}

double RunDirectly(const std::string& commandLine, const std::string& folder) {
    const double start = Now();
    const PROCESS_INFORMATION info = StartDirectly(commandLine, folder, NORMAL_PRIORITY_CLASS);
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    if (code != 0) {
        std::fprintf(stderr, "ctags exited with %lu\n", code);
        std::exit(1);
    }
    return Now() - start;
}

} // namespace

int main(int argc, char** argv) {
    SetModuleInstance(GetModuleHandleA(nullptr));
    const int files = argc > 1 ? std::atoi(argv[1]) : 3000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    const std::string root = "K:\\tree";
    MakeTree(root, files);

    FakeHost host;
    host.SetDocumentPath(root + "\\module0\\file0.c");
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    Settings settings;
    settings.ExecPath = (ProgramFolder() + "\\ctags.exe").c_str();
    settings.AskFolder = false;
    const std::string commandLine = BuildCommandLine(settings).Chars();
    std::printf("tree: %d files; command line: %s\n", files, commandLine.c_str());

    RunDirectly(commandLine, root); // warm the file cache
    std::vector<double> ratios, command, direct;
    for (int round = 0; round < rounds; ++round) {
        // Each round runs both twice, in the order A B B A, so that neither
        // always runs on the cache the other left.
        double commandSeconds = 0;
        double directSeconds = 0;
        for (int turn = 0; turn < 4; ++turn) {
            if (turn == 0 || turn == 3) {
                ClearEvents();
                const double start = Now();
                RunTagUpdate(settings, host.Window());
                commandSeconds += Now() - start;
                if (StatusTexts().size() != 4) {
                    std::fprintf(stderr, "the command did not run ctags to its end\n");
                    return 1;
                }
            } else {
                directSeconds += RunDirectly(commandLine, root);
            }
        }
        command.push_back(commandSeconds / 2);
        direct.push_back(directSeconds / 2);
        ratios.push_back(commandSeconds / directSeconds);
    }
    std::printf("synchronous: command %.3f s, direct %.3f s (medians of %d alternating rounds)\n",
                Median(command), Median(direct), rounds);
    const double syncRatio = Median(ratios);
    std::printf("synchronous: median ratio command/direct = %.3f\n", syncRatio);
    PrintSpread("synchronous ratios", ratios);

    // A larger tree, so that ctags runs for seconds, as on real projects.
    const std::string bigRoot = "K:\\bigtree";
    MakeTree(bigRoot, files * 4);
    host.SetDocumentPath(bigRoot + "\\module0\\file0.c");
    settings.ExecSync = false;
    std::vector<double> returned, finished, bare;
    const auto runCommand = [&] {
        ClearEvents();
        const double start = Now();
        RunTagUpdate(settings, host.Window());
        returned.push_back(Now() - start);
        const bool ended = FakeHost::PumpUntil([] { return RunningMarker() == nullptr; }, 600000);
        finished.push_back(Now() - start);
        return ended && StatusTexts().size() == 4;
    };
    // The floor: the same ctags started and let go of at once. It is then
    // ended off the clock; only its start matters here.
    const auto startBare = [&] {
        const double start = Now();
        const PROCESS_INFORMATION info = StartDirectly(commandLine, bigRoot, IDLE_PRIORITY_CLASS);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        bare.push_back(Now() - start);
        const HANDLE process =
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, info.dwProcessId);
        if (process != nullptr) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, INFINITE);
            CloseHandle(process);
        }
    };
    for (int round = 0; round < rounds; ++round) {
        // Alternating which goes first, so that neither always starts on
        // the heels of the other.
        if (round % 2 == 1) {
            startBare();
        }
        if (!runCommand()) {
            std::fprintf(stderr, "the background command did not report its end\n");
            return 1;
        }
        if (round % 2 == 0) {
            startBare();
        }
    }
    const double backgroundRatio = Median(returned) / Median(finished);
    std::vector<double> floorRatios;
    for (int round = 0; round < rounds; ++round) {
        floorRatios.push_back(returned[round] / bare[round]);
    }
    const double floorRatio = Median(floorRatios);
    std::printf("background (%d files): OnCommand returns after %.4f s, ctags done after %.3f s\n",
                files * 4, Median(returned), Median(finished));
    std::printf("background: ratio return/run = %.5f (%.3f%%)\n", backgroundRatio,
                100.0 * backgroundRatio);
    std::printf("background: bare CreateProcessA + CloseHandle %.4f s; median ratio return/bare = "
                "%.3f\n",
                Median(bare), floorRatio);
    PrintSpread("background return/bare ratios", floorRatios);

    const bool syncOk = syncRatio <= 1.1;
    const bool backgroundOk = floorRatio <= 1.1;
    std::printf("%s\n", syncOk && backgroundOk ? "OK" : "OUT OF BOUNDS");
    return syncOk && backgroundOk ? 0 : 1;
}
