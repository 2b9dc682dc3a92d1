// A test host that treats the shipped Calvorinor.plg as Velmo does: loads it from
// disk, looks up its three exports, hands it a host record around
// real windows and real files, and records what comes back: icon routine
// calls, host messages, popup menus and what happens to the module's window.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "plugin/host_records.h"
#include "tests/support/dialog_steps.h"
#include "tests/support/menu_steps.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tips_readback.h"

using GetPluginInfoFn = const PluginInfo*(WINAPI*)();
using InitGlobalModuleFn = uint32_t(WINAPI*)(const HostInfo*);
using DoneModuleFn = void(WINAPI*)();

// The folder of the running test program, where the build puts STARTER.DLL and
// the host simulator.
std::string BuildFolder();
// The module as it ships: stripped, from the release build tree below BuildFolder().
std::string ShippedModule();

// One call of the host's add or remove icon routine.
struct IconCall {
    TrayIconRecord* address;
    TrayIconRecord record;  // as it stood during the call
    bool iconValid;         // the handle named a live icon during the call
    int iconWidth;
    int iconHeight;
};
extern std::vector<IconCall> g_addCalls;
extern std::vector<IconCall> g_removeCalls;
// What the add routine returns.
extern uint32_t g_addResult;

// Host messages in order, with the properties texts.
using HostTraffic = std::vector<UINT>;
extern HostTraffic g_hostTraffic;
extern std::vector<std::string> g_propertiesTexts;

// Messages the module's own window ("Calvorin") received: WM_CANCELMODE,
// WM_DESTROY.
extern std::vector<UINT> g_notifyWindowLife;

// The item texts of each popup menu shown, read before its menu step ran; ""
// for a separator.
extern std::vector<std::vector<std::string>> g_menusSeen;

// A 24-bit bitmap file of the given size.
std::string BitmapFile(int width, int height);

class PluginHost : public DialogTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The record as a 1.9 host fills it: tips.rc looked for beside localPath
    // (a file in localFolder) and in hostFolder.
    HostInfo FreshHostRecord();
    // Starts the module with `host` (or the given record).
    uint32_t Start();
    uint32_t Start(const HostInfo& record);
    // Sends the tray callback with a mouse message, as the host's tray area
    // does, to the window the add routine was given; then handles what it posted.
    void PressOnIcon(UINT mouseMessage);
    // The module's window, if one of class "Calvorin" is a child of the host.
    HWND NotifyWindowOfModule() const;
    bool ClassRegistered() const;

    HMODULE module = nullptr;
    GetPluginInfoFn getPluginInfo = nullptr;
    InitGlobalModuleFn initGlobalModule = nullptr;
    DoneModuleFn doneModule = nullptr;

    HWND hostWindow = nullptr;
    TempFolder localFolder;
    TempFolder hostFolder;
    std::string localPath = localFolder.File("user.ini");
    std::string config = hostFolder.File("velmo.ini");
    std::string propertiesTarget = "Calvorin";
    int32_t trayIconSize = 16;
    uint8_t pluginRecord[kPropertiesTargetOffset + 4] = {};
    uint8_t hostMetrics[kTrayIconSizeOffset + 4] = {};
    HostInfo host = {};
};

// Tips file text: the counter line, then each tip, each line ended by CR LF.
std::string TipsFileText(const std::vector<std::string>& tips);
