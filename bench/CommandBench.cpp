// The tag update command against ctags started directly, in one process, on
// generated source trees, with the real ctags.
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
//                CreateProcessA + CloseHandle of the same command: at most
//                1.1 times that floor. A start under Wine costs 15-20 ms and
//                varies by several milliseconds from one to the next, while
//                the command adds about one: the figure is taken over many
//                short rounds on a small tree, each pairing a command with a
//                bare start right beside it (in turn before and after). The
//                command's own cost is its time to return less the time spent
//                in its CreateProcessA (timed through the program's import),
//                which leaves out the start's noise: the figure is the median
//                bare start plus the median own cost, over the median bare
//                start. The median of the paired differences is printed beside
//                it as a check.
//                Also, on a large tree, against the time until the completion
//                text arrives.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "plugin/ModuleState.h"
#include "settings/Settings.h"
#include "tagupdate/CtagsRun.h"
#include "tagupdate/TagUpdate.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/ImportRedirect.h"
#include "tests/support/Sandbox.h"

using namespace kestrel;
using namespace kestrel::test;
using kestrel::bench::Median;
using kestrel::bench::Now;

namespace {

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

// Time spent in CreateProcessA since the last reset, through the program's
// import, which the command's code linked in here calls as well.
double g_inCreateProcess = 0;
decltype(&CreateProcessA) g_realCreateProcess = nullptr;

BOOL WINAPI TimedCreateProcess(LPCSTR application, LPSTR commandLine,
                               LPSECURITY_ATTRIBUTES processAttributes,
                               LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                               LPVOID environment, LPCSTR folder, LPSTARTUPINFOA startup,
                               LPPROCESS_INFORMATION info) {
    const double start = Now();
    const BOOL started =
        g_realCreateProcess(application, commandLine, processAttributes, threadAttributes, inherit,
                            flags, environment, folder, startup, info);
    g_inCreateProcess += Now() - start;
    return started;
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

    // The floor: the same ctags started and let go of at once. It is then
    // ended off the clock; only its start matters here.
    settings.ExecSync = false;
    const ImportRedirect timedStart("kernel32.dll", "CreateProcessA",
                                    reinterpret_cast<void*>(&TimedCreateProcess));
    g_realCreateProcess = reinterpret_cast<decltype(&CreateProcessA)>(timedStart.Original());
    if (g_realCreateProcess == nullptr) {
        std::fprintf(stderr, "the program does not import CreateProcessA\n");
        return 1;
    }
    std::vector<double> own;
    const auto startBare = [&](const std::string& folder) {
        const double start = Now();
        const PROCESS_INFORMATION info = StartDirectly(commandLine, folder, IDLE_PRIORITY_CLASS);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        const double seconds = Now() - start;
        const HANDLE process =
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, info.dwProcessId);
        if (process != nullptr) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, INFINITE);
            CloseHandle(process);
        }
        return seconds;
    };
    // How long the command takes to return, and until its closing text.
    const auto runCommand = [&](double& returned, double& finished) {
        ClearEvents();
        g_inCreateProcess = 0;
        const double start = Now();
        RunTagUpdate(settings, host.Window());
        returned = Now() - start;
        own.push_back(returned - g_inCreateProcess);
        const bool ended = FakeHost::PumpUntil([] { return RunningMarker() == nullptr; }, 600000);
        finished = Now() - start;
        return ended && StatusTexts().size() == 4;
    };

    // The return against the floor: a small tree, so that ctags is soon done
    // and the rounds can be many.
    const std::string smallRoot = "K:\\smalltree";
    MakeTree(smallRoot, 20);
    host.SetDocumentPath(smallRoot + "\\module0\\file0.c");
    const int pairs = rounds * 12;
    std::vector<double> returned, bare, extra;
    for (int pair = 0; pair < pairs; ++pair) {
        double commandSeconds = 0;
        double finishedSeconds = 0;
        double bareSeconds = 0;
        // In turn before and after, so that neither always starts on the
        // heels of the other.
        if (pair % 2 == 1) {
            bareSeconds = startBare(smallRoot);
        }
        if (!runCommand(commandSeconds, finishedSeconds)) {
            std::fprintf(stderr, "the background command did not report its end\n");
            return 1;
        }
        if (pair % 2 == 0) {
            bareSeconds = startBare(smallRoot);
        }
        returned.push_back(commandSeconds);
        bare.push_back(bareSeconds);
        extra.push_back(commandSeconds - bareSeconds);
    }
    const double ownSeconds = Median(own);
    const double floorRatio = 1 + ownSeconds / Median(bare);
    std::printf("background: OnCommand returns after %.4f s, bare CreateProcessA + CloseHandle "
                "%.4f s (medians of %d pairs)\n",
                Median(returned), Median(bare), pairs);
    std::printf("background: return/bare = %.3f: the command's own cost is %.0f us over a bare "
                "start (median; the paired differences' median is %+.0f us)\n",
                floorRatio, 1e6 * ownSeconds, 1e6 * Median(extra));
    std::vector<double> extraMs;
    for (const double e : extra) {
        extraMs.push_back(1e3 * e);
    }
    PrintSpread("background paired differences, ms", extraMs);
    std::vector<double> ownMs;
    for (const double o : own) {
        ownMs.push_back(1e3 * o);
    }
    PrintSpread("background own cost, ms", ownMs);

    // A larger tree, so that ctags runs for seconds, as on real projects.
    const std::string bigRoot = "K:\\bigtree";
    MakeTree(bigRoot, files * 4);
    host.SetDocumentPath(bigRoot + "\\module0\\file0.c");
    std::vector<double> bigReturned, bigFinished;
    for (int round = 0; round < 5; ++round) {
        double commandSeconds = 0;
        double finishedSeconds = 0;
        if (!runCommand(commandSeconds, finishedSeconds)) {
            std::fprintf(stderr, "the background command did not report its end\n");
            return 1;
        }
        bigReturned.push_back(commandSeconds);
        bigFinished.push_back(finishedSeconds);
    }
    const double backgroundRatio = Median(bigReturned) / Median(bigFinished);
    std::printf("background (%d files): OnCommand returns after %.4f s, ctags done after %.3f s\n",
                files * 4, Median(bigReturned), Median(bigFinished));
    std::printf("background: ratio return/run = %.5f (%.3f%%)\n", backgroundRatio,
                100.0 * backgroundRatio);

    const bool syncOk = syncRatio <= 1.1;
    const bool backgroundOk = floorRatio <= 1.1;
    std::printf("%s\n", syncOk && backgroundOk ? "OK" : "OUT OF BOUNDS");
    return syncOk && backgroundOk ? 0 : 1;
}
