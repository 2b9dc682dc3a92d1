// Every module-wide variable below the dialogs. The dialogs' own three
// (EditIndex, AddModeMetrics and EditModeMetrics), which only the tip editor
// and the manager use, are declared in dialogs/dialogs.h and listed at the end
// of this file. All are zero at load and live until unload; only the host's
// user-interface thread touches them, so none is locked.
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
#include "tips/tips_file.h"
#include "tips/tips_stamp.h"
#include "win/handles.h"

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

// What GetPluginInfo hands out; the host may hold the address for good.
extern PluginInfo g_pluginInfo;

// What the module keeps of tips.rc between its reads and saves; the stop
// resets all of it but the stamp, which goes with TipsList. Only the tips
// file's own code and its tests look at it.
struct TipsFileRecord {
    // What tips.rc held when TipsList was last read from it or written to it,
    // or that it could not be read: the writer asks before replacing tips that
    // TipsList may lack.
    TipsFileStamp stamp;
    // The old bytes of a rewrite of tips.rc in place that was cut off part-way
    // and could not put them back at once (a network drive that dropped):
    // they go back at the next chance, once the failure's box is answered, at
    // the next save and at the stop.
    UnfinishedRewrite unfinished;
    // The writers' mutex of the tips.rc at writerMutexPath, made by the first
    // save of a start and kept until the stop: naming it takes a look at the
    // folder, which would otherwise cost every save as much as its own checks.
    Handle writerMutex;
    char writerMutexPath[kTipsPathSize];
};
extern TipsFileRecord g_tipsFile;

// The message boxes ShowMessageBox has open, innermost last, with the style
// each was asked for, so a shut-down can answer each as the user's No would.
// Boxes nest only when one is shown while another is up; a few levels cover
// every way the plug-in can do that. A deeper box is shown all the same, but
// a shut-down does not close it.
struct OpenBox {
    HWND window;
    UINT style;
};
constexpr unsigned kMaxOpenBoxes = 8;
extern OpenBox g_openBoxes[kMaxOpenBoxes];
extern unsigned g_openBoxCount;

// The hook that recognises the next box's window, and that box's style; set
// from just before a box is asked for until the box's window exists.
extern HHOOK g_newBoxHook;
extern UINT g_newBoxStyle;

// How often the plug-in has been stopped since it was loaded.
extern unsigned g_stopCount;

// True while the "Not enough memory" box is up: its loop serves the module's
// windows, whose work fails too while memory stays out, and one box says it.
extern bool g_outOfMemoryBoxUp;

// The C++ runtime's record of the exceptions thrown and caught on the host's
// thread, which the shipped module keeps here rather than in memory the
// runtime would allocate at the first throw (plugin/exception_globals.cpp).
struct ExceptionsInFlight {
    void* caught;
    unsigned uncaught;
};
extern ExceptionsInFlight g_exceptionsInFlight;

// In dialogs/dialogs.h:
//   EditIndex        the position in TipsList of the tip the editor edits;
//   AddModeMetrics   heights measured when the editor opens in add mode;
//   EditModeMetrics  the same in edit mode.
