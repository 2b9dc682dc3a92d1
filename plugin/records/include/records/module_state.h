// The module-wide records. All are zero at load and live until unload; only the
// host's user-interface thread touches them, so none is locked.
//
// Naming: the records the whole module knows by name keep their established
// names (TipsList, TipsPath, NotifyWindow, TrayIconId, EditIndex,
// AddModeMetrics, EditModeMetrics); every other module-wide variable starts
// with g_.
#pragma once

#include <windows.h>

#include <cstdint>

#include "records/host_records.h"
#include "records/starter_api.h"
#include "tips/tips_list.h"
#include "tips/tips_location.h"

// The module's own instance: window class, dialog templates and icon come from it.
extern HINSTANCE g_instance;

// The first 112 bytes of the host's record, copied at start-up.
extern HostInfo g_hostInfo;

// Path of the tips.rc in use: at most 259 characters and a zero.
extern char TipsPath[kTipsPathSize];

// The module's one in-memory copy of the tips, in file order.
extern TipsListStore TipsList;


// The configured tray picture, as the support library loaded it.
extern PictureRecord g_picture;

// The hidden window that owns the tray icon and its menu; 0 while there is none.
extern HWND NotifyWindow;

// The record handed to the host's icon routines, and what adding it returned.
extern TrayIconRecord g_trayIcon;
extern uint32_t TrayIconId;

// Position in TipsList of the tip the editor edits in edit mode.
extern int32_t EditIndex;

// Heights measured when a tip editor opens, in pixels, frame included.
struct EditorMetrics {
    int32_t windowHeight;
    int32_t editHeight;
    int32_t buttonHeight;
};
extern EditorMetrics AddModeMetrics;
extern EditorMetrics EditModeMetrics;
