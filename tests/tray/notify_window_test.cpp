#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "records/module_state.h"
#include "records/starter_api.h"
#include "tests/shared/import_wrapper.h"
#include "tests/tray/tray_fixture.h"

namespace {

// Type, state, id and text; a separator's state is left out (0): the system
// reports it as it likes.
using MenuItem = std::tuple<UINT, UINT, UINT, std::string>;

std::vector<MenuItem> ItemsOf(HMENU menu) {
    std::vector<MenuItem> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[64] = "";
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        EXPECT_TRUE(GetMenuItemInfoA(menu, i, TRUE, &info));
        items.emplace_back(info.fType, info.fType == MFT_SEPARATOR ? 0 : info.fState, info.wID,
                           text);
    }
    return items;
}

const HostTraffic kOpenedAndClosed = {{HostMsgMenuOpening, 0}, {HostMsgMenuClosed, 0}};

using TrayMenu = TrayTest;

// A left or right button press opens the menu, whatever wParam holds; no
// other mouse message does.
TEST_F(TrayMenu, ButtonPressesOpenItAndNothingElseDoes) {
    const struct {
        WPARAM wParam;
        LPARAM lParam;
        bool opens;
        // clang-format off
    } presses[] = {{1, WM_LBUTTONDOWN, true},    {1, WM_RBUTTONDOWN, true},
                   {0, WM_RBUTTONDOWN, true},    {0xFFFF, WM_LBUTTONDOWN, true},
                   {1, WM_MOUSEMOVE, false},     {1, WM_LBUTTONUP, false},
                   {1, WM_LBUTTONDBLCLK, false}, {1, WM_RBUTTONUP, false},
                   {1, WM_RBUTTONDBLCLK, false}, {1, 0, false},
                   {1, 0x10201, false},          {1, 0x10204, false},
                   {1, 0x7FFF0201, false}};
    for (const auto& press : presses) {
        SCOPED_TRACE(testing::Message() << "wParam " << press.wParam << ", lParam 0x"
                                        << std::hex << press.lParam);
        g_hostTraffic.clear();
        g_menusShown = 0;
        if (press.opens) g_menuSteps.push_back(Dismiss);
        EXPECT_EQ(0, TrayCallback(press.wParam, press.lParam));
        PumpMessages();
        EXPECT_EQ(press.opens ? 1 : 0, g_menusShown);
        EXPECT_EQ(press.opens ? kOpenedAndClosed : HostTraffic{}, g_hostTraffic);
    }
}

// The host hears of the menu before it shows and after it has gone; a chosen
// item arrives as a command after that.
TEST_F(TrayMenu, ShowsItsThreeItemsAtTheCursorAndTheHostHearsOfIt) {
    ASSERT_TRUE(SetCursorPos(300, 200));
    std::vector<MenuItem> items;
    RECT where{};
    UINT defaultItem = 0;
    g_menuSteps.push_back([&](HWND popup, HMENU menu) {
        items = ItemsOf(menu);
        defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
        GetWindowRect(popup, &where);
        Dismiss(popup, menu);
    });
    // clang-format on
    TrayCallback(1, WM_RBUTTONDOWN);
    EXPECT_EQ(items, (std::vector<MenuItem>{{MFT_STRING, MFS_ENABLED, 100, "&Edit Tips"},
                                            {MFT_SEPARATOR, 0, 0, ""},
                                            {MFT_STRING, MFS_ENABLED, 500, "&Properties"}}));
    EXPECT_EQ(static_cast<UINT>(-1), defaultItem);
    EXPECT_EQ(300, where.left);
    EXPECT_EQ(200, where.top);
    EXPECT_EQ((HostTraffic{{HostMsgMenuOpening, 0}}), g_trafficWhileShown);
    EXPECT_EQ(kOpenedAndClosed, g_hostTraffic);
    // The window is left a null message.
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NotifyWindow, 0, 0, PM_REMOVE));
    EXPECT_EQ(std::make_tuple(UINT{WM_NULL}, WPARAM{0}, LPARAM{0}),
              std::make_tuple(msg.message, msg.wParam, msg.lParam));

    g_hostTraffic.clear();
    g_menuSteps.push_back(Choose('p'));
    TrayCallback(1, WM_LBUTTONDOWN);
    EXPECT_EQ(kOpenedAndClosed, g_hostTraffic);
    PumpMessages();
    EXPECT_EQ(
        (HostTraffic{{HostMsgMenuOpening, 0}, {HostMsgMenuClosed, 0}, {HostMsgProperties, 0}}),
        g_hostTraffic);
    EXPECT_EQ((std::vector<std::string>{"/"}), g_propertiesTexts);
}

