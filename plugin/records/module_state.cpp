#include "records/module_state.h"

HINSTANCE g_instance;
HostInfo g_hostInfo;
char TipsPath[kTipsPathSize];
PictureRecord g_picture;
HWND NotifyWindow;
TrayIconRecord g_trayIcon;
uint32_t TrayIconId;
int32_t EditIndex;
EditorMetrics AddModeMetrics;
EditorMetrics EditModeMetrics;
TipsListStore TipsList;
