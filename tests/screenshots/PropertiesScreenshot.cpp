// Shows the properties dialog with the stored (default) settings over a
// plain host window and holds it open until the screenshot is taken.
//   PropertiesScreenshot.exe READY-FILE DONE-FILE
// Once the dialog is up, READY-FILE receives the dialog's screen rectangle
// as "x y width height"; when DONE-FILE appears, the dialog is cancelled.
#include <windows.h>

#include <cstdio>
#include <thread>

#include "plugin/ModuleState.h"
#include "settings/PropertiesDialog.h"

namespace {

struct Search {
    DWORD thread;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window)) {
        return TRUE;
    }
    reinterpret_cast<Search*>(param)->found = window;
    return FALSE;
}

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Waits for the dialog, reports where it is, and cancels it once told to.
void Photographed(DWORD thread, const char* readyFile, const char* doneFile) {
    Search search = {thread, nullptr};
    while (search.found == nullptr) {
        Sleep(50);
        EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&search));
    }
    Sleep(500); // let the controls paint
    RECT r = {};
    GetWindowRect(search.found, &r);
    if (FILE* ready = std::fopen(readyFile, "w")) {
        std::fprintf(ready, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::fclose(ready);
    }
    while (!Exists(doneFile)) {
        Sleep(50);
    }
    PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
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
    windowClass.lpszClassName = "KestrelScreenshotHost";
    RegisterClassA(&windowClass);
    HWND host =
        CreateWindowExA(0, "KestrelScreenshotHost", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                        600, 400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (host == nullptr) {
        return 1;
    }

    std::thread helper(Photographed, GetCurrentThreadId(), argv[1], argv[2]);
    kestrel::ShowProperties(host);
    helper.join();
    DestroyWindow(host);
    return 0;
}
