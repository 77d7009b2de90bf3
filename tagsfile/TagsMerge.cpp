#include "tagsfile/TagsMerge.h"

namespace kestrel {

// Until the merge lands every update falls back to a full run.
MergeResult MergeTags(const MergeRequest&) {
    return MergeResult::NeedsFullRun;
}

} // namespace kestrel
