// The tags merge on a large tags file: a generated tree of 10,000 sources
// (or the count given as the first argument), tagged in full by the real
// ctags, then 10 files changed, tagged alone and merged. Prints the merge's
// time (median of five) against ctags's full run, and fails when the merge
// does not give the full run's bytes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "plugin/UniqueAny.h"
#include "tagsfile/TagsMerge.h"
#include "tests/support/Sandbox.h"
#include "tests/support/SourceTree.h"

using namespace kestrel;
using namespace kestrel::test;
using kestrel::bench::Now;

namespace {

// Runs ctags in `folder` until it ends; its exit code, or -1.
long RunCtags(const std::string& folder, const std::string& arguments) {
    std::string line = "\"" + ProgramFolder() + "\\ctags.exe\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    const UniqueHandle owned(process.hProcess);
    WaitForSingleObject(owned.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(owned.Get(), &code);
    return static_cast<long>(code);
}

} // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string root = "K:\\mergebench";
    const std::string at = root + "\\";
    double start = Now();
    SourceTree tree(root, TreeShape{files, files / 40, 5, 31});
    std::printf("tree: %d files in %.2f s\n", files, Now() - start);

    const char* options = "-R --tag-relative=yes";
    start = Now();
    if (RunCtags(root, std::string(options) + " -f tags") != 0) {
        std::printf("ctags failed\n");
        return 1;
    }
    const double fullRun = Now() - start;
    tree.Modify(10);
    std::string list;
    for (const std::string& name : tree.ToTag()) {
        list += name + "\n";
    }
    MakeFile(at + "tags.list", list);
    start = Now();
    if (RunCtags(root, std::string(options) + " --sort=no -L tags.list -f tags.part") != 0) {
        std::printf("ctags on the list failed\n");
        return 1;
    }
    const double partRun = Now() - start;

    MergeRequest request;
    request.oldTagsPath = (at + "tags").c_str();
    request.newTagsPath = (at + "tags.part").c_str();
    for (const std::string& name : tree.Dropped()) {
        request.droppedFiles.emplace_back(name.c_str());
    }
    std::vector<double> times;
    MergeResult result = MergeResult::Failed;
    for (int round = 0; round < 5; ++round) {
        const UniqueFile output(CreateFileA((at + "tags.merged").c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, 0, nullptr));
        request.output = output.Get();
        start = Now();
        result = MergeTags(request);
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    const std::string merged = FileContents(at + "tags.merged");
    start = Now();
    RunCtags(root, std::string(options) + " -f tags");
    const double secondFullRun = Now() - start;
    const std::string full = FileContents(at + "tags");
    const double megabytes = static_cast<double>(full.size()) / (1 << 20);
    std::printf("tags file: %.1f MB; full run %.2f s, %.2f s; ctags on 10 files %.2f s\n",
                megabytes, fullRun, secondFullRun, partRun);
    std::printf("merge: median %.3f s (min %.3f, max %.3f), %.0f MB/s, %.3f of the full run\n",
                times[2], times[0], times[4], megabytes / times[2], times[2] / secondFullRun);
    if (result != MergeResult::Merged || merged != full) {
        std::printf("FAILED: the merge did not give the full run's bytes\n");
        return 1;
    }
    std::printf("merged file identical to the full run\n");
    return 0;
}
