// velmo_sim.exe [--demo] [--shots FOLDER] [--log FILE] [--plugin FILE]
//               [--host-size N] [DATA_FOLDER]
//
// DATA_FOLDER holds the host's velmo.ini and tips.rc (default: "velmo" beside
// the program); the plug-in is Calvorinor.plg beside the program unless
// --plugin names another. --host-size N passes a host record that claims N
// bytes, to see how the plug-in treats an older host.
#include "host/velmo_sim.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "host/crash_guard.h"
#include "host/host_record.h"
#include "plugin/plugin_exports.h"

HWND g_mainWindow;
int g_propertiesRequests;

namespace {

constexpr char kMainClass[] = "VelmoHostSimulator";
constexpr char kTitle[] = "Velmo host simulator";
constexpr int kStartButton = 10;
constexpr int kStopButton = 11;
constexpr int kUnloadButton = 13;
constexpr int kLogBox = 12;
constexpr int kMargin = 10;
constexpr int kTopBand = 76;

using GetPluginInfoFn = decltype(&GetPluginInfo);
using InitGlobalModuleFn = decltype(&InitGlobalModule);
using DoneModuleFn = decltype(&DoneModule);

struct Options {
    bool demo = false;
    std::string shots;
    std::string logFile;
    std::string plugin;
    std::string dataFolder;
    uint32_t hostSize = kHostInfoSize;
};

struct Plugin {
    HMODULE module;
    GetPluginInfoFn getPluginInfo;
    InitGlobalModuleFn initGlobalModule;
    DoneModuleFn doneModule;
};

Options g_options;
Plugin g_plugin;
// True from InitGlobalModule to DoneModule: a plug-in that failed its
// start-up has shut itself down, and a second DoneModule does no harm.
bool g_pluginStarted;
HWND g_logBox;
HWND g_status;
std::ofstream g_logFile;

// What the host lends the plug-in through its record.
std::string g_hostDir;      // ends in a backslash
std::string g_localPath;    // a file whose 8-character name the plug-in replaces
std::string g_configPath;
std::string g_propertiesTarget = "Calvorin";
HostRecordStorage g_hostRecordStorage;
HostInfo g_hostRecord;

std::string ProgramFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    if (char* slash = std::strrchr(path, '\\')) slash[1] = '\0';
    return path;
}

std::string FullFolder(const std::string& folder) {
    char full[MAX_PATH] = "";
    const DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    std::string result = length > 0 && length < sizeof full ? full : folder;
    if (!result.empty() && result.back() != '\\' && result.back() != '/') result += '\\';
    return result;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--demo") options.demo = true;
        else if (arg == "--shots" && hasValue) options.shots = argv[++i];
        else if (arg == "--log" && hasValue) options.logFile = argv[++i];
        else if (arg == "--plugin" && hasValue) options.plugin = argv[++i];
        else if (arg == "--host-size" && hasValue)
            options.hostSize = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        else if (!arg.empty() && arg[0] != '-' && options.dataFolder.empty())
            options.dataFolder = arg;
        else return false;
    }
    if (options.plugin.empty()) options.plugin = ProgramFolder() + "Calvorinor.plg";
    if (options.dataFolder.empty()) options.dataFolder = ProgramFolder() + "velmo";
    options.dataFolder = FullFolder(options.dataFolder);
    if (!options.shots.empty()) options.shots = FullFolder(options.shots);
    return true;
}

// The exports are looked up by their plain names, as the host does.
template <typename Fn>
Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(g_plugin.module, name)));
}

bool LoadPlugin(const std::string& path) {
    g_plugin.module = LoadLibraryA(path.c_str());
    if (!g_plugin.module) {
        Log("Cannot load %s (error %lu)", path.c_str(), GetLastError());
        return false;
    }
    GuardModule(g_plugin.module);
    Log("Loaded %s", path.c_str());
    g_plugin.getPluginInfo = Export<GetPluginInfoFn>("GetPluginInfo");
    g_plugin.initGlobalModule = Export<InitGlobalModuleFn>("InitGlobalModule");
    g_plugin.doneModule = Export<DoneModuleFn>("DoneModule");
    const struct {
        const char* name;
        bool found;
    } exports[] = {{"GetPluginInfo", g_plugin.getPluginInfo != nullptr},
                   {"InitGlobalModule", g_plugin.initGlobalModule != nullptr},
                   {"DoneModule", g_plugin.doneModule != nullptr}};
    bool all = true;
    for (const auto& entry : exports) {
        Log("  export %s: %s", entry.name, entry.found ? "found" : "MISSING");
        all = all && entry.found;
    }
    if (!all) Log("The plug-in lacks an entry point; the host will not start it");
    return all;
}

