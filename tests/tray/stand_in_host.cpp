#include "tests/tray/stand_in_host.h"

#include <cstring>

#include "plugin/module_state.h"
#include "tray/notify_window.h"

HostTraffic g_hostTraffic;
std::vector<std::string> g_propertiesTexts;
std::deque<MenuStep> g_menuSteps;
int g_menusShown;
HostTraffic g_trafficWhileShown;

namespace {

constexpr char kHostClass[] = "VelmoStandIn";
constexpr char kNotifyClass[] = "Calvorin";
HHOOK g_menuHook;
HWND g_popup;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == HostMsgMenuOpening || message == HostMsgMenuClosed ||
        message == HostMsgProperties) {
        g_hostTraffic.emplace_back(message, wParam);
        // The text lives only for the duration of the call.
        if (message == HostMsgProperties)
            g_propertiesTexts.emplace_back(reinterpret_cast<const char*>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void CALLBACK RunMenuStep(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(g_popup, MN_GETHMENU, 0, 0));
    g_trafficWhileShown = g_hostTraffic;
    if (g_menuSteps.empty()) {
        ADD_FAILURE() << "a menu opened with no step for it";
        EndMenu();
        return;
    }
    MenuStep step = std::move(g_menuSteps.front());
    g_menuSteps.pop_front();
    step(g_popup, menu);
}

LRESULT CALLBACK WatchMenus(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
        char cls[16] = "";
        GetClassNameA(reinterpret_cast<HWND>(wp), cls, sizeof cls);
        if (!std::strcmp(cls, "#32768")) {
            g_popup = reinterpret_cast<HWND>(wp);
            ++g_menusShown;
            SetTimer(nullptr, 0, 0, RunMenuStep);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

void Dismiss(HWND popup, HMENU) {
    // The menu's loop reads keys from the thread's queue, whichever window.
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
}

MenuStep Choose(char mnemonic) {
    return [mnemonic](HWND popup, HMENU) { PostMessageA(popup, WM_CHAR, mnemonic, 0); };
}

void TrayTest::SetUp() {
    DialogTest::SetUp();
    g_hostTraffic.clear();
    g_propertiesTexts.clear();
    g_menuSteps.clear();
    g_trafficWhileShown.clear();
    g_menusShown = 0;

    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = HostWindowProc;
    hostClass.hInstance = g_instance;
    hostClass.lpszClassName = kHostClass;
    RegisterClassA(&hostClass);
    host = CreateWindowExA(0, kHostClass, "Velmo", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50,
                           nullptr, nullptr, g_instance, nullptr);
    ASSERT_TRUE(host);

    g_hostInfo = HostInfo{};
    g_hostInfo.size = kHostInfoSize;
    g_hostInfo.pluginRecord = pluginRecord;
    g_hostInfo.hostWindow = host;
    g_hostInfo.parentWindow = host;
    g_hostInfo.foreWndFixArg = 0x1234;
    SetPropertiesTarget("");

    // As start-up registers and creates it.
    WNDCLASSA notifyClass{};
    notifyClass.lpfnWndProc = NotifyWindowProc;
    notifyClass.hInstance = g_instance;
    notifyClass.lpszClassName = kNotifyClass;
    ASSERT_TRUE(RegisterClassA(&notifyClass));
    NotifyWindow = CreateWindowExA(0, kNotifyClass, nullptr, WS_CHILD, 0, 0, 0, 0,
                                   g_hostInfo.parentWindow, nullptr, g_instance, nullptr);
    ASSERT_TRUE(NotifyWindow);

    g_menuHook = SetWindowsHookExA(WH_CBT, WatchMenus, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(g_menuHook);
}

void TrayTest::TearDown() {
    UnhookWindowsHookEx(g_menuHook);
    EXPECT_TRUE(g_menuSteps.empty()) << g_menuSteps.size() << " menu step(s) never ran";
    DestroyWindow(NotifyWindow);
    NotifyWindow = nullptr;
    UnregisterClassA(kNotifyClass, g_instance);
    DestroyWindow(host);
    UnregisterClassA(kHostClass, g_instance);
    g_hostInfo = HostInfo{};
    PumpMessages();
    DialogTest::TearDown();
}

void TrayTest::SetPropertiesTarget(const char* target) {
    std::memcpy(pluginRecord + kPropertiesTargetOffset, &target, sizeof target);
}

LRESULT TrayTest::TrayCallback(WPARAM wParam, LPARAM lParam) {
    return SendMessageA(NotifyWindow, TrayCallbackMessage, wParam, lParam);
}

LRESULT TrayTest::Command(WPARAM wParam) {
    return SendMessageA(NotifyWindow, WM_COMMAND, wParam, 0);
}
