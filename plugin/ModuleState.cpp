#include "plugin/ModuleState.h"

namespace kestrel {
namespace {

HINSTANCE g_instance = nullptr;
LPARAM g_rememberedEventValue = 0;
std::atomic<HWND> g_runningMarker{nullptr};
std::atomic<HANDLE> g_watcherProcess{nullptr};
CountedString g_lastStatusText; // released when the module unloads

} // namespace

HINSTANCE ModuleInstance() {
    return g_instance;
}
void SetModuleInstance(HINSTANCE instance) {
    g_instance = instance;
}
LPARAM& RememberedEventValue() {
    return g_rememberedEventValue;
}
std::atomic<HWND>& RunningMarker() {
    return g_runningMarker;
}
std::atomic<HANDLE>& WatcherProcess() {
    return g_watcherProcess;
}
CountedString& LastStatusText() {
    return g_lastStatusText;
}

} // namespace kestrel
