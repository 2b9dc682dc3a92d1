// A real window standing in for Velmo's main window, and the host's two icon
// routines: what the module sends its host, hands it and shows it is recorded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "records/host_records.h"

// Host messages in order, each with its wParam, and each properties text.
using HostTraffic = std::vector<std::pair<UINT, WPARAM>>;
extern HostTraffic g_hostTraffic;
extern std::vector<std::string> g_propertiesTexts;

// For each popup menu shown, read before its menu step ran: the host traffic
// as it stood, and the item texts ("" for a separator).
extern HostTraffic g_trafficWhileShown;
extern std::vector<std::vector<std::string>> g_menusSeen;

// Messages the module's own window ("Calvorin") received: WM_CANCELMODE,
// WM_DESTROY.
extern std::vector<UINT> g_notifyWindowLife;

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

uint32_t __attribute__((regparm(1))) AddIcon(TrayIconRecord* record);
uint32_t __attribute__((regparm(1))) RemoveIcon(TrayIconRecord* record);

// The host's own button (a child of its window, id kHostControlId) runs this
// when pressed: the way the host's "Stop plug-in" and "Start plug-in" buttons
// stop and start the module, also while the module's dialogs are open.
constexpr int kHostControlId = 1;
extern std::function<void()> g_hostControlAction;

// Clears every record, opens the host's window and watches the popup menus and
// the module's window; the window dies with CloseRecordingHost.
HWND OpenRecordingHost();
void CloseRecordingHost(HWND host);

// The module's window, if one of class "Calvorin" is a child of the host.
HWND NotifyWindowOf(HWND host);
