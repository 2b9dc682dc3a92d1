// Records and messages that cross the boundary with the Velmo host. The host
// reads and writes them by offset, so every field the module touches is pinned
// at compile time.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 4, "the host is a 32-bit program");

// What GetPluginInfo hands to the host.
struct SettingDescriptor {
    const char* label;
    int32_t kind;
    const char* key;
};
static_assert(sizeof(SettingDescriptor) == 12);
static_assert(offsetof(SettingDescriptor, label) == 0);
static_assert(offsetof(SettingDescriptor, kind) == 4);
static_assert(offsetof(SettingDescriptor, key) == 8);

constexpr int32_t kPictureSettingKind = 20;

struct PluginInfo {
    uint32_t size;
    const char* name;
    const char* caption;
    const char* sectionName;
    int32_t settingCount;
    const SettingDescriptor* settings;
};
static_assert(sizeof(PluginInfo) == 24);
static_assert(offsetof(PluginInfo, size) == 0);
static_assert(offsetof(PluginInfo, name) == 4);
static_assert(offsetof(PluginInfo, caption) == 8);
static_assert(offsetof(PluginInfo, sectionName) == 12);
static_assert(offsetof(PluginInfo, settingCount) == 16);
static_assert(offsetof(PluginInfo, settings) == 20);

// The host's icon routines take their one argument in EAX and return in EAX.
struct TrayIconRecord;
using AddIconRoutine = uint32_t(__attribute__((regparm(1))) *)(TrayIconRecord* record);
using RemoveIconRoutine = uint32_t(__attribute__((regparm(1))) *)(TrayIconRecord* record);

// The host's own description of itself; hosts older than 1.9 pass a shorter one.
struct HostInfo {
    uint32_t size;
    const uint8_t* pluginRecord;
    const uint8_t* hostMetrics;
    uint32_t foreWndFixArg;
    const char* hostDir;
    const char* localPath;
    uint32_t configFile;
    HWND hostWindow;
    uint32_t reserved32;
    HWND parentWindow;
    uint32_t reserved40[15];
    AddIconRoutine addIcon;
    uint32_t reserved104;
    RemoveIconRoutine removeIcon;
};
constexpr uint32_t kHostInfoSize = 112;
static_assert(sizeof(HostInfo) == kHostInfoSize);
static_assert(offsetof(HostInfo, size) == 0);
static_assert(offsetof(HostInfo, pluginRecord) == 4);
static_assert(offsetof(HostInfo, hostMetrics) == 8);
static_assert(offsetof(HostInfo, foreWndFixArg) == 12);
static_assert(offsetof(HostInfo, hostDir) == 16);
static_assert(offsetof(HostInfo, localPath) == 20);
static_assert(offsetof(HostInfo, configFile) == 24);
static_assert(offsetof(HostInfo, hostWindow) == 28);
static_assert(offsetof(HostInfo, parentWindow) == 36);
static_assert(offsetof(HostInfo, addIcon) == 100);
static_assert(offsetof(HostInfo, removeIcon) == 108);

// Offsets of the two fields read inside host structures the module does not own.
constexpr size_t kPropertiesTargetOffset = 160;  // const char* in *pluginRecord
constexpr size_t kTrayIconSizeOffset = 1156;     // int32_t in *hostMetrics

// Laid out as the platform's first tray icon record (NOTIFYICONDATAA, version 1).
struct TrayIconRecord {
    uint32_t cbSize;
    HWND hWnd;
    uint32_t uID;
    uint32_t uFlags;
    uint32_t uCallbackMessage;
    HICON hIcon;
    char szTip[64];
};
static_assert(sizeof(TrayIconRecord) == 88);
static_assert(offsetof(TrayIconRecord, cbSize) == 0);
static_assert(offsetof(TrayIconRecord, hWnd) == 4);
static_assert(offsetof(TrayIconRecord, uID) == 8);
static_assert(offsetof(TrayIconRecord, uFlags) == 12);
static_assert(offsetof(TrayIconRecord, uCallbackMessage) == 16);
static_assert(offsetof(TrayIconRecord, hIcon) == 20);
static_assert(offsetof(TrayIconRecord, szTip) == 24);

constexpr uint32_t kTrayIconRecordSize = 88;
constexpr uint32_t kTrayIconId = 1;

// Delivered by the host to TrayIconRecord.hWnd, the mouse message in lParam.
constexpr UINT TrayCallbackMessage = WM_USER + 1;

// Sent to HostInfo.hostWindow; the results are not used.
constexpr UINT HostMsgProperties = 0x7FD9;  // lParam: "/" + propertiesTarget
constexpr UINT HostMsgMenuOpening = 0x7FE2;
constexpr UINT HostMsgMenuClosed = 0x7FE1;
