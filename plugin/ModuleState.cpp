#include "plugin/ModuleState.h"

#include <atomic>

#include "plugin/ModuleStateForTests.h"

namespace kestrel {
namespace {

HINSTANCE g_instance = nullptr;
LPARAM g_rememberedEventValue = 0;
// Shared by the host's thread and the completion watcher.
std::atomic<HWND> g_runningMarker{nullptr};
std::atomic<HANDLE> g_watcherProcess{nullptr};
bool g_commandUnderWay = false; // the editor's thread only
CountedString g_lastStatusText; // released when the module unloads

} // namespace

HINSTANCE ModuleInstance() {
    return g_instance;
}
void SetModuleInstance(HINSTANCE instance) {
    g_instance = instance;
}

LPARAM RememberedEventValue() {
    return g_rememberedEventValue;
}
void RememberEventValue(LPARAM value) {
    g_rememberedEventValue = value;
}

HWND RunningMarker() {
    return g_runningMarker.load();
}
void SetRunningMarker(HWND hwnd) {
    g_runningMarker.store(hwnd);
}
void ClearRunningMarker() {
    g_runningMarker.store(nullptr);
}

bool CommandUnderWay() {
    return g_commandUnderWay;
}
void SetCommandUnderWay(bool underWay) {
    g_commandUnderWay = underWay;
}

void SetWatcherProcess(HANDLE process) {
    g_watcherProcess.store(process);
}
void ClearWatcherProcess() {
    g_watcherProcess.store(nullptr);
}
HANDLE WatcherProcess() {
    return g_watcherProcess.load();
}

void KeepLastStatusText(const CountedString& text) {
    g_lastStatusText = text;
}
const CountedString& LastStatusText() {
    return g_lastStatusText;
}

} // namespace kestrel
