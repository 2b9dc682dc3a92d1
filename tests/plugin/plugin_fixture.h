// The shipped Calvorinor.plg treated as Velmo treats it: loaded from disk, its
// three exports looked up, and handed a host record around the recording
// host's window, real folders and real files.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_record.h"
#include "records/host_records.h"
#include "tests/shared/picture_files.h"
#include "tests/shared/tips_readback.h"
#include "tests/support/dialog_steps.h"
#include "tests/support/menu_steps.h"
#include "tests/support/recording_host.h"
#include "tests/shared/temp_folder.h"

using GetPluginInfoFn = const PluginInfo*(WINAPI*)();
using InitGlobalModuleFn = uint32_t(WINAPI*)(const HostInfo*);
using DoneModuleFn = void(WINAPI*)();

// The folder of the running test program, where the build puts STARTER.DLL and
// the host simulator.
std::string BuildFolder();
// The module as it ships: stripped, from the release build tree below BuildFolder().
std::string ShippedModule();

class PluginHost : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads the shipped module from disk and looks up its exports, as the
    // host does; lets go of it again and checks that it is gone.
    void LoadModule();
    void UnloadModule();

    // The record as a 1.9 host fills it: tips.rc looked for beside localPath
    // (a file in localFolder) and in hostFolder.
    HostInfo FreshHostRecord();
    // Starts the module with `host` (or the given record).
    uint32_t Start() { return initGlobalModule(&host); }
    uint32_t Start(const HostInfo& record) { return initGlobalModule(&record); }
    // Sends the tray callback with a mouse message, as the host's tray area
    // does, to the window the add routine was given; then handles what it posted.
    void PressOnIcon(UINT mouseMessage);
    // The rows of the tips manager opened from the tray menu, then cancelled.
    Tips ManagerRows();
    HWND NotifyWindowOfModule() const { return NotifyWindowOf(hostWindow); }
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
    HostRecordStorage hostStorage = {};
    HostInfo host = {};
};
