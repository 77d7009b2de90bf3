// The update against a full run, in one process, on a generated source tree
// of about 10,000 files (fixed seed), with the real ctags:
//
//   direct: ctags started directly on the whole tree (CreateProcessA + wait,
//           the command line Kestrel builds, writing the tags file in
//           place), shown beside the figures.
//   full:   the synchronous command with an option the update does not
//           follow and that changes nothing ctags writes: the full command
//           as it was before it kept records, with its temporary file and
//           the pipe that reads ctags's error stream.
//   first:  the synchronous command without a record of an earlier run: it
//           asks ctags for its exclusions, walks the tree, runs ctags on the
//           whole tree and keeps the record. At most 1.1 of full.
//   update: the command after 10 files changed: ctags on those files and
//           the merge. At most 0.15 of full.
//
// Each round measures all four; direct, full and first take turns at going
// first. The bounds hold for the medians of the per-round ratios to full.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "plugin/ModuleState.h"
#include "settings/Settings.h"
#include "tagsfile/RunRecord.h"
#include "tagupdate/CtagsRun.h"
#include "tagupdate/TagUpdate.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Sandbox.h"
#include "tests/support/SourceTree.h"

using namespace kestrel;
using namespace kestrel::test;
using kestrel::bench::Median;
using kestrel::bench::Now;

namespace {

double RunDirectly(const std::string& commandLine, const std::string& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string writable = commandLine;
    writable.resize(2048, '\0');
    const double start = Now();
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, nullptr, folder.c_str(), &startup,
                        &info)) {
        std::fprintf(stderr, "ctags did not start\n");
        std::exit(1);
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    const double seconds = Now() - start;
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    if (code != 0) {
        std::fprintf(stderr, "ctags exited with %lu\n", code);
        std::exit(1);
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    SetModuleInstance(GetModuleHandleA(nullptr));
    TreeShape shape;
    shape.files = argc > 1 ? std::atoi(argv[1]) : 10000;
    shape.folders = shape.files / 50;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::string root = "K:\\updatetree";
    SourceTree tree(root, shape);
    MakeFile(root + "\\tags");

    FakeHost host;
    host.SetDocumentPath(root + "\\tags");
    Settings settings;
    settings.ExecPath = (ProgramFolder() + "\\ctags.exe").c_str();
    settings.AskFolder = false;
    const std::string commandLine = BuildCommandLine(settings).Chars();
    std::printf("tree: %d files; command line: %s\n", static_cast<int>(tree.Files().size()),
                commandLine.c_str());

    const auto command = [&](int texts) {
        ClearEvents();
        const double start = Now();
        RunTagUpdate(settings, host.Window());
        const double seconds = Now() - start;
        if (StatusTexts().size() != static_cast<size_t>(texts) ||
            StatusTexts().back().find("ctags") == std::string::npos) {
            std::fprintf(stderr, "the command did not run to its end\n");
            std::exit(1);
        }
        return seconds;
    };
    // The full command as it was before records: the same options and one
    // that the update does not follow and that changes nothing ctags writes,
    // so that it neither walks nor keeps a record.
    const CountedString options = settings.ExecOption;
    const auto fullCommand = [&] {
        settings.ExecOption = options + " --totals=no";
        const double seconds = command(4);
        settings.ExecOption = options;
        return seconds;
    };
    RunDirectly(commandLine, root); // warm the file cache
    std::vector<double> direct, full, first, update, firstRatios, updateRatios, directRatios;
    for (int round = 0; round < rounds; ++round) {
        double directSeconds = 0;
        double fullSeconds = 0;
        double firstSeconds = 0;
        // The three in turn, each first and last in some rounds.
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (turn + round) % 3;
            if (which == 0) {
                directSeconds = RunDirectly(commandLine, root);
            } else if (which == 1) {
                fullSeconds = fullCommand();
            } else {
                DropRecord((root + "\\tags").c_str());
                firstSeconds = command(4);
            }
        }
        if ((2 + round) % 3 != 2) {
            command(4); // a run after the first voided its record: a new one
        }
        tree.Modify(10);
        const double updateSeconds = command(4);
        direct.push_back(directSeconds);
        full.push_back(fullSeconds);
        first.push_back(firstSeconds);
        update.push_back(updateSeconds);
        firstRatios.push_back(firstSeconds / fullSeconds);
        updateRatios.push_back(updateSeconds / fullSeconds);
        directRatios.push_back(firstSeconds / directSeconds);
    }
    const double firstRatio = Median(firstRatios);
    const double updateRatio = Median(updateRatios);
    std::printf("ctags directly %.3f s, full command %.3f s, first command %.3f s, update after 10 "
                "changed files %.3f s (medians of %d rounds)\n",
                Median(direct), Median(full), Median(first), Median(update), rounds);
    std::printf("median ratio first/full command = %.3f (at most 1.1)\n", firstRatio);
    std::printf("median ratio update/full command = %.3f (at most 0.15)\n", updateRatio);
    std::printf("median ratio first/ctags directly = %.3f\n", Median(directRatios));
    const bool ok = firstRatio <= 1.1 && updateRatio <= 0.15;
    std::printf("%s\n", ok ? "OK" : "OUT OF BOUNDS");
    return ok ? 0 : 1;
}