std::vector<std::pair<HWND, DWORD>> g_fixes;

struct RecordFix {
    static int Call(decltype(&SetForeWndFix) next, HWND window, DWORD value) {
        g_fixes.push_back({window, value});
        return next(window, value);
    }
};

TEST_F(TrayMenu, BringsTheHostForwardAndFocusesTheWindow) {
    const ScopedWrapper<ImportWrapper<SetForeWndFix, RecordFix>> recording(
        GetModuleHandleA(nullptr), "STARTER.DLL", "SetForeWndFix");
    ASSERT_TRUE(recording.bound);
    g_fixes.clear();
    HWND other = CreateWindowExA(0, "STATIC", "elsewhere", WS_POPUP | WS_VISIBLE, 200, 200, 50, 50,
                                 nullptr, nullptr, g_instance, nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(other, GetForegroundWindow());
    HWND foreground = nullptr, focus = nullptr;
    g_menuSteps.push_back([&](HWND popup, HMENU menu) {
        foreground = GetForegroundWindow();
        focus = GetFocus();
        Dismiss(popup, menu);
    });
    TrayCallback(1, WM_RBUTTONDOWN);
    EXPECT_EQ((std::vector<std::pair<HWND, DWORD>>{{g_hostInfo.parentWindow, 0x1234}}), g_fixes);
    EXPECT_EQ(host, foreground);
    EXPECT_EQ(NotifyWindow, focus);
    DestroyWindow(other);
}

using PropertiesRequest = TrayTest;

TEST_F(PropertiesRequest, SendsSlashAndTheTarget) {
    const std::string exact(258, 'x');
    const std::string tooLong = std::string(258, 'a') + std::string(300, 'b');
    const struct {
        std::string target;
        std::string sent;
        // clang-format off
    } cases[] = {
        {"", "/"},
        {"C:\\Velmo\\Plugins\\Calvorinor.plg", "/C:\\Velmo\\Plugins\\Calvorinor.plg"},
        {"with space, \"quotes\"", "/with space, \"quotes\""},
        {exact, "/" + exact},
        {tooLong, "/" + std::string(258, 'a')},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target.size());
        g_hostTraffic.clear();
        g_propertiesTexts.clear();
        SetPropertiesTarget(c.target.c_str());
        Command(500);
        EXPECT_EQ((HostTraffic{{HostMsgProperties, 0}}), g_hostTraffic);
        EXPECT_EQ((std::vector<std::string>{c.sent}), g_propertiesTexts);
    }
}

TEST_F(PropertiesRequest, ReadsTheTargetAnewEachTime) {
    char target[] = "first";
    SetPropertiesTarget(target);
    Command(500);
    lstrcpyA(target, "again");
    Command(500);
    // The host may also move its plug-in record.
    unsigned char moved[200] = {};
    const char* other = "moved";
    std::memcpy(moved + kPropertiesTargetOffset, &other, sizeof other);
    g_hostInfo.pluginRecord = moved;
    Command(500);
    g_hostInfo.pluginRecord = hostStorage.pluginRecord;
    EXPECT_EQ((std::vector<std::string>{"/first", "/again", "/moved"}), g_propertiesTexts);
}

using MenuCommands = TrayTest;

// Only the low word names the command: 500 asks for the properties whatever
// the high word holds; anything else is no menu item, and says so.
TEST_F(MenuCommands, OnlyTheLowWordNamesTheCommand) {
    SetPropertiesTarget("target");
    const struct {
        WPARAM wParam;
        bool properties;
        // clang-format off
    } commands[] = {{500, true}, {MAKEWPARAM(500, 1), true}, {MAKEWPARAM(500, 0xFFFF), true},
                    {0, false}, {MAKEWPARAM(0, 100), false}, {MAKEWPARAM(0, 500), false},
                    {101, false}, {499, false}, {501, false}, {0xFFFF, false}};
    // clang-format on
    for (const auto& c : commands) {
        SCOPED_TRACE(c.wParam);
        g_boxes.clear();
        g_hostTraffic.clear();
        g_propertiesTexts.clear();
        if (!c.properties) g_steps.push_back(BoxAnswered(IDOK, "Not a menu item."));
        Command(c.wParam);
        EXPECT_EQ(c.properties ? 1u : 0u, g_propertiesTexts.size());
        if (c.properties) {
            EXPECT_TRUE(g_boxes.empty());
        } else {
            ExpectOneBox(NotifyWindow, "Not a menu item.", "Error", MB_ICONERROR | MB_TOPMOST);
            EXPECT_TRUE(g_hostTraffic.empty());
        }
    }
}

}  // namespace
