#include "plugin/plugin_exports.h"

#include <cstring>

#include "plugin/messages.h"
#include "plugin/module_state.h"
#include "plugin/starter_api.h"
#include "resources/resource_ids.h"
#include "tips/tips_file.h"
#include "tray/notify_window.h"
#include "tray/tray_icon.h"

namespace {

constexpr char kNotifyClassName[] = "Calvorin";
constexpr char kPluginCaption[] = "Calvorin v0.1";
constexpr char kSectionName[] = "Calvorin";
constexpr char kIconSetting[] = "Icon";
constexpr char kTipsFileName[] = "tips.rc";
constexpr char kTrayTip[] = "Calvorin";

// localPath names a file whose 8-character name gives way to "tips.rc".
constexpr size_t kLocalNameLength = 8;
constexpr int kFallbackIconSize = 16;

// The one setting, followed by twelve zero bytes for a host that reads past it.
const SettingDescriptor kSettings[2] = {{kIconSetting, kPictureSettingKind, kIconSetting}, {}};

// What GetPluginInfo hands out; the host may hold the address for good.
PluginInfo g_pluginInfo;

bool RegisterNotifyClass() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = NotifyWindowProc;
    windowClass.hInstance = g_instance;
    windowClass.lpszClassName = kNotifyClassName;
    return RegisterClassA(&windowClass) != 0;
}

// A zero-sized, never shown child: it exists so the tray callback and the
// popup menu have a window of the module's own.
HWND CreateNotifyWindow() {
    return CreateWindowExA(0, kNotifyClassName, nullptr, WS_CHILD, 0, 0, 0, 0,
                           g_hostInfo.parentWindow, nullptr, g_instance, nullptr);
}

// Writes the first prefixLength characters of prefix and then "tips.rc" into
// candidate. A candidate that would not fit is refused rather than cut short,
// since a shortened path could name some other file.
bool ComposeCandidate(const char* prefix, size_t prefixLength,
                      char (&candidate)[kTipsPathSize]) {
    const size_t nameLength = sizeof kTipsFileName - 1;
    if (prefixLength + nameLength > kTipsPathSize - 1) return false;
    std::memcpy(candidate, prefix, prefixLength);
    std::memcpy(candidate + prefixLength, kTipsFileName, nameLength + 1);
    return true;
}

// The host's own tips.rc beside localPath wins over the one in hostDir.
bool LocateTipsFile(char (&found)[kTipsPathSize]) {
    if (const char* local = g_hostInfo.localPath) {
        const size_t length = std::strlen(local);
        const size_t kept = length > kLocalNameLength ? length - kLocalNameLength : 0;
        if (ComposeCandidate(local, kept, found) && FileExists(found)) return true;
    }
    if (const char* hostDir = g_hostInfo.hostDir) {
        if (ComposeCandidate(hostDir, std::strlen(hostDir), found) && FileExists(found))
            return true;
    }
    return false;
}

int32_t TrayIconSize() {
    int32_t size = 0;
    std::memcpy(&size, g_hostInfo.hostMetrics + kTrayIconSizeOffset, sizeof size);
    return size;
}

void LoadConfiguredPicture(CfgReader* reader) {
    GetCFGPic(kIconSetting, &g_picture, reader);
    CloseCFGr(reader);
    g_picture.cx = TrayIconSize();
    g_picture.cy = g_picture.cx;
    g_picture.flags |= kPictureFlagUseSize;
    LoadImageEx(&g_picture);
}

// The host copies the icon while AddIconRoutine runs, so an icon built here is
// the module's to destroy as soon as the routine returns.
uint32_t AddTrayIcon() {
    g_trayIcon = {};
    g_trayIcon.cbSize = kTrayIconRecordSize;
    g_trayIcon.hWnd = NotifyWindow;
    g_trayIcon.uID = kTrayIconId;
    g_trayIcon.uFlags = kTrayIconFlags;
    g_trayIcon.uCallbackMessage = TrayCallbackMessage;
    HICON built = IconFromPicture(&g_picture);
    g_trayIcon.hIcon = built ? built
                             : static_cast<HICON>(LoadImageA(
                                   g_instance, MAKEINTRESOURCEA(IDI_PLUGIN), IMAGE_ICON,
                                   kFallbackIconSize, kFallbackIconSize, LR_SHARED));
    std::memcpy(g_trayIcon.szTip, kTrayTip, sizeof kTrayTip);
    TrayIconId = g_hostInfo.addIcon(&g_trayIcon);
    if (built) return DestroyIcon(built);
    return TrayIconId;
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

uint32_t WINAPI InitGlobalModule(const HostInfo* host) {
    if (host->size < kHostInfoSize)
        return MessageBoxA(nullptr, kHostTooOldText, kPluginName, MB_TOPMOST);
    // A newer host's record is longer; the module knows only the first 112 bytes.
    std::memcpy(&g_hostInfo, host, kHostInfoSize);

    if (!RegisterNotifyClass()) return 0;
    NotifyWindow = CreateNotifyWindow();

    CfgReader reader = {};
    OpenCFGr(g_hostInfo.configFile, &reader);
    FindSection(kSectionName, 0, &reader);

    char found[kTipsPathSize] = {};
    if (!LocateTipsFile(found)) {
        CloseCFGr(&reader);
        MessageBoxA(nullptr, kNoTipsFileText, kErrorCaption, MB_TOPMOST);
        DoneModule();
        return 0;
    }
    std::memcpy(TipsPath, found, kTipsPathSize);
    ReadTipsFile();

    LoadConfiguredPicture(&reader);
    return AddTrayIcon();
}

void WINAPI DoneModule() {
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
    UnregisterClassA(kNotifyClassName, g_instance);
}
