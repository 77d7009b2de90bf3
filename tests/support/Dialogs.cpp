#include "tests/support/Dialogs.h"

#include <gtest/gtest.h>

namespace kestrel::test {
namespace {

int g_driving = 0; // DriveDialogs calls under way on the test's thread

struct Search {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindOwnedDialog(HWND owner) {
    Search search = {owner, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool DialogExpected() {
    return g_driving > 0;
}

void DriveDialogs(const std::function<void()>& call, std::vector<DialogStep> steps) {
    DialogDriver driver;
    ASSERT_TRUE(driver.IsHooked()) << "no hook on the test's thread";
    for (DialogStep& step : steps) {
        driver.Then(std::move(step));
    }
    ++g_driving;
    call();
    --g_driving;
    EXPECT_EQ(0u, driver.StepsLeft()) << "steps that found no dialog waiting";
    EXPECT_EQ(0, driver.LeftOpen()) << "dialogs left open";
}

Answered AnswerDialog(int button, const std::function<void()>& call) {
    Answered answered;
    DriveDialogs(call, {[&](HWND dialog) {
                     answered.title = DialogDriver::Text(dialog);
                     // The folder browser's prompt, or a message box's text.
                     for (int id : {0x3742, 0xFFFF}) {
                         if (answered.prompt.empty()) {
                             answered.prompt = DialogDriver::ItemText(dialog, id);
                         }
                     }
                     DialogDriver::Click(dialog, button);
                     answered.pressed = true;
                 }});
    return answered;
}

} // namespace kestrel::test
