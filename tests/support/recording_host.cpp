#include "tests/support/recording_host.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/shared/icon_pixels.h"
#include "tests/support/menu_steps.h"

HostTraffic g_hostTraffic;
std::vector<std::string> g_propertiesTexts;
HostTraffic g_trafficWhileShown;
std::vector<std::vector<std::string>> g_menusSeen;
std::vector<UINT> g_notifyWindowLife;
std::vector<IconCall> g_addCalls;
std::vector<IconCall> g_removeCalls;
uint32_t g_addResult;
std::function<void()> g_hostControlAction;

namespace {

constexpr char kHostClass[] = "VelmoStandIn";
constexpr char kNotifyClass[] = "Calvorin";

HHOOK g_callHook;

IconCall Observe(TrayIconRecord* record) {
    const SIZE size = IconSize(record->hIcon);
    return {record, *record, size.cx > 0, size.cx, size.cy};
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == HostMsgMenuOpening || message == HostMsgMenuClosed ||
        message == HostMsgProperties) {
        EXPECT_EQ(0u, wParam);
        g_hostTraffic.emplace_back(message, wParam);
        // The text lives only for the duration of the call.
        if (message == HostMsgProperties)
            g_propertiesTexts.emplace_back(reinterpret_cast<const char*>(lParam));
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == kHostControlId && g_hostControlAction) {
        g_hostControlAction();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool IsNotifyWindow(HWND window) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    return std::strcmp(cls, kNotifyClass) == 0;
}

LRESULT CALLBACK WatchNotifyWindow(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
        if ((call->message == WM_CANCELMODE || call->message == WM_DESTROY) &&
            IsNotifyWindow(call->hwnd))
            g_notifyWindowLife.push_back(call->message);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

void NoteMenu(HMENU menu) {
    g_trafficWhileShown = g_hostTraffic;
    std::vector<std::string> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[64] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        items.emplace_back(text);
    }
    g_menusSeen.push_back(items);
}

BOOL CALLBACK FindNotifyChild(HWND window, LPARAM found) {
    if (!IsNotifyWindow(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

uint32_t __attribute__((regparm(1))) AddIcon(TrayIconRecord* record) {
    g_addCalls.push_back(Observe(record));
    return g_addResult;
}

uint32_t __attribute__((regparm(1))) RemoveIcon(TrayIconRecord* record) {
    g_removeCalls.push_back(Observe(record));
    return 1;
}

HWND OpenRecordingHost() {
    g_hostTraffic.clear();
    g_propertiesTexts.clear();
    g_trafficWhileShown.clear();
    g_menusSeen.clear();
    g_notifyWindowLife.clear();
    g_addCalls.clear();
    g_removeCalls.clear();
    g_addResult = 7;
    g_hostControlAction = nullptr;

    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = HostWindowProc;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = kHostClass;
    RegisterClassA(&hostClass);
    HWND host = CreateWindowExA(0, kHostClass, "Velmo", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    HWND control = CreateWindowExA(0, "BUTTON", "Stop plug-in", WS_CHILD | WS_VISIBLE, 0, 0, 90, 20,
                                   host, reinterpret_cast<HMENU>(kHostControlId),
                                   GetModuleHandleA(nullptr), nullptr);
    g_callHook =
        SetWindowsHookExA(WH_CALLWNDPROC, WatchNotifyWindow, nullptr, GetCurrentThreadId());
    const bool menusWatched = WatchMenus(NoteMenu);
    EXPECT_TRUE(host && control && g_callHook && menusWatched);
    return host;
}

void CloseRecordingHost(HWND host) {
    StopWatchingMenus();
    UnhookWindowsHookEx(g_callHook);
    if (host) DestroyWindow(host);
    UnregisterClassA(kHostClass, GetModuleHandleA(nullptr));
}

HWND NotifyWindowOf(HWND host) {
    HWND found = nullptr;
    EnumChildWindows(host, FindNotifyChild, reinterpret_cast<LPARAM>(&found));
    return found;
}
