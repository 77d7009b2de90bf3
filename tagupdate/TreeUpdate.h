// A command that gives ctags only the files that changed since the last run
// and merges its lines into the tags file, where the record of that run
// shows that the result is the bytes a full run would write; every other
// command runs ctags on the whole tree and leaves a record for the next.
#pragma once

#include <windows.h>

#include "tagsfile/RunRecord.h"
#include "tagsfile/TagsMerge.h"
#include "tagupdate/CtagsRun.h"
#include "tagupdate/UpdatePlan.h"

namespace kestrel {

// Beside the tags file, named after it: the files ctags is to read and the
// lines it wrote for them. No ctags parser claims these extensions either.
constexpr char kListSuffix[] = ".kestrel-list";
constexpr char kPartSuffix[] = ".kestrel-part";

struct TreeUpdate {
    // This run can leave a record: the walk was complete and the options
    // allow the next command to update.
    bool recordable = false;
    RunRecord next; // the record a good run leaves, the tags file's stamp aside
    UpdatePlan plan;
    TagsFormat format = TagsFormat::UCtags;
};

// Before ctags starts, off the editor's thread: asks ctags for its
// exclusions, walks the tree, reads the configuration and the record of the
// last run, and plans. A tags file written in place or anywhere but in the
// run folder itself, or a program that is a batch file, always takes a full
// run and leaves no record.
void LearnChanges(const CtagsCommand& command, const CtagsRun& run, TreeUpdate& update);

enum class UpdateEnd { Updated, FullRunNeeded, Failed, Stopped };

// Off the editor's thread: runs ctags (--sort=no -L list) on the plan's
// files, then merges its lines and the old tags file into the run's
// temporary file, which replaces the tags file as a full run's would. `announce` is called once,
// when ctags runs or, with nothing to tag, the merge begins. FullRunNeeded when ctags could not
// start or failed, or the merge could not give a full run's bytes: the tags file is untouched and
// the run's lock still held. Failed when the replacement failed, Stopped when the disk guard
// stopped ctags or the merge.
UpdateEnd RunUpdate(const CtagsCommand& command, CtagsRun& run, const TreeUpdate& update,
                    DWORD creationFlags, DWORD patienceMs, const RunWaits& waits,
                    void (*announce)(void* context), void* context);

// After a run that succeeded: keeps the record of it, with the tags file as
// the run left it; one that cannot be kept (the memory for it included) is
// dropped.
void KeepRecord(TreeUpdate& update);

} // namespace kestrel
