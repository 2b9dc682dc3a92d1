// A whole session with the built module, as a user goes through it: start-up,
// the tray menu, editing tips, the properties request, shut-down. And the host
// simulator running its own scripted session with the module.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/plugin/plugin_fixture.h"
#include "tests/support/child_program.h"
#include "tests/support/message_box_recorder.h"

namespace {

const std::vector<std::string> kMenu = {"&Edit Tips", "", "&Properties"};

void ExpectTheTrayRecord(const IconCall& added, HWND notifyWindow, HWND parent) {
    const TrayIconRecord& record = added.record;
    EXPECT_EQ(88u, record.cbSize);
    EXPECT_EQ(notifyWindow, record.hWnd);
    EXPECT_EQ(1u, record.uID);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), record.uFlags);
    EXPECT_EQ(static_cast<UINT>(WM_USER + 1), record.uCallbackMessage);
    EXPECT_TRUE(added.iconValid);
    char tip[64] = "Calvorin";
    EXPECT_EQ(0, std::memcmp(tip, record.szTip, sizeof tip)) << "zero bytes after the word";
    ASSERT_TRUE(notifyWindow);
    EXPECT_EQ(parent, GetParent(notifyWindow));
    EXPECT_EQ(static_cast<LONG>(WS_CHILD), GetWindowLongA(notifyWindow, GWL_STYLE));
    RECT rect;
    GetWindowRect(notifyWindow, &rect);
    EXPECT_EQ(0, rect.right - rect.left);
    EXPECT_EQ(0, rect.bottom - rect.top);
}

TEST_F(PluginHost, FromTrayMenuThroughEditingAndPropertiesToShutDown) {
    WriteBytes(hostFolder.File("tips.rc"), "0002// current line\r\nfirst\r\nsecond\r\nthird\r\n");
    propertiesTarget = "Calvorin settings";
    host = FreshHostRecord();

    ASSERT_EQ(7u, Start());
    ASSERT_EQ(1u, g_addCalls.size());
    const HWND notifyWindow = NotifyWindowOfModule();
    ExpectTheTrayRecord(g_addCalls[0], notifyWindow, hostWindow);
    // From here on the module works from its own copy of the record.
    host = HostInfo{};

    // Right button on the icon, "&Edit Tips", edit the second tip, confirm, OK.
    g_menuSteps.push_back(Choose('E'));
    g_steps.push_back([](HWND manager) {
        EXPECT_EQ("Tips", WindowText(manager));
        EXPECT_EQ((Tips{"first", "second", "third"}), Rows(manager));
        SendMessageA(GetDlgItem(manager, IDC_TIPS_LIST), LB_SETSEL, TRUE, 1);
        Click(manager, IDC_EDIT_TIPS);
        EXPECT_EQ((Tips{"first", "second, edited", "third"}), Rows(manager));
        Click(manager, IDOK);
    });
    g_steps.push_back([](HWND editor) {
        EXPECT_EQ("Edit Tip", WindowText(editor));
        EXPECT_EQ("second", ItemText(editor, IDC_TIP_TEXT));
        SetDlgItemTextA(editor, IDC_TIP_TEXT, "second, edited");
        Click(editor, IDOK);
    });
    g_steps.push_back(BoxAnswered(IDYES, "Are you sure?"));
    PressOnIcon(WM_RBUTTONDOWN);

    EXPECT_EQ(std::vector<std::vector<std::string>>{kMenu}, g_menusSeen);
    EXPECT_EQ((HostTraffic{{HostMsgMenuOpening, 0}, {HostMsgMenuClosed, 0}}), g_hostTraffic);
    EXPECT_EQ(TipsFileText({"first", "second, edited", "third"}),
              ReadBytes(hostFolder.File("tips.rc")));

    // Left button on the icon, "&Properties".
    g_menuSteps.push_back(Choose('P'));
    PressOnIcon(WM_LBUTTONDOWN);
    EXPECT_EQ(2u, g_menusSeen.size());
    // clang-format off
    EXPECT_EQ((HostTraffic{{HostMsgMenuOpening, 0}, {HostMsgMenuClosed, 0},
                           {HostMsgMenuOpening, 0}, {HostMsgMenuClosed, 0}, {HostMsgProperties, 0}}),
              g_hostTraffic);
    // clang-format on
    EXPECT_EQ(std::vector<std::string>{"/Calvorin settings"}, g_propertiesTexts);

    // The host closes: the icon goes, then the window, then the class.
    doneModule();
    ASSERT_EQ(1u, g_removeCalls.size());
    EXPECT_EQ(g_addCalls[0].address, g_removeCalls[0].address);
    EXPECT_EQ(0,
              std::memcmp(&g_addCalls[0].record, &g_removeCalls[0].record, sizeof(TrayIconRecord)));
    EXPECT_EQ((std::vector<UINT>{WM_CANCELMODE, WM_DESTROY}), g_notifyWindowLife);
    EXPECT_FALSE(IsWindow(notifyWindow));
    EXPECT_FALSE(ClassRegistered());

    // A second DoneModule finds nothing left to release.
    doneModule();
    EXPECT_EQ(1u, g_removeCalls.size());
    EXPECT_EQ(2u, g_notifyWindowLife.size());
    EXPECT_TRUE(g_boxes.size() == 1 && g_boxes[0].text == "Are you sure?");
}

