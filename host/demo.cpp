#include <windows.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "host/velmo_sim.h"

namespace {

// Every step is polled from a timer, which the popup menu's and the dialogs'
// own message loops dispatch as well; so a step only posts, and never waits
// inside a call for a menu or dialog to end.
struct DemoStep {
    std::string what;
    std::function<void()> act;
    std::function<bool()> done;
};

constexpr UINT kTickMs = 150;
constexpr DWORD kStepTimeoutMs = 30000;
constexpr DWORD kSettleMs = 400;
constexpr char kAddedTip[] = "Added from the tray menu by the demo";
constexpr char kOtherProgramsTip[] = "Added by another program while the plug-in ran";

std::vector<DemoStep> g_steps;
size_t g_next;
bool g_acted;
DWORD g_stepStart;
std::string g_shotFolder;
int g_propertiesBefore;

DWORD SinceStepStart() {
    return GetTickCount() - g_stepStart;
}

struct WindowQuery {
    const char* cls;
    const char* title;  // null: any
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
    auto* query = reinterpret_cast<WindowQuery*>(lParam);
    char cls[64] = "", title[256] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, title, sizeof title);
    if (!IsWindowVisible(window) || std::strcmp(cls, query->cls) != 0 ||
        (query->title && std::strcmp(title, query->title) != 0))
        return TRUE;
    query->found = window;
    return FALSE;
}

