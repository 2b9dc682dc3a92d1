#include "records/module_state.h"

HINSTANCE g_instance;
HostInfo g_hostInfo;
char TipsPath[kTipsPathSize];
PictureRecord g_picture;
HWND NotifyWindow;
TrayIconRecord g_trayIcon;
uint32_t TrayIconId;
TipsListStore TipsList;
PluginInfo g_pluginInfo;
TipsFileStamp g_tipsFileStamp;
OpenBox g_openBoxes[kMaxOpenBoxes];
unsigned g_openBoxCount;
HHOOK g_newBoxHook;
UINT g_newBoxStyle;
unsigned g_stopCount;
