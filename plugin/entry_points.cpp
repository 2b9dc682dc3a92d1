#include "plugin/plugin_exports.h"

#include <cstring>

#include "dialogs/dialogs.h"
#include "records/messages.h"
#include "records/modal_loops.h"
#include "records/module_state.h"
#include "records/module_tips_file.h"
#include "records/starter_api.h"
#include "tips/tips_location.h"
#include "tray/notify_window.h"
#include "tray/tray_icon.h"

namespace {

constexpr char kPluginCaption[] = "Calvorin v0.1";
constexpr char kSectionName[] = "Calvorin";
constexpr char kIconSetting[] = "Icon";

// The one setting, followed by twelve zero bytes for a host that reads past it.
const SettingDescriptor kSettings[2] = {{kIconSetting, kPictureSettingKind, kIconSetting}, {}};

// The host's own tips.rc beside localPath wins over the one in hostDir; false,
// with TipsPath as it was, when tips.rc is in neither place.
bool LocateTipsFile() {
    const TipsFileCandidates candidates =
        FindTipsFileCandidates(g_hostInfo.localPath, g_hostInfo.hostDir);
    for (size_t i = 0; i < candidates.count; ++i) {
        if (FileExists(candidates.paths[i])) {
            std::memcpy(TipsPath, candidates.paths[i], kTipsPathSize);
            return true;
        }
    }
    return false;
}

int32_t TrayIconSize() {
    int32_t size = 0;
    std::memcpy(&size, g_hostInfo.hostMetrics + kTrayIconSizeOffset, sizeof size);
    return size;
}

// False, with nothing read, when tips.rc is in neither place. The reader
// stays open across the tips read because the picture setting comes after it.
bool ReadTipsAndPictureSetting() {
    CfgReader reader = {};
    OpenCFGr(g_hostInfo.configFile, &reader);
    FindSection(kSectionName, 0, &reader);
    const bool located = LocateTipsFile();
    if (located) {
        ReadTipsFile();
        GetCFGPic(kIconSetting, &g_picture, &reader);
    }
    CloseCFGr(&reader);
    return located;
}

void LoadPictureAtTraySize() {
    g_picture.cx = TrayIconSize();
    g_picture.cy = g_picture.cx;
    g_picture.flags |= kPictureFlagUseSize;
    LoadImageEx(&g_picture);
}

}  // namespace

const PluginInfo* WINAPI GetPluginInfo() {
    g_pluginInfo.size = sizeof(PluginInfo);
    g_pluginInfo.name = kPluginName;
    g_pluginInfo.caption = kPluginCaption;
    g_pluginInfo.sectionName = kSectionName;
    g_pluginInfo.settingCount = 1;
    g_pluginInfo.settings = kSettings;
    return &g_pluginInfo;
}

namespace {

void ShutDown() {
    // Boxes and dialogs left open would go on editing TipsList and writing
    // tips.rc for a stopped module, or stay on screen with nothing behind them.
    NoteModuleStopped();
    EndOpenMessageBoxes();
    EndOpenDialogsAsCancel();
    if (TrayIconId) g_hostInfo.removeIcon(&g_trayIcon);
    TrayIconId = 0;
    if (NotifyWindow) {
        SendMessageA(NotifyWindow, WM_CANCELMODE, 0, 0);
        DestroyWindow(NotifyWindow);
        NotifyWindow = nullptr;
    }
    // Also when start-up stopped before a picture was loaded: the record then
    // holds nothing the library made, and it releases nothing.
    FreePicture(&g_picture);
    UnregisterNotifyWindowClass();
    EndTipsFileSaves();
}

// The host stops no plug-in whose start failed: each failure undoes what was
// made before it.
uint32_t FailedStart() {
    ShutDown();
    return 0;
}

uint32_t StartUp(const HostInfo* host) {
    // A host too old for the plug-in gets the code of the button that closed
    // the box (1 for OK), not 0: hosts have always been given that value here.
    if (host->size < kHostInfoSize)
        return ShowMessageBox(nullptr, kHostTooOldText, kPluginName, MB_TOPMOST);
    // A newer host's record is longer; the module knows only the first 112 bytes.
    std::memcpy(&g_hostInfo, host, kHostInfoSize);

    if (!RegisterNotifyWindowClass()) return FailedStart();
    // Without its window the icon would answer no click.
    NotifyWindow = CreateNotifyWindow();
    if (!NotifyWindow) return FailedStart();
    if (!ReadTipsAndPictureSetting()) {
        ShowMessageBox(nullptr, kNoTipsFileText, kErrorCaption, MB_TOPMOST);
        return FailedStart();
    }
    LoadPictureAtTraySize();
    const uint32_t started = AddTrayIcon();
    // An icon the host refused (its tray not ready at logon, or out of
    // resources) leaves the user no way in: a failed start like the others.
    if (!TrayIconId) return FailedStart();
    return started;
}

}  // namespace

uint32_t WINAPI InitGlobalModule(const HostInfo* host) {
    return CatchAtBoundary(nullptr, uint32_t{0}, [host] { return StartUp(host); });
}

void WINAPI DoneModule() {
    CatchAtBoundary(nullptr, 0, [] {
        ShutDown();
        return 0;
    });
}
