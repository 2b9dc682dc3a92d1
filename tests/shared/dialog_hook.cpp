#include "tests/shared/dialog_hook.h"

#include <deque>

#include "records/dialog_windows.h"

namespace {

HHOOK g_hook;
void (*g_opened)(HWND);
// In the order they were made: a dialog may open a box while it initialises,
// before the timer for the dialog itself has run.
std::deque<HWND> g_newWindows;

void CALLBACK ReportNewWindow(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (g_newWindows.empty()) return;
    HWND window = g_newWindows.front();
    g_newWindows.pop_front();
    if (IsWindow(window)) g_opened(window);
}

LRESULT CALLBACK WatchNewDialogs(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND && IsNewTopLevelDialog(wp, lp)) {
        g_newWindows.push_back(reinterpret_cast<HWND>(wp));
        SetTimer(nullptr, 0, 0, ReportNewWindow);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

bool HookNewDialogs(void (*opened)(HWND window)) {
    g_opened = opened;
    g_hook = SetWindowsHookExA(WH_CBT, WatchNewDialogs, nullptr, GetCurrentThreadId());
    return g_hook != nullptr;
}

void UnhookNewDialogs() {
    UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    g_newWindows.clear();
}

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