void DescribePlugin() {
    const PluginInfo* info = g_plugin.getPluginInfo();
    if (!info) {
        Log("GetPluginInfo returned no record");
        return;
    }
    Log("GetPluginInfo: %u bytes, name \"%s\", caption \"%s\", section \"%s\", %d setting(s)",
        info->size, info->name, info->caption, info->sectionName, info->settingCount);
    for (int32_t i = 0; i < info->settingCount && info->settings; ++i)
        Log("  setting \"%s\", kind %d, key \"%s\"", info->settings[i].label,
            info->settings[i].kind, info->settings[i].key);
    std::string title = std::string(kTitle) + " - " + (info->caption ? info->caption : "");
    SetWindowTextA(g_mainWindow, title.c_str());
}

void FillHostRecord() {
    g_hostDir = g_options.dataFolder;
    g_localPath = g_hostDir + "user\\user.ini";
    g_configPath = g_hostDir + "velmo.ini";

    HostSide side = {};
    side.window = g_mainWindow;
    side.hostDir = g_hostDir.c_str();
    side.localPath = g_localPath.c_str();
    side.configFile = g_configPath.c_str();
    side.propertiesTarget = g_propertiesTarget.c_str();
    side.trayIconSize = GetSystemMetrics(SM_CXSMICON);
    side.addIcon = HostAddIcon;
    side.removeIcon = HostRemoveIcon;
    side.size = g_options.hostSize;
    g_hostRecord = MakeHostRecord(side, g_hostRecordStorage);
}

void StartPlugin() {
    if (!g_plugin.module && !LoadPlugin(g_options.plugin)) return;
    if (g_pluginStarted) return;
    DescribePlugin();
    FillHostRecord();
    Log("Configuration: %s", g_configPath.c_str());
    Log("tips.rc is looked for in %s, then in %s", FirstTipsPlace().c_str(),
        SecondTipsPlace().c_str());
    g_pluginStarted = true;
    const uint32_t result = g_plugin.initGlobalModule(&g_hostRecord);
    Log("InitGlobalModule returned %u", result);
    SetWindowTextA(g_status, result ? "Plug-in running: right-click its icon in the tray area."
                                    : "The plug-in did not start.");
}

void StopPlugin() {
    if (!g_pluginStarted) return;
    g_plugin.doneModule();
    g_pluginStarted = false;
    Log("DoneModule called");
    SetWindowTextA(g_status, "Plug-in stopped.");
}

// What a host does when the user turns a plug-in off, or on exit: stop it and
// let go of the module at once, from the handler of a button that the
// plug-in's own dialogs leave usable.
void UnloadPlugin() {
    if (!g_plugin.module) return;
    StopPlugin();
    const HMODULE module = g_plugin.module;
    g_plugin = {};
    FreeLibrary(module);
    Log("FreeLibrary called; the module is %s",
        GetModuleHandleA("Calvorinor.plg") ? "still mapped: its own loop is unwinding"
                                           : "unmapped");
    SetWindowTextA(g_status, "Plug-in unloaded.");
}

void OnHostMessage(UINT message, LPARAM lParam) {
    switch (message) {
    case HostMsgMenuOpening:
        Log("Host message 0x%X: the plug-in's menu opens", message);
        break;
    case HostMsgMenuClosed:
        Log("Host message 0x%X: the plug-in's menu has closed", message);
        break;
    case HostMsgProperties: {
        const char* text = reinterpret_cast<const char*>(lParam);
        ++g_propertiesRequests;
        Log("Host message 0x%X: show the properties page \"%s\"", message,
            text ? text : "(none)");
        std::string status = std::string("Properties requested: ") + (text ? text : "");
        SetWindowTextA(g_status, status.c_str());
        break;
    }
    }
}

