#include "tagupdate/OffThreadWork.h"

#include <new>
#include <optional>

#include <gtest/gtest.h>

#include "tagupdate/StatusText.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Hooks.h"

namespace kestrel::test {
namespace {

struct Job {
    HWND window;
    DWORD thread = 0;
    bool outOfMemory = false;
};

// Tells the window which thread it runs on, by a sent message.
void Report(void* context) {
    Job& job = *static_cast<Job*>(context);
    job.thread = GetCurrentThreadId();
    SendStatusText(job.window, CountedString("done"));
    if (job.outOfMemory) {
        throw std::bad_alloc();
    }
}

TEST(OffThreadWork, ServesTheCallersWindowsUntilTheWorkHasReturned) {
    ASSERT_TRUE(InstallHooks());
    FakeHost host;
    for (const bool threads : {true, false}) {
        SCOPED_TRACE(threads ? "own thread" : "no thread can be made");
        ClearEvents();
        Job job{host.Window()};
        std::optional<FailingCalls> failing;
        if (!threads) {
            failing.emplace(Calls::ThreadStarts);
        }
        RunServingMessages(Report, &job);
        EXPECT_EQ(threads, job.thread != GetCurrentThreadId());
        EXPECT_EQ(std::vector<std::string>({"S:done"}), Transcript());
        job.outOfMemory = true;
        EXPECT_THROW(RunServingMessages(Report, &job), std::bad_alloc);
    }
    // Never let go: the work is not done.
    Job job{host.Window()};
    { const OffThreadWork unused(Report, &job); }
    EXPECT_EQ(0u, job.thread);
}

} // namespace
} // namespace kestrel::test
