// Drives the modal dialogs of one thread from inside their own message loops,
// as a person would, without a helper thread and without sleeps.
//
// A hook on the thread sees each dialog start (WM_INITDIALOG) and end
// (WM_NCDESTROY) and keeps them as a stack, the innermost on top. While a
// dialog is open, a thread timer ticks in whatever modal loop runs. A loop
// hands out WM_TIMER only when nothing else is waiting, painting included, so
// at a tick the innermost dialog is shown, painted and done with everything
// it posted to itself. It waits for the user once it is also enabled (no
// dialog over it is still ending) and holds the focus: on a busy machine the
// window manager may hand the focus back a while after a dialog over it has
// gone, and a key pressed before then would go nowhere. One that stays
// without it is brought forward, as a click on it would. The tick hands the
// waiting dialog to the next step.
// A step acts (sets texts, posts clicks and keys) and returns; the loop
// handles what the step posted before the next tick. (WM_ENTERIDLE would say
// the same, but message boxes do not send it.)
#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "plugin/UniqueAny.h"

namespace kestrel {

// A hook set with SetWindowsHookExA.
using UniqueHook = UniqueAny<HHOOK, &UnhookWindowsHookEx>;

class DialogDriver {
public:
    using Step = std::function<void(HWND dialog)>;

    // Hooks the calling thread, the one that makes the modal calls. One
    // driver a thread at a time.
    DialogDriver();
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    bool IsHooked() const { return static_cast<bool>(m_hook); }

    // The next dialog that waits for the user is handed to `step`; steps run
    // in the order given, one a tick.
    void Then(Step step) { m_steps.push_back(std::move(step)); }
    std::size_t StepsLeft() const { return m_steps.size(); }

    // Once no step is left, each dialog that waits for the user is handed to
    // `standing` once. Without one, such a dialog was left open by mistake:
    // it is counted and ended with IDCANCEL, so that the modal call returns.
    void Otherwise(Step standing) { m_standing = std::move(standing); }
    int LeftOpen() const { return m_leftOpen; }

    // Posts a click on button `id`, as the mouse would: the button may open
    // a modal dialog of its own, which must not start inside the step.
    static void Click(HWND dialog, int id);
    // Posts `key` to the control of `dialog` with the focus, where the modal
    // loop's IsDialogMessage sees it. False, with nothing posted, when the
    // focus is not in `dialog`.
    static bool PressKey(HWND dialog, WPARAM key);
    static std::string Text(HWND window);
    static std::string ItemText(HWND dialog, int id);

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    bool WaitsForUser(HWND dialog);
    void OnWaiting(HWND dialog);

    UniqueHook m_hook;
    std::vector<HWND> m_open; // the thread's dialogs, innermost last
    UINT_PTR m_timer = 0;
    bool m_inStep = false;
    std::deque<Step> m_steps;
    Step m_standing;
    std::set<HWND> m_handled;
    HWND m_unfocused = nullptr; // the innermost dialog, shown but without the focus
    DWORD m_unfocusedSince = 0;
    int m_leftOpen = 0;
};

} // namespace kestrel
