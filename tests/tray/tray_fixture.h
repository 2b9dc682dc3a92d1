// The module as start-up leaves it, with its code linked into the test program:
// the host record copied around the recording host's window, the notification
// window created as start-up creates it, and tips.rc read from a folder of the
// test's own.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/host_record.h"
#include "records/module_state.h"
#include "records/module_tips_file.h"
#include "tests/support/dialog_steps.h"
#include "tests/support/menu_steps.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/recording_host.h"
#include "tests/shared/temp_folder.h"
#include "tray/notify_window.h"

const std::string kSeededTips = "0002// current line\r\nfirst\r\nsecond\r\nthird\r\n";

class TrayTest : public testing::Test {
protected:
    void SetUp() override {
        WatchDialogsAndBoxes();
        host = OpenRecordingHost();
        HostSide side = {};
        side.window = host;
        side.propertiesTarget = "";
        side.foreWndFixArg = 0x1234;
        g_hostInfo = MakeHostRecord(side, hostStorage);

        ASSERT_TRUE(RegisterNotifyWindowClass());
        NotifyWindow = CreateNotifyWindow();
        ASSERT_TRUE(NotifyWindow);

        WriteBytes(tips, kSeededTips);
        lstrcpynA(TipsPath, tips.c_str(), sizeof TipsPath);
        ReadTipsFile();  // so that the writer knows the file as it was read
    }

    void TearDown() override {
        SetFileAttributesA(tips.c_str(), FILE_ATTRIBUTE_NORMAL);
        TipsPath[0] = '\0';
        TipsList.ReplaceAll({});
        DestroyWindow(NotifyWindow);
        NotifyWindow = nullptr;
        UnregisterNotifyWindowClass();
        CloseRecordingHost(host);
        g_hostInfo = HostInfo{};
        PumpMessages();
        StopWatchingDialogs();
    }

    // The string the plug-in record's propertiesTarget points at.
    void SetPropertiesTarget(const char* target) { ::SetPropertiesTarget(hostStorage, target); }
    LRESULT TrayCallback(WPARAM wParam, LPARAM lParam) {
        return SendMessageA(NotifyWindow, TrayCallbackMessage, wParam, lParam);
    }
    LRESULT Command(WPARAM wParam) { return SendMessageA(NotifyWindow, WM_COMMAND, wParam, 0); }

    HWND host = nullptr;
    HostRecordStorage hostStorage = {};
    TempFolder folder;
    std::string tips = folder.File("tips.rc");
};
