#include "tagupdate/UpdatePlan.h"

#include <algorithm>

namespace kestrel {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// ctags takes a list line beginning with a dash for an option and strips
// blanks around a name.
bool ListReadsOtherwise(const std::string& name) {
    return name.empty() || name[0] == '-' || IsBlank(name[0]) || IsBlank(name.back());
}

UpdatePlan FullRun() {
    return UpdatePlan();
}

} // namespace

UpdatePlan PlanUpdate(const PlanInputs& inputs, const TreeWalk& walk) {
    const RunRecord* record = inputs.record;
    if (record == nullptr || inputs.shiftHeld || !inputs.optionsAllowUpdate ||
        !inputs.tagsStamped || !(record->tags == inputs.tags) ||
        record->configuration != inputs.configuration || !record->walk.complete || !walk.complete) {
        return FullRun();
    }
    UpdatePlan plan;
    plan.fullRun = false;
    const std::vector<WalkedFile>& before = record->walk.files;
    const std::vector<WalkedFile>& now = walk.files;
    size_t deleted = 0;
    size_t i = 0, j = 0;
    while (i < before.size() || j < now.size()) {
        const int order = i == before.size() ? 1
                          : j == now.size()  ? -1
                                             : before[i].name.compare(now[j].name);
        if (order < 0) {
            plan.dropped.push_back(before[i++].name);
            ++deleted;
        } else if (order > 0) {
            plan.toTag.push_back(now[j++].name);
        } else {
            const WalkedFile& old = before[i++];
            const WalkedFile& current = now[j++];
            if (old.size != current.size || old.writeTime != current.writeTime ||
                old.writeTime + kStampSlack > record->walk.startTime) {
                plan.dropped.push_back(old.name);
                plan.toTag.push_back(current.name);
            }
        }
    }
    const size_t changed = plan.toTag.size() + deleted;
    if (changed * 4 > std::max(before.size(), now.size()) ||
        std::any_of(plan.toTag.begin(), plan.toTag.end(), ListReadsOtherwise)) {
        return FullRun();
    }
    return plan;
}

} // namespace kestrel
