// The tag update command against ctags started directly, in one process, on
// a generated source tree of a few thousand files, with the real ctags.
//
//   synchronous: RunTagUpdate (no browser: the found folder is used at once)
//                against CreateProcessA + WaitForSingleObject with the same
//                command line, folder and flags, rounds alternating; the
//                median of the per-round ratios should be close to 1.
//   background:  the time until RunTagUpdate returns against the time until
//                the completion text arrives; the ratio should be tiny.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "plugin/ModuleState.h"
#include "settings/Settings.h"
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

double RunDirectly(const std::string& commandLine, const std::string& folder) {
    const double start = Now();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string writable = commandLine;
    writable.resize(2048 > writable.size() ? 2048 : writable.size() + 1, '\0');
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, nullptr, folder.c_str(), &startup,
                        &info)) {
        std::fprintf(stderr, "ctags did not start\n");
        std::exit(1);
    }
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
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::string root = "K:\\tree";
    MakeTree(root, files);

    FakeHost host;
    host.SetDocumentPath(root + "\\module0\\file0.c");
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

    // A larger tree, so that ctags runs for seconds, as on real projects.
    const std::string bigRoot = "K:\\bigtree";
    MakeTree(bigRoot, files * 4);
    host.SetDocumentPath(bigRoot + "\\module0\\file0.c");
    settings.ExecSync = false;
    std::vector<double> returned, finished;
    for (int round = 0; round < rounds; ++round) {
        ClearEvents();
        const double start = Now();
        RunTagUpdate(settings, host.Window());
        const double returnSeconds = Now() - start;
        if (!FakeHost::PumpUntil([] { return RunningMarker().load() == nullptr; }, 600000)) {
            std::fprintf(stderr, "no completion text\n");
            return 1;
        }
        returned.push_back(returnSeconds);
        finished.push_back(Now() - start);
    }
    const double backgroundRatio = Median(returned) / Median(finished);
    std::printf("background (%d files): OnCommand returns after %.4f s, ctags done after %.3f s\n",
                files * 4, Median(returned), Median(finished));
    std::printf("background: ratio return/run = %.5f (%.3f%%)\n", backgroundRatio,
                100.0 * backgroundRatio);

    const bool syncOk = syncRatio > 0.95 && syncRatio < 1.05;
    const bool backgroundOk = backgroundRatio < 0.01;
    std::printf("%s\n", syncOk && backgroundOk ? "OK" : "OUT OF BOUNDS");
    return syncOk && backgroundOk ? 0 : 1;
}
