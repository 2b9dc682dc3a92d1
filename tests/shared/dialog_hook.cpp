#include "tests/shared/dialog_hook.h"

#include "records/dialog_windows.h"

namespace {

HHOOK g_hook;
void (*g_opened)(HWND);
HWND g_newWindow;

void CALLBACK ReportNewWindow(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (IsWindow(g_newWindow)) g_opened(g_newWindow);
}

LRESULT CALLBACK WatchNewDialogs(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND && IsNewTopLevelDialog(wp, lp)) {
        g_newWindow = reinterpret_cast<HWND>(wp);
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
