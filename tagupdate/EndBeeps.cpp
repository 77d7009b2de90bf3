#include "tagupdate/EndBeeps.h"

#include "resources/resource.h"

namespace kestrel {
namespace {

struct EndBeep {
    UINT textId;
    bool beeps;
};

// Every end text of the command, in string id order.
constexpr EndBeep kEndBeeps[] = {
    {IDS_RAN, false},
    {IDS_COULD_NOT_RUN, false},
    {IDS_RAN_WITH_ERROR, true},
    {IDS_ALREADY_RUNNING, true},
    {IDS_STOPPED_DISK_FULL, true},
};

} // namespace

void BeepFor(UINT textId) {
    for (const EndBeep& end : kEndBeeps) {
        if (end.textId == textId && end.beeps) {
            MessageBeep(0);
        }
    }
}

} // namespace kestrel
