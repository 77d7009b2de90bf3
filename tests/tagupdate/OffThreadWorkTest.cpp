#include "tagupdate/OffThreadWork.h"

#include <new>

#include <gtest/gtest.h>

#include "tagupdate/StatusText.h"
#include "tests/support/EventLog.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Hooks.h"

namespace kestrel::test {
namespace {

// Sends the window the id of the thread it runs on; null: out of memory.
void Report(void* window) {
    if (window == nullptr) {
        throw std::bad_alloc();
    }
    const std::string thread = std::to_string(GetCurrentThreadId());
    SendStatusText(static_cast<HWND>(window), CountedString(thread.c_str()));
}

TEST(OffThreadWork, ServesTheCallersWindowsUntilTheWorkHasReturned) {
    ASSERT_TRUE(InstallHooks());
    FakeHost host;
    const std::vector<std::string> here = {"S:" + std::to_string(GetCurrentThreadId())};
    ClearEvents();
    RunServingMessages(Report, host.Window());
    { const OffThreadWork neverLetGo(Report, host.Window()); }
    EXPECT_EQ(1u, Transcript().size()) << "the work is done by Run only";
    EXPECT_NE(here, Transcript()) << "on a thread of its own";
    EXPECT_THROW(RunServingMessages(Report, nullptr), std::bad_alloc);
    ClearEvents();
    const FailingCalls failing(Calls::ThreadStarts);
    RunServingMessages(Report, host.Window());
    EXPECT_EQ(here, Transcript()) << "without a thread, on the caller's";
}

} // namespace
} // namespace kestrel::test
