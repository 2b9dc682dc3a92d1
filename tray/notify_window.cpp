#include "tray/notify_window.h"

#include <cstring>

#include "dialogs/dialogs.h"
#include "records/messages.h"
#include "records/modal_loops.h"
#include "records/module_state.h"
#include "records/module_tips_file.h"
#include "resources/resource_ids.h"
#include "win/handles.h"

namespace {

constexpr char kNotifyClassName[] = "Calvorin";
constexpr UINT kTrackFlags = TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN;

// Every step runs even when an earlier one failed: a menu that could not be
// built still gives the host its opening and closed messages in pairs.
void ShowTrayMenu() {
    const StayLoaded stay;
    const PopupMenu menu(CreatePopupMenu());
    AppendMenuA(menu.Get(), MF_STRING, IDM_EDIT_TIPS, "&Edit Tips");
    AppendMenuA(menu.Get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu.Get(), MF_STRING, IDM_PROPERTIES, "&Properties");

    // A popup menu tracked while another program is in front never closes when
    // the user clicks elsewhere; the support library knows how to get in front.
    SetForeWndFix(g_hostInfo.parentWindow, g_hostInfo.foreWndFixArg);
    SetFocus(NotifyWindow);
    POINT cursor{};
    GetCursorPos(&cursor);

    SendMessageA(g_hostInfo.hostWindow, HostMsgMenuOpening, 0, 0);
    TrackPopupMenuEx(menu.Get(), kTrackFlags, cursor.x, cursor.y, NotifyWindow, nullptr);
    SendMessageA(g_hostInfo.hostWindow, HostMsgMenuClosed, 0, 0);

    // Without a message after the menu, the next click on the tray icon can
    // open a menu that vanishes at once.
    PostMessageA(NotifyWindow, WM_NULL, 0, 0);
}

// The target is read afresh each time: the host may change it between requests.
// The host promises at most 258 characters; a longer target is cut, never spilled.
void RequestProperties() {
    char text[MAX_PATH] = "/";
    const char* target;
    std::memcpy(&target, g_hostInfo.pluginRecord + kPropertiesTargetOffset, sizeof target);
    lstrcpynA(text + 1, target, sizeof text - 1);
    SendMessageA(g_hostInfo.hostWindow, HostMsgProperties, 0, reinterpret_cast<LPARAM>(text));
}

void ShowCommandError(HWND owner, const char* text) {
    ShowMessageBox(owner, text, kErrorCaption, MB_OK | MB_ICONERROR | MB_TOPMOST);
}

// Two managers on one TipsList would each hold rows the other removed, so while
// one is open the command only brings it (or the editor it runs) to the front.
void RunTipsManager(HWND window) {
    if (HWND manager = FindOpenManager()) {
        SetForegroundWindow(GetLastActivePopup(manager));
        return;
    }
    const StayLoaded stay;
    if (DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_TIPS), nullptr, ManagerDialogProc, 0) !=
        IDOK)
        return;
    // A No to the writer's question is the user's choice, not a failure. A
    // plug-in stopped while a box of the save was up shows nothing more.
    if (WriteTipsFile() != TipsSave::Failed || stay.StoppedMeanwhile()) return;
    ShowCommandError(window, kTipsNotWrittenText);
    // A drive that dropped in the middle of the save is likely back by the
    // time the user answers: the old bytes of a rewrite it cut off go back.
    // A stop while the box was up has put them back already.
    PutBackUnfinishedTipsRewrite();
}

}  // namespace

bool RegisterNotifyWindowClass() {
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

void UnregisterNotifyWindowClass() {
    UnregisterClassA(kNotifyClassName, g_instance);
}

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case TrayCallbackMessage:
        // The whole value: a mouse message number never has a high word.
        if (lParam == WM_LBUTTONDOWN || lParam == WM_RBUTTONDOWN)
            CatchAtBoundary(window, 0, [] {
                ShowTrayMenu();
                return 0;
            });
        return 0;
    case WM_COMMAND:
        CatchAtBoundary(window, 0, [&] {
            switch (LOWORD(wParam)) {
            case IDM_EDIT_TIPS: RunTipsManager(window); break;
            case IDM_PROPERTIES: RequestProperties(); break;
            default: ShowCommandError(window, kNotMenuItemText); break;
            }
            return 0;
        });
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