// Without tips.rc the plug-in closes again; each later start-up within the same
// load reads the file anew.
TEST_F(PluginHost, NoTipsFileClosesThePlugInAndEachLaterStartUpReadsTheFileAgain) {
    // The window and its class are still there while the box shows.
    g_steps.push_back([&](HWND box) {
        EXPECT_TRUE(NotifyWindowOfModule());
        EXPECT_TRUE(ClassRegistered());
        Click(box, IDOK);
    });
    EXPECT_EQ(0u, Start());
    ExpectOneBox(nullptr, "No tips.rc file detected!\n\nClosing plug-in.", "Error", MB_TOPMOST);
    EXPECT_EQ((std::vector<UINT>{WM_CANCELMODE, WM_DESTROY}), g_notifyWindowLife);
    EXPECT_EQ(nullptr, NotifyWindowOfModule());
    EXPECT_FALSE(ClassRegistered());
    EXPECT_TRUE(g_addCalls.empty());
    EXPECT_TRUE(g_removeCalls.empty());

    WriteBytes(hostFolder.File("tips.rc"), TipsFileText({"before"}));
    ASSERT_EQ(7u, Start());
    EXPECT_EQ(Tips{"before"}, ManagerRows());
    doneModule();
    WriteBytes(hostFolder.File("tips.rc"), TipsFileText({"after", "restart"}));
    g_addResult = 8;
    ASSERT_EQ(8u, Start());
    ASSERT_EQ(2u, g_addCalls.size());
    ExpectTheTrayRecord(g_addCalls[1], NotifyWindowOfModule(), hostWindow);
    EXPECT_EQ((Tips{"after", "restart"}), ManagerRows());
    doneModule();
    EXPECT_EQ(2u, g_removeCalls.size());
    EXPECT_FALSE(ClassRegistered());
}

// The simulator's own scripted session, headless: it must load the module,
// edit and write the tips, receive the properties request and close cleanly.
TEST(HostSimulator, DemoGoesThroughTheWholeSessionAndCloses) {
    TempFolder data;
    WriteBytes(data.File("tips.rc"), TipsFileText({"sample tip"}));
    WriteBytes(data.File("velmo.ini"), "[Calvorin]\r\n");
    const std::string log = data.File("host-log.txt");
    // Without its last backslash, which would escape the closing quote.
    const std::string folder = data.path.substr(0, data.path.size() - 1);
    const std::string command = "\"" + BuildFolder() + "velmo_sim.exe\" --demo --plugin \"" +
                                ShippedModule() + "\" --log \"" + log + "\" \"" + folder + "\"";
    // A desktop of its own: its menus and activations leave the foreground of
    // test programs running beside it alone.
    const HANDLE process = StartProgram(command, "velmo_sim_test");
    ASSERT_TRUE(process);
    // The simulator's windows talk to every top-level window, ours included:
    // keep answering while waiting.
    DWORD waited = WAIT_TIMEOUT;
    for (const DWORD deadline = GetTickCount() + 120000; GetTickCount() < deadline;) {
        waited = MsgWaitForMultipleObjects(1, &process, FALSE, 500, QS_ALLINPUT);
        if (waited == WAIT_OBJECT_0) break;
        PumpMessages();
    }
    DWORD exitCode = 99;
    GetExitCodeProcess(process, &exitCode);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process, 3);
    CloseHandle(process);
    const std::string written = ReadBytes(log);
    ASSERT_EQ(WAIT_OBJECT_0, waited) << "the simulator did not close by itself:\n" << written;
    EXPECT_EQ(0u, exitCode) << written;
    for (const char* line : {"InitGlobalModule returned 1",
                             "Host message 0x7FD9: show the properties page \"/Calvorin\"",
                             "Remove icon routine: icon 1 removed", "DoneModule called",
                             "FreeLibrary called; the module is still mapped"})
        EXPECT_NE(std::string::npos, written.find(line)) << line;
    // The demo's last OK found another program's tip in the file and was told No.
    EXPECT_EQ(TipsFileText({"sample tip", "Added from the tray menu by the demo",
                            "Added by another program while the plug-in ran"}),
              ReadBytes(data.File("tips.rc")));
}

}  // namespace