// Only this thread's windows: other programs on the same desktop may show
// windows of the same names.
HWND VisibleWindow(const char* cls, const char* title) {
    WindowQuery query = {cls, title, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND PopupMenu() {
    return VisibleWindow("#32768", nullptr);
}

HWND Dialog(const char* title) {
    return VisibleWindow("#32770", title);
}

// A button found by its text, as a person finds it.
void PressButton(HWND dialog, const char* text) {
    HWND button = FindWindowExA(dialog, nullptr, "Button", text);
    if (!button) {
        Log("Demo: no \"%s\" button", text);
        return;
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// The menu's loop takes keys from the whole thread's queue.
void PressKey(UINT key) {
    HWND menu = PopupMenu();
    PostMessageA(menu ? menu : g_mainWindow, WM_KEYDOWN, key, 1);
    PostMessageA(menu ? menu : g_mainWindow, WM_KEYUP, key, 0xC0000001);
}

std::string RequestFile() {
    return g_shotFolder + "request.txt";
}

DemoStep Shot(const std::string& name) {
    return {"screenshot " + name,
            [name] {
                if (g_shotFolder.empty()) return;
                std::ofstream(RequestFile(), std::ios::trunc) << name << '\n';
            },
            [] {
                if (g_shotFolder.empty()) return SinceStepStart() >= kSettleMs;
                return GetFileAttributesA(RequestFile().c_str()) == INVALID_FILE_ATTRIBUTES;
            }};
}

// The plug-in opens its menu at the pointer, so the pointer goes to the icon
// first, as a user's hand would. Wine hears of the move from X a moment later
// and may meanwhile report the old place.
DemoStep PointAtIcon() {
    return {"move the pointer to the tray icon",
            [] {
                if (!PointAtTrayIcon()) Log("Demo: could not move the pointer to the icon");
            },
            [] { return SinceStepStart() >= kSettleMs; }};
}

DemoStep RightClickIcon(const std::string& what) {
    return {what, [] { ForwardTrayMouse(WM_RBUTTONDOWN); }, [] { return PopupMenu() != nullptr; }};
}

// With the menu open, "&Edit Tips" is the first item.
DemoStep ChooseEditTips(const std::string& what) {
    return {what,
            [] {
                PressKey(VK_DOWN);
                PressKey(VK_RETURN);
            },
            [] { return Dialog("Tips") != nullptr && SinceStepStart() >= kSettleMs; }};
}

DemoStep Settle() {
    return {"let the screen settle", [] {}, [] { return SinceStepStart() >= kSettleMs; }};
}

void LogTipsFile() {
    std::string path = FirstTipsPlace();
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) path = SecondTipsPlace();
    std::ifstream file(path, std::ios::binary);
    std::ostringstream all;
    all << file.rdbuf();
    const std::string bytes = all.str();
    Log("%s now holds %u bytes:", path.c_str(), static_cast<unsigned>(bytes.size()));
    std::istringstream lines(bytes);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Log("  | %s", line.c_str());
    }
}

// Appends a tip the way a text editor would save the file, with a write time
// that differs from the plug-in's own even on a coarse file system clock.
void AddTipAsAnotherProgram() {
    std::string path = FirstTipsPlace();
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) path = SecondTipsPlace();
    std::ofstream(path, std::ios::binary | std::ios::app) << kOtherProgramsTip << "\r\n";
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    FILETIME time;
    if (GetFileTime(file, nullptr, nullptr, &time)) {
        time.dwHighDateTime += 1;
        SetFileTime(file, nullptr, nullptr, &time);
    }
    CloseHandle(file);
    Log("Another program added \"%s\" to %s", kOtherProgramsTip, path.c_str());
}

void BuildSteps() {
    g_steps = {
        {"wait for the plug-in's icon", [] {},
         [] { return TrayIconShown() && SinceStepStart() >= 1000; }},
        Shot("01-started"),
        PointAtIcon(),
        RightClickIcon("right-click the tray icon"),
        {"highlight \"&Edit Tips\"", [] { PressKey(VK_DOWN); }, [] { return SinceStepStart() >= kSettleMs; }},
        Shot("02-menu"),
        {"choose \"&Edit Tips\"", [] { PressKey(VK_RETURN); },
         [] { return Dialog("Tips") != nullptr; }},
        Settle(),
        Shot("03-manager"),
        {"press \"Add Tip\"", [] { PressButton(Dialog("Tips"), "Add Tip"); },
         [] { return Dialog("Add Tip") != nullptr; }},
        {"type the new tip",
         [] {
             HWND edit = FindWindowExA(Dialog("Add Tip"), nullptr, "Edit", nullptr);
             SetWindowTextA(edit, kAddedTip);
         },
         [] { return SinceStepStart() >= kSettleMs; }},
        Shot("04-add-tip"),
        {"press OK in \"Add Tip\"", [] { PressButton(Dialog("Add Tip"), "OK"); },
         [] { return !Dialog("Add Tip") && SinceStepStart() >= kSettleMs; }},
        Shot("05-tip-added"),
        {"press OK in \"Tips\"", [] { PressButton(Dialog("Tips"), "OK"); },
         [] { return !Dialog("Tips"); }},
        {"show the rewritten tips.rc", LogTipsFile, [] { return SinceStepStart() >= kSettleMs; }},
        Shot("06-tips-written"),
        PointAtIcon(),
        RightClickIcon("right-click the tray icon again"),
        {"highlight \"&Properties\"",
         [] {
             PressKey(VK_DOWN);
             PressKey(VK_DOWN);  // the separator is passed over
         },
         [] { return SinceStepStart() >= kSettleMs; }},
        Shot("07-menu-properties"),
        {"choose \"&Properties\"",
         [] {
             g_propertiesBefore = g_propertiesRequests;
             PressKey(VK_RETURN);
         },
         [] { return g_propertiesRequests > g_propertiesBefore && !PopupMenu(); }},
        Settle(),
        Shot("08-properties"),
        // The host stays usable while the manager is open: stopping the
        // plug-in from it must take the manager along, writing nothing.
        PointAtIcon(),
        RightClickIcon("right-click the tray icon once more"),
        ChooseEditTips("choose \"&Edit Tips\""),
        Shot("09-manager-open-again"),
        {"press \"Stop plug-in\" while the manager is open",
         [] { PressButton(g_mainWindow, "Stop plug-in"); },
         [] { return !Dialog("Tips") && !TrayIconShown(); }},
        {"show tips.rc after the stop", LogTipsFile, [] { return SinceStepStart() >= kSettleMs; }},
        Shot("10-stopped-with-manager-open"),
        {"press \"Start plug-in\"", [] { PressButton(g_mainWindow, "Start plug-in"); },
         [] { return TrayIconShown(); }},
        // Unloading goes further: the module is let go while its manager's
        // loop is still below the host's handler.
        RightClickIcon("right-click the tray icon to open the manager for the unload"),
        ChooseEditTips("choose \"&Edit Tips\" before the unload"),
        {"press \"Unload plug-in\" while the manager is open",
         [] { PressButton(g_mainWindow, "Unload plug-in"); },
         [] { return !Dialog("Tips") && !TrayIconShown(); }},
        Shot("10b-unloaded-with-manager-open"),
        {"press \"Start plug-in\", which loads it again",
         [] { PressButton(g_mainWindow, "Start plug-in"); }, [] { return TrayIconShown(); }},
        // Another program adds a tip while the plug-in runs: OK must ask
        // before it puts the manager's tips in its place.
        {"add a tip to tips.rc as another program", AddTipAsAnotherProgram,
         [] { return SinceStepStart() >= kSettleMs; }},
        PointAtIcon(),
        RightClickIcon("right-click the tray icon for the last time"),
        ChooseEditTips("choose \"&Edit Tips\" again"),
        {"press OK in \"Tips\"", [] { PressButton(Dialog("Tips"), "OK"); },
         [] { return Dialog("Edit Tips") != nullptr && SinceStepStart() >= kSettleMs; }},
        Shot("11-tips-changed-by-another-program"),
        {"answer No: keep the other program's tips",
         // By its id: the box's buttons speak the system's language.
         [] { PostMessageA(Dialog("Edit Tips"), WM_COMMAND, IDNO, 0); },
         [] { return !Dialog("Edit Tips") && !Dialog("Tips"); }},
        {"show tips.rc after the answer", LogTipsFile,
         [] { return SinceStepStart() >= kSettleMs; }},
        {"close the host", [] { PostMessageA(g_mainWindow, WM_CLOSE, 0, 0); },
         [] { return false; }},
    };
}

void CALLBACK DemoTick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_next >= g_steps.size()) return;
    DemoStep& step = g_steps[g_next];
    if (!g_acted) {
        g_acted = true;
        g_stepStart = GetTickCount();
        Log("Demo: %s", step.what.c_str());
        step.act();
        return;
    }
    if (step.done()) {
        ++g_next;
        g_acted = false;
        return;
    }
    if (SinceStepStart() > kStepTimeoutMs) {
        Log("Demo: gave up waiting to %s", step.what.c_str());
        ExitProcess(1);
    }
}

}  // namespace

void StartDemo(const std::string& shotFolder) {
    g_shotFolder = shotFolder;
    BuildSteps();
    g_next = 0;
    g_acted = false;
    SetTimer(nullptr, 0, kTickMs, DemoTick);
}
