// Shows the properties dialog with the stored (default) settings over a
// plain host window and holds it open until the screenshot is taken.
//   PropertiesScreenshot.exe READY-FILE DONE-FILE
// Once the dialog is up, READY-FILE receives the dialog's screen rectangle
// as "x y width height"; when DONE-FILE appears, the dialog is cancelled.
#include <windows.h>

#include <cstdio>
#include <functional>

#include "host/DialogDriver.h"
#include "plugin/ModuleState.h"
#include "settings/PropertiesDialog.h"
#include "tests/support/FakeHost.h"

namespace {

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: PropertiesScreenshot READY-FILE DONE-FILE\n");
        return 2;
    }
    kestrel::SetModuleInstance(GetModuleHandleA(nullptr));

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kestrel::test::kHostWindowClass;
    RegisterClassA(&windowClass);
    HWND host = CreateWindowExA(0, kestrel::test::kHostWindowClass, "Host",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 400, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (host == nullptr) {
        return 1;
    }

    // Once the dialog waits, painted, its place goes to READY-FILE; then it
    // looks for DONE-FILE at every tick of the driver until it appears.
    kestrel::DialogDriver driver;
    std::function<void(HWND)> waitForDone = [&](HWND dialog) {
        if (Exists(argv[2])) {
            kestrel::DialogDriver::Click(dialog, IDCANCEL);
        } else {
            driver.Then(waitForDone);
        }
    };
    driver.Then([&](HWND dialog) {
        RECT r = {};
        GetWindowRect(dialog, &r);
        if (FILE* ready = std::fopen(argv[1], "w")) {
            std::fprintf(ready, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left,
                         r.bottom - r.top);
            std::fclose(ready);
        }
        driver.Then(waitForDone);
    });
    kestrel::ShowProperties(host);
    DestroyWindow(host);
    return 0;
}
