#include "tests/support/dialog_steps.h"

#include <gtest/gtest.h>

#include "records/dialog_windows.h"
#include "tests/support/message_box_recorder.h"

std::deque<DialogStep> g_steps;

namespace {

HHOOK g_hook;
HWND g_opened;
UINT_PTR g_watchdog;
constexpr UINT kWatchdogMs = 8000;

void CALLBACK RunNextStep(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!IsWindow(g_opened)) return;
    if (g_steps.empty()) {
        ADD_FAILURE() << "no step for the window \"" << WindowText(g_opened) << "\"";
        PostMessageA(g_opened, WM_CLOSE, 0, 0);
        PostMessageA(g_opened, WM_COMMAND, IDNO, 0);
        return;
    }
    DialogStep step = std::move(g_steps.front());
    g_steps.pop_front();
    step(g_opened);
}

LRESULT CALLBACK WatchNewDialogs(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND && IsNewTopLevelDialog(wp, lp)) {
        g_opened = reinterpret_cast<HWND>(wp);
        SetTimer(nullptr, 0, 0, RunNextStep);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

BOOL CALLBACK CloseDialog(HWND hwnd, LPARAM) {
    if (IsDialogWindow(hwnd)) {
        ADD_FAILURE() << "the window \"" << WindowText(hwnd) << "\" was still open";
        PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(hwnd, WM_COMMAND, IDNO, 0);
    }
    return TRUE;
}

void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseDialog, 0);
}

}  // namespace

void Click(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string WindowText(HWND window) {
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void RestartDialogWatchdog() {
    KillTimer(nullptr, g_watchdog);
    g_watchdog = SetTimer(nullptr, 0, kWatchdogMs, Watchdog);
}

void WatchDialogs() {
    g_steps.clear();
    g_hook = SetWindowsHookExA(WH_CBT, WatchNewDialogs, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(g_hook);
    g_watchdog = SetTimer(nullptr, 0, kWatchdogMs, Watchdog);
}

void WatchDialogsAndBoxes(HMODULE module) {
    WatchDialogs();
    RecordMessageBoxes(module);
    g_boxes.clear();
}

void StopWatchingDialogs() {
    KillTimer(nullptr, g_watchdog);
    UnhookWindowsHookEx(g_hook);
    EXPECT_TRUE(g_steps.empty()) << g_steps.size() << " step(s) never ran";
    g_steps.clear();
}
