#include "tests/tray/stand_in_host.h"

#include <cstring>

#include "plugin/module_state.h"
#include "tray/notify_window.h"

HostTraffic g_hostTraffic;
std::vector<std::string> g_propertiesTexts;
HostTraffic g_trafficWhileShown;

namespace {

constexpr char kHostClass[] = "VelmoStandIn";
constexpr char kNotifyClass[] = "Calvorin";

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

}  // namespace

void TrayTest::SetUp() {
    DialogTest::SetUp();
    g_hostTraffic.clear();
    g_propertiesTexts.clear();
    g_trafficWhileShown.clear();

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

    ASSERT_TRUE(WatchMenus([](HMENU) { g_trafficWhileShown = g_hostTraffic; }));
}

void TrayTest::TearDown() {
    StopWatchingMenus();
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
