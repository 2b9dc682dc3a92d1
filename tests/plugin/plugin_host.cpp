#include "tests/plugin/plugin_host.h"

#include <cstring>

#include "tests/support/crash_guard.h"
#include "tests/support/message_box_recorder.h"

std::vector<IconCall> g_addCalls;
std::vector<IconCall> g_removeCalls;
uint32_t g_addResult;
HostTraffic g_hostTraffic;
std::vector<std::string> g_propertiesTexts;
std::vector<UINT> g_notifyWindowLife;
std::vector<std::vector<std::string>> g_menusSeen;

namespace {

constexpr char kHostClass[] = "VelmoTestHost";
constexpr char kNotifyClass[] = "Calvorin";

HHOOK g_callHook;

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

IconCall Observe(TrayIconRecord* record) {
    IconCall call = {record, *record, false, 0, 0};
    ICONINFO info;
    if (record->hIcon && GetIconInfo(record->hIcon, &info)) {
        call.iconValid = true;
        BITMAP bitmap;
        if (GetObjectA(info.hbmMask, sizeof bitmap, &bitmap)) {
            call.iconWidth = bitmap.bmWidth;
            // A mask without a colour bitmap holds both halves, one above the other.
            call.iconHeight = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
        }
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    }
    return call;
}

uint32_t __attribute__((regparm(1))) AddIcon(TrayIconRecord* record) {
    g_addCalls.push_back(Observe(record));
    return g_addResult;
}

uint32_t __attribute__((regparm(1))) RemoveIcon(TrayIconRecord* record) {
    g_removeCalls.push_back(Observe(record));
    return 1;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == HostMsgMenuOpening || message == HostMsgMenuClosed ||
        message == HostMsgProperties) {
        EXPECT_EQ(0u, wParam);
        g_hostTraffic.push_back(message);
        // The text lives only for the duration of the call.
        if (message == HostMsgProperties)
            g_propertiesTexts.emplace_back(reinterpret_cast<const char*>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool IsNotifyWindow(HWND window) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    return std::strcmp(cls, kNotifyClass) == 0;
}

LRESULT CALLBACK WatchNotifyWindow(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
        if ((call->message == WM_CANCELMODE || call->message == WM_DESTROY) &&
            IsNotifyWindow(call->hwnd))
            g_notifyWindowLife.push_back(call->message);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

std::vector<std::string> MenuItems(HMENU menu) {
    std::vector<std::string> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[64] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        items.emplace_back(text);
    }
    return items;
}

BOOL CALLBACK FindNotifyChild(HWND window, LPARAM found) {
    if (!IsNotifyWindow(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void PutLittleEndian(std::string& bytes, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
}

}  // namespace

std::string BuildFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    if (char* slash = std::strrchr(path, '\\')) slash[1] = '\0';
    return path;
}

std::string ShippedModule() {
    return BuildFolder() + "release\\Calvorinor.plg";
}

std::string BitmapFile(int width, int height) {
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(height);
    std::string bytes = "BM";
    PutLittleEndian(bytes, 54 + pixelBytes, 4);
    PutLittleEndian(bytes, 0, 4);
    PutLittleEndian(bytes, 54, 4);
    PutLittleEndian(bytes, 40, 4);
    PutLittleEndian(bytes, static_cast<uint32_t>(width), 4);
    PutLittleEndian(bytes, static_cast<uint32_t>(height), 4);
    PutLittleEndian(bytes, 1, 2);
    PutLittleEndian(bytes, 24, 2);
    for (int i = 0; i < 6; ++i) PutLittleEndian(bytes, 0, 4);
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            const bool edge = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            row += edge ? std::string("\xFF\x00\xFF", 3) : std::string("\xFF\x00\x00", 3);
        }
        row.resize(rowBytes, '\0');
        bytes += row;
    }
    return bytes;
}

std::string TipsFileText(const std::vector<std::string>& tips) {
    std::string text = "0000// current line\r\n";
    for (const std::string& tip : tips) text += tip + "\r\n";
    return text;
}

void PluginHost::SetUp() {
    DialogTest::SetUp();
    g_addCalls.clear();
    g_removeCalls.clear();
    g_addResult = 7;
    g_hostTraffic.clear();
    g_propertiesTexts.clear();
    g_notifyWindowLife.clear();
    g_menusSeen.clear();
    g_boxes.clear();

    module = LoadLibraryA(ShippedModule().c_str());
    ASSERT_TRUE(module) << "cannot load Calvorinor.plg, error " << GetLastError();
    GuardModule(module);
    RecordMessageBoxes(module);
    getPluginInfo = Export<GetPluginInfoFn>(module, "GetPluginInfo");
    initGlobalModule = Export<InitGlobalModuleFn>(module, "InitGlobalModule");
    doneModule = Export<DoneModuleFn>(module, "DoneModule");
    ASSERT_TRUE(getPluginInfo && initGlobalModule && doneModule);

    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = HostWindowProc;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = kHostClass;
    RegisterClassA(&hostClass);
    hostWindow = CreateWindowExA(0, kHostClass, "Velmo", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(hostWindow);

    const bool menusWatched =
        WatchMenus([](HMENU menu) { g_menusSeen.push_back(MenuItems(menu)); });
    g_callHook = SetWindowsHookExA(WH_CALLWNDPROC, WatchNotifyWindow, nullptr,
                                   GetCurrentThreadId());
    ASSERT_TRUE(menusWatched && g_callHook);

    WriteBytes(config, "[Calvorin]\r\n");
    host = FreshHostRecord();
}

void PluginHost::TearDown() {
    // Leaves nothing behind for the next test, whatever this one did.
    if (doneModule) doneModule();
    StopWatchingMenus();
    UnhookWindowsHookEx(g_callHook);
    if (hostWindow) DestroyWindow(hostWindow);
    UnregisterClassA(kHostClass, GetModuleHandleA(nullptr));
    PumpMessages();
    if (module) {
        FreeLibrary(module);
        EXPECT_EQ(nullptr, GetModuleHandleA("Calvorinor.plg")) << "the module stayed loaded";
    }
    DialogTest::TearDown();
}

HostInfo PluginHost::FreshHostRecord() {
    const char* target = propertiesTarget.c_str();
    std::memcpy(pluginRecord + kPropertiesTargetOffset, &target, sizeof target);
    std::memcpy(hostMetrics + kTrayIconSizeOffset, &trayIconSize, sizeof trayIconSize);
    HostInfo record = {};
    record.size = kHostInfoSize;
    record.pluginRecord = pluginRecord;
    record.hostMetrics = hostMetrics;
    record.foreWndFixArg = 0x1234;
    record.hostDir = hostFolder.path.c_str();
    record.localPath = localPath.c_str();
    record.configFile = reinterpret_cast<uint32_t>(config.c_str());
    record.hostWindow = hostWindow;
    record.parentWindow = hostWindow;
    record.addIcon = AddIcon;
    record.removeIcon = RemoveIcon;
    return record;
}

uint32_t PluginHost::Start() {
    return Start(host);
}

uint32_t PluginHost::Start(const HostInfo& record) {
    return initGlobalModule(&record);
}

void PluginHost::PressOnIcon(UINT mouseMessage) {
    ASSERT_FALSE(g_addCalls.empty()) << "no icon was added";
    const TrayIconRecord& icon = g_addCalls.back().record;
    EXPECT_EQ(0, SendMessageA(icon.hWnd, icon.uCallbackMessage, icon.uID, mouseMessage));
    PumpMessages();
}

HWND PluginHost::NotifyWindowOfModule() const {
    HWND found = nullptr;
    EnumChildWindows(hostWindow, FindNotifyChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool PluginHost::ClassRegistered() const {
    WNDCLASSA info;
    return GetClassInfoA(module, kNotifyClass, &info) != FALSE;
}
