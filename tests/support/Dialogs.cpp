#include "tests/support/Dialogs.h"

#include <gtest/gtest.h>

namespace kestrel::test {

void DriveDialogs(const std::function<void()>& call, std::vector<DialogStep> steps) {
    DialogDriver driver;
    ASSERT_TRUE(driver.IsHooked()) << "no hook on the test's thread";
    for (DialogStep& step : steps) {
        driver.Then(std::move(step));
    }
    call();
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
