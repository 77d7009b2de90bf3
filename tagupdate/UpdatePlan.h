// Whether a command runs ctags on the whole tree or only on what changed
// since the last run, and what changed.
#pragma once

#include <string>
#include <vector>

#include "tagsfile/RunRecord.h"
#include "tagupdate/TreeWalk.h"

namespace kestrel {

struct UpdatePlan {
    bool fullRun = true;
    std::vector<std::string> toTag;   // added and changed files: ctags's list
    std::vector<std::string> dropped; // changed, deleted and renamed-away files
};

// What the command knows before it chooses.
struct PlanInputs {
    const RunRecord* record = nullptr; // null: none, or not readable
    std::string configuration;         // of this command
    bool optionsAllowUpdate = false;
    bool tagsStamped = false; // the tags file's stamp could be read
    FileStamp tags;
    bool shiftHeld = false;
};

// Files whose write time lies this close before the walk that saw them
// (100 ns units) count as changed at the next walk: a file system that keeps
// times to two seconds could show a later write with the same time.
constexpr unsigned long long kStampSlack = 2ull * 10000000ull;

// An update only when a record of the last run holds for this one (same
// configuration, the tags file as that run left it, both walks complete),
// the options allow it, Shift is not held, no more than a quarter of the
// files changed and no file to tag has a name ctags would read otherwise
// from a list (a leading dash, a leading or trailing blank).
UpdatePlan PlanUpdate(const PlanInputs& inputs, const TreeWalk& walk);

} // namespace kestrel
