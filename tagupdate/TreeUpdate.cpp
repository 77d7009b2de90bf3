// The update keeps every promise of a full run: it runs under the full
// run's lock, ctags runs in a job under the disk guard, the merged file is
// written to the full run's temporary file and replaces the tags file on
// the same road, and the old tags file stays on any failure or stop. What
// cannot be proved to give a full run's bytes is left to a full run, which
// the caller starts with the same lock still held.
#include "tagupdate/TreeUpdate.h"

#include <new>

#include "plugin/UniqueAny.h"
#include "tagupdate/CtagsExcludes.h"
#include "tagupdate/Environment.h"
#include "tagupdate/Paths.h"
#include "tagupdate/RunConfiguration.h"

namespace kestrel {
namespace {

bool IsBatchProgram(const CountedString& program) {
    const int dot = program.FindLast('.');
    const char* extension = program.Chars() + (dot < 0 ? program.Length() : dot);
    return lstrcmpiA(extension, ".bat") == 0 || lstrcmpiA(extension, ".cmd") == 0;
}

// The tags file's name in the run folder, as the walk names files; empty
// when it lies outside the tree.
std::string NameInTree(const CountedString& path, const CountedString& runFolder) {
    const CountedString top = PathIn(runFolder, "");
    if (path.Length() <= top.Length() ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path.Chars(), top.Length(),
                       top.Chars(), top.Length()) != CSTR_EQUAL) {
        return std::string();
    }
    return path.Chars() + top.Length();
}

bool WriteList(const CountedString& path, const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += name + "\n";
    }
    DWORD written = 0;
    const UniqueFile file(CreateFileA(path.Chars(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    return file &&
           WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// The list and ctags's lines go when the update ends, whichever way.
struct SideFiles {
    CountedString list;
    CountedString part;
    ~SideFiles() {
        DeleteFileA(list.Chars());
        DeleteFileA(part.Chars());
    }
};

} // namespace

void LearnChanges(const CtagsCommand& command, const CtagsRun& run, TreeUpdate& update) {
    const TagsOutput& output = command.output;
    update.next.tagsPath = output.tagsPath.Chars();
    if (output.InPlace() || output.tagsPath.IsEmpty() || IsBatchProgram(run.program)) {
        return;
    }
    // Options no update can follow leave ctags alone: nothing is asked.
    PlanInputs inputs;
    inputs.optionsAllowUpdate = OptionsAllowUpdate(EnvironmentVariable("CTAGS").Chars(),
                                                   command.options.Chars(), update.format);
    // ctags names files relative to the tags file's folder: only one in the
    // run folder itself names them as the walk does.
    const std::string tagsName = NameInTree(output.tagsPath, command.runFolder);
    if (!inputs.optionsAllowUpdate || tagsName.empty() ||
        tagsName.find_first_of("\\/") != std::string::npos) {
        return;
    }
    // ctags is asked for its exclusions only when what decides them has
    // changed since the last run: asking costs a start of ctags.
    const CountedString program = run.program.IsEmpty() ? command.execPath : run.program;
    RunRecord last;
    const bool recorded = LoadRecord(output.tagsPath, last);
    const std::string settings =
        SettingsOf(program, command.options, command.tagsName, command.runFolder);
    CtagsExcludes excludes;
    if (!(recorded && RecordedExcludes(last.configuration, settings, excludes)) &&
        !excludes.Read(program, command.options, command.runFolder)) {
        return;
    }
    std::vector<std::string> skipped;
    for (const char* suffix : {"", kTemporarySuffix, kLockSuffix, kListSuffix, kPartSuffix}) {
        skipped.push_back(tagsName + suffix);
    }
    TreeWalk& walk = update.next.walk;
    if (!WalkTree(command.runFolder, excludes, skipped, walk) || !walk.complete) {
        return;
    }
    update.next.configuration = ConfigurationOf(settings, excludes);
    inputs.record = recorded ? &last : nullptr;
    inputs.configuration = update.next.configuration;
    inputs.tagsStamped = StampOf(output.tagsPath, inputs.tags);
    inputs.shiftHeld = command.shiftHeld;
    update.plan = PlanUpdate(inputs, walk);
    update.recordable = true;
}

UpdateEnd RunUpdate(const CtagsCommand& command, CtagsRun& run, const TreeUpdate& update,
                    DWORD creationFlags, DWORD patienceMs, const RunWaits& waits,
                    void (*announce)(void* context), void* context) {
    const SideFiles side = {command.output.tagsPath + kListSuffix,
                            command.output.tagsPath + kPartSuffix};
    MergeRequest request;
    if (!update.plan.toTag.empty()) {
        if (!WriteList(side.list, update.plan.toTag)) {
            return UpdateEnd::FullRunNeeded;
        }
        // Named as the full run names its temporary file, relative to the
        // run folder, so that ctags writes the same file fields.
        CtagsCommand partial;
        partial.shown = command.shown;
        partial.started = CountedString("\"") + command.execPath + "\" " + command.options +
                          " --sort=no -L " + command.tagsName + kListSuffix + " -f " +
                          command.tagsName + kPartSuffix;
        partial.runFolder = command.runFolder;
        CtagsRun ctags;
        ctags.program = run.program;
        ctags.disk = run.disk;
        CountedString ignored;
        if (!LaunchRun(partial, creationFlags, ctags, ignored)) {
            return UpdateEnd::FullRunNeeded;
        }
        ResumeRun(ctags);
        announce(context);
        const RunEnd ended = FinishRun(ctags, 0, waits);
        if (ended != RunEnd::Ran) {
            return ended == RunEnd::Stopped ? UpdateEnd::Stopped : UpdateEnd::FullRunNeeded;
        }
        request.newTagsPath = side.part;
    } else {
        announce(context);
    }
    for (const std::string& name : update.plan.dropped) {
        request.droppedFiles.push_back(name.c_str());
    }
    request.oldTagsPath = command.output.tagsPath;
    // The merged file is as large as the tags file: it is guarded as ctags is.
    run.disk.Start();
    request.format = update.format;
    request.guard = &run.disk;
    MergeResult merged = MergeResult::NeedsFullRun;
    {
        // The run's temporary file, made empty before ctags could start and
        // known by its identity, written as ctags would write it.
        const UniqueFile written(CreateFileA(command.output.temporaryPath.Chars(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                             TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        request.output = written.Get();
        if (written) {
            merged = MergeTags(request);
        }
    }
    if (merged != MergeResult::Merged) {
        // What was written stays for the full run's ctags to rewrite, or goes
        // with the run's temporary file.
        return merged == MergeResult::NoRoom ? UpdateEnd::Stopped : UpdateEnd::FullRunNeeded;
    }
    const bool kept = KeepOutput(command.output, run.temporary, true, patienceMs, waits.pause);
    run.lock.Reset();
    return kept ? UpdateEnd::Updated : UpdateEnd::Failed;
}

void KeepRecord(TreeUpdate& update) {
    try {
        if (update.recordable && StampOf(update.next.tagsPath.c_str(), update.next.tags) &&
            SaveRecord(update.next)) {
            return;
        }
        DropRecord(update.next.tagsPath.c_str());
    } catch (const std::bad_alloc&) {
        // The record kept names the tags file as it was before this run:
        // the next command finds it void.
    }
}

} // namespace kestrel