void CreateChildren(HWND window) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    auto child = [&](const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
                     int id) {
        HWND created = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                       window, reinterpret_cast<HMENU>(id), instance, nullptr);
        SendMessageA(created, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return created;
    };
    child("BUTTON", "Start plug-in", BS_PUSHBUTTON, kMargin, kMargin, 100, 24, kStartButton);
    child("BUTTON", "Stop plug-in", BS_PUSHBUTTON, kMargin + 108, kMargin, 100, 24, kStopButton);
    child("BUTTON", "Unload plug-in", BS_PUSHBUTTON, kMargin + 216, kMargin, 100, 24,
          kUnloadButton);
    child("STATIC", "Host tray area:", SS_RIGHT, 330, kMargin + 5, 80, 18, 0);
    CreateTrayArea(window, 416, kMargin, 200, 26);
    g_status = child("STATIC", "", SS_LEFT | SS_SUNKEN, kMargin, 44, 606, 20, 0);
    g_logBox = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", nullptr,
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL |
                                   LBS_NOINTEGRALHEIGHT | LBS_NOSEL,
                               kMargin, kTopBand, 606, 300, window,
                               reinterpret_cast<HMENU>(kLogBox), instance, nullptr);
    SendMessageA(g_logBox, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageA(g_logBox, LB_SETHORIZONTALEXTENT, 1600, 0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        g_mainWindow = window;
        CreateChildren(window);
        return 0;
    case WM_SIZE:
        if (g_logBox)
            MoveWindow(g_logBox, kMargin, kTopBand, LOWORD(lParam) - 2 * kMargin,
                       HIWORD(lParam) - kTopBand - kMargin, TRUE);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kStartButton) StartPlugin();
        if (LOWORD(wParam) == kStopButton) StopPlugin();
        if (LOWORD(wParam) == kUnloadButton) UnloadPlugin();
        return 0;
    case HostMsgProperties:
    case HostMsgMenuOpening:
    case HostMsgMenuClosed:
        OnHostMessage(message, lParam);
        return 0;
    case kShellTrayMessage:
        OnShellTrayMessage(wParam, lParam);
        return 0;
    case WM_CLOSE:
        StopPlugin();
        ClearTrayArea();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The fault goes to the host's log, where scripts/run and the tests look, and
// to the standard error.
void ReportFault(const char* what) {
    std::fprintf(stderr, "velmo_sim: %s\n", what);
    Log("The host ends: %s", what);
}

bool CreateMainWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));      // IDI_APPLICATION
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kMainClass;
    if (!RegisterClassA(&windowClass)) return false;
    return CreateWindowExA(0, kMainClass, kTitle, WS_OVERLAPPEDWINDOW, 16, 16, 644, 470, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr) != nullptr;
}

}  // namespace

void Log(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (g_logBox) {
        const LRESULT row = SendMessageA(g_logBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
        SendMessageA(g_logBox, LB_SETTOPINDEX, row, 0);
        UpdateWindow(g_logBox);
    }
    if (g_logFile.is_open()) g_logFile << line << '\n' << std::flush;
}

std::string FirstTipsPlace() {
    return g_hostDir + "user\\tips.rc";
}

std::string SecondTipsPlace() {
    return g_hostDir + "tips.rc";
}

int main(int argc, char** argv) {
    InstallCrashGuard(ReportFault);
    if (!ParseOptions(argc, argv, g_options)) {
        MessageBoxA(nullptr,
                    "velmo_sim.exe [--demo] [--shots FOLDER] [--log FILE] [--plugin FILE] "
                    "[--host-size N] [DATA_FOLDER]",
                    kTitle, MB_OK | MB_ICONINFORMATION);
        return 2;
    }
    if (!g_options.logFile.empty()) g_logFile.open(g_options.logFile, std::ios::trunc);
    if (!CreateMainWindow()) return 1;
    ShowWindow(g_mainWindow, SW_SHOWNORMAL);
    UpdateWindow(g_mainWindow);

    Log("Velmo host simulator; data folder %s", g_options.dataFolder.c_str());
    // The demo's clock runs from here, so a plug-in stuck at start-up ends it too.
    if (g_options.demo) StartDemo(g_options.shots);
    if (LoadPlugin(g_options.plugin)) StartPlugin();
    else SetWindowTextA(g_status, "The plug-in could not be loaded: see the log.");

    MSG msg;
    int result;
    while ((result = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (g_plugin.module) FreeLibrary(g_plugin.module);
    return result < 0 ? 1 : static_cast<int>(msg.wParam);
}
