#include "tests/support/Dialogs.h"

#include <gtest/gtest.h>

namespace kestrel::test {
namespace {

int g_driving = 0; // DriveDialogs calls under way on the test's thread

} // namespace

HWND FindOwnedDialog(HWND owner) {
    for (HWND dialog = FindWindowExA(nullptr, nullptr, "#32770", nullptr); dialog != nullptr;
         dialog = FindWindowExA(nullptr, dialog, "#32770", nullptr)) {
        if (IsWindowVisible(dialog) && GetWindow(dialog, GW_OWNER) == owner) {
            return dialog;
        }
    }
    return nullptr;
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
                     answered.prompt = DialogDriver::ItemText(dialog, 0x3742);
                     if (answered.prompt.empty()) {
                         answered.prompt = DialogDriver::ItemText(dialog, 0xFFFF);
                     }
                     DialogDriver::Click(dialog, button);
                     answered.pressed = true;
                 }});
    return answered;
}

} // namespace kestrel::test
