#include "tests/plugin/plugin_fixture.h"

#include <cstring>

#include "host/crash_guard.h"

namespace {

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
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

void PluginHost::LoadModule() {
    module = LoadLibraryA(ShippedModule().c_str());
    ASSERT_TRUE(module) << "cannot load Calvorinor.plg, error " << GetLastError();
    GuardModule(module);
    getPluginInfo = Export<GetPluginInfoFn>(module, "GetPluginInfo");
    initGlobalModule = Export<InitGlobalModuleFn>(module, "InitGlobalModule");
    doneModule = Export<DoneModuleFn>(module, "DoneModule");
    ASSERT_TRUE(getPluginInfo && initGlobalModule && doneModule);
}

void PluginHost::UnloadModule() {
    FreeLibrary(module);
    EXPECT_EQ(nullptr, GetModuleHandleA("Calvorinor.plg")) << "the module stayed loaded";
}

void PluginHost::SetUp() {
    LoadModule();
    if (HasFatalFailure()) return;
    WatchDialogsAndBoxes(module);
    hostWindow = OpenRecordingHost();
    ASSERT_TRUE(hostWindow);
    WriteBytes(config, "[Calvorin]\r\n");
    host = FreshHostRecord();
}

void PluginHost::TearDown() {
    // Leaves nothing behind for the next test, whatever this one did.
    if (doneModule) doneModule();
    CloseRecordingHost(hostWindow);
    PumpMessages();
    if (module) UnloadModule();
    StopWatchingDialogs();
}

HostInfo PluginHost::FreshHostRecord() {
    HostSide side = {};
    side.window = hostWindow;
    side.hostDir = hostFolder.path.c_str();
    side.localPath = localPath.c_str();
    side.configFile = config.c_str();
    side.propertiesTarget = propertiesTarget.c_str();
    side.trayIconSize = trayIconSize;
    side.foreWndFixArg = 0x1234;
    side.addIcon = AddIcon;
    side.removeIcon = RemoveIcon;
    return MakeHostRecord(side, hostStorage);
}

void PluginHost::PressOnIcon(UINT mouseMessage) {
    ASSERT_FALSE(g_addCalls.empty()) << "no icon was added";
    const TrayIconRecord& icon = g_addCalls.back().record;
    EXPECT_EQ(0, SendMessageA(icon.hWnd, icon.uCallbackMessage, icon.uID, mouseMessage));
    PumpMessages();
}

Tips PluginHost::ManagerRows() {
    Tips rows;
    g_menuSteps.push_back(Choose('E'));
    g_steps.push_back([&rows](HWND manager) {
        rows = Rows(manager);
        Click(manager, IDCANCEL);
    });
    PressOnIcon(WM_RBUTTONDOWN);
    return rows;
}

bool PluginHost::ClassRegistered() const {
    WNDCLASSA info;
    return GetClassInfoA(module, "Calvorin", &info) != FALSE;
}
