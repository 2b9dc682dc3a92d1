#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "host/velmo_sim.h"

namespace {

constexpr char kTrayAreaClass[] = "VelmoTrayArea";
constexpr int kIconMargin = 4;

// The one icon the host holds for its one plug-in. The host keeps copies of
// everything: the plug-in may destroy its icon as soon as the add routine returns.
struct TrayEntry {
    bool used;
    uint32_t hostId;
    HWND window;
    UINT id;
    UINT callback;
    HICON icon;
    char tip[64];
    bool inNotificationArea;
};

TrayEntry g_entry;
uint32_t g_lastHostId;
HWND g_trayArea;

int IconSize() {
    return GetSystemMetrics(SM_CXSMICON);
}

NOTIFYICONDATAA ShellRecord() {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = g_mainWindow;
    data.uID = g_entry.hostId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kShellTrayMessage;
    data.hIcon = g_entry.icon;
    lstrcpynA(data.szTip, g_entry.tip, sizeof data.szTip);
    return data;
}

void ReleaseEntry() {
    if (!g_entry.used) return;
    if (g_entry.inNotificationArea) {
        NOTIFYICONDATAA data = ShellRecord();
        Shell_NotifyIconA(NIM_DELETE, &data);
    }
    if (g_entry.icon) DestroyIcon(g_entry.icon);
    g_entry = {};
    if (g_trayArea) InvalidateRect(g_trayArea, nullptr, TRUE);
}

void PaintTrayArea(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    if (g_entry.used && g_entry.icon) {
        const int size = IconSize();
        const int top = (client.bottom - size) / 2;
        DrawIconEx(dc, kIconMargin, top, g_entry.icon, size, size, 0, nullptr, DI_NORMAL);
        SetBkMode(dc, TRANSPARENT);
        RECT text = {kIconMargin * 2 + size, 0, client.right, client.bottom};
        DrawTextA(dc, g_entry.tip, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    }
    EndPaint(window, &paint);
}

LRESULT CALLBACK TrayAreaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        PaintTrayArea(window);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MOUSEMOVE:
        ForwardTrayMouse(message);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char* MouseName(UINT message) {
    switch (message) {
    case WM_LBUTTONDOWN: return "left button";
    case WM_RBUTTONDOWN: return "right button";
    default: return nullptr;
    }
}

}  // namespace

void CreateTrayArea(HWND parent, int x, int y, int width, int height) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = TrayAreaProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.lpszClassName = kTrayAreaClass;
    RegisterClassA(&windowClass);
    g_trayArea = CreateWindowExA(WS_EX_CLIENTEDGE, kTrayAreaClass, nullptr,
                                 WS_CHILD | WS_VISIBLE, x, y, width, height, parent, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
}

uint32_t __attribute__((regparm(1))) HostAddIcon(TrayIconRecord* record) {
    if (!record) {
        Log("Add icon routine called without a record: refused");
        return 0;
    }
    Log("Add icon routine: record of %u bytes, window %p, id %u, flags %u, "
        "callback 0x%X, tip \"%.63s\"",
        record->cbSize, static_cast<void*>(record->hWnd), record->uID, record->uFlags,
        record->uCallbackMessage, record->szTip);
    ReleaseEntry();
    g_entry.used = true;
    g_entry.hostId = ++g_lastHostId;
    g_entry.window = record->hWnd;
    g_entry.id = record->uID;
    if (record->uFlags & NIF_MESSAGE) g_entry.callback = record->uCallbackMessage;
    if ((record->uFlags & NIF_ICON) && record->hIcon) g_entry.icon = CopyIcon(record->hIcon);
    if (record->uFlags & NIF_TIP) lstrcpynA(g_entry.tip, record->szTip, sizeof g_entry.tip);
    if (!g_entry.icon) Log("  the record carries no usable icon");

    NOTIFYICONDATAA data = ShellRecord();
    g_entry.inNotificationArea = Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
    Log(g_entry.inNotificationArea
            ? "  icon shown in the host's tray area and in the notification area"
            : "  icon shown in the host's tray area (no notification area here)");
    InvalidateRect(g_trayArea, nullptr, TRUE);
    return g_entry.hostId;
}

uint32_t __attribute__((regparm(1))) HostRemoveIcon(TrayIconRecord* record) {
    if (!record || !g_entry.used || record->hWnd != g_entry.window || record->uID != g_entry.id) {
        Log("Remove icon routine: no such icon");
        return 0;
    }
    Log("Remove icon routine: icon %u removed", g_entry.hostId);
    ReleaseEntry();
    return 1;
}

bool ForwardTrayMouse(UINT mouseMessage) {
    if (!g_entry.used || !g_entry.callback) return false;
    if (const char* name = MouseName(mouseMessage))
        Log("Tray: %s pressed on the icon, message 0x%X to the plug-in's window", name,
            g_entry.callback);
    // Posted, as the system's tray does: the plug-in's menu then runs in the
    // host's own message loop, not inside this call.
    return PostMessageA(g_entry.window, g_entry.callback, g_entry.id, mouseMessage) != FALSE;
}

void OnShellTrayMessage(WPARAM iconId, LPARAM mouseMessage) {
    if (g_entry.used && iconId == g_entry.hostId) ForwardTrayMouse(static_cast<UINT>(mouseMessage));
}

bool PointAtTrayIcon() {
    RECT client;
    if (!g_trayArea || !GetClientRect(g_trayArea, &client)) return false;
    POINT centre = {kIconMargin + IconSize() / 2, client.bottom / 2};
    return ClientToScreen(g_trayArea, &centre) && SetCursorPos(centre.x, centre.y);
}

bool TrayIconShown() {
    return g_entry.used;
}

void ClearTrayArea() {
    if (g_entry.used) Log("The host takes the plug-in's icon away");
    ReleaseEntry();
}
