// Wine keeps no count of GDI, USER or kernel handles, so the built module's own
// import table is rebound to wrappers that count every handle it makes and
// releases while passing each call on. Over many start-ups, menus and manager
// runs, every handle must be released by the routine that made it, and nothing
// shared with the platform or the support library may be destroyed.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/plugin/plugin_host.h"
#include "tests/support/import_patch.h"

namespace {

enum class Kind { File, Memory, Menu, Icon, ImageList, Window, WindowClass };
constexpr size_t kKinds = 7;
const char* const kKindNames[kKinds] = {"file handles (CreateFileA / CloseHandle)",
                                        "global memory (GlobalAlloc / GlobalFree)",
                                        "popup menus (CreatePopupMenu / DestroyMenu)",
                                        "icons (CreateIconIndirect, ImageList_GetIcon / DestroyIcon)",
                                        "image lists (ImageList_Create / ImageList_Destroy)",
                                        "windows (CreateWindowExA / DestroyWindow)",
                                        "window classes (RegisterClassA / UnregisterClassA)"};

// The routine the host or the user is running in the module.
enum class Routine { None, StartUp, ShutDown, MenuOpening, ManagerRun };
const char* const kRoutineNames[] = {"no routine", "start-up", "shut-down", "a menu opening",
                                     "a manager run"};

// The window and its class live from start-up to shut-down; every other
// handle belongs to the one call that made it.
bool LivesUntilShutDown(Kind kind) {
    return kind == Kind::Window || kind == Kind::WindowClass;
}

struct Made {
    Kind kind;
    Routine routine;
};

// The tips stay in the buffer the reader read them into, and the list holds it
// until the next read replaces them: one such block outlives its start-up.
bool HeldByTipsList(const Made& made) {
    return made.kind == Kind::Memory && made.routine == Routine::StartUp;
}

struct Ledger {
    Routine routine = Routine::None;
    std::map<std::string, Made> live;  // by handle value, or by class name
    std::array<unsigned, kKinds> made{};
    std::array<unsigned, kKinds> released{};
    std::set<HANDLE> sharedIcons;       // LoadImageA with LR_SHARED
    unsigned sharedIconLoads = 0;
    unsigned sharedIconDestroys = 0;
    std::vector<std::string> faults;
    unsigned faultCount = 0;

    void Fault(const std::string& what) {
        ++faultCount;
        if (faults.size() < 20) faults.push_back(what + " during " +
                                                 kRoutineNames[static_cast<int>(routine)]);
    }
};
Ledger g_ledger;

std::string Key(const void* handle) {
    char text[16];
    snprintf(text, sizeof text, "%p", handle);
    return text;
}

void Make(Kind kind, const std::string& key) {
    if (LivesUntilShutDown(kind) && g_ledger.routine != Routine::StartUp)
        g_ledger.Fault("a window or class made outside start-up: " + key);
    if (!g_ledger.live.emplace(key, Made{kind, g_ledger.routine}).second)
        g_ledger.Fault(std::string("a live handle came back as new: ") + key);
    ++g_ledger.made[static_cast<size_t>(kind)];
}

void Release(Kind kind, const std::string& key, const char* call) {
    const auto found = g_ledger.live.find(key);
    if (found == g_ledger.live.end() || found->second.kind != kind) {
        g_ledger.Fault(std::string(call) + " of " + key + ", which the module did not make");
        return;
    }
    const Routine routine = found->second.routine;
    if (LivesUntilShutDown(kind) ? g_ledger.routine != Routine::ShutDown
                                 : g_ledger.routine != routine)
        g_ledger.Fault(std::string(call) + " of a handle made during " +
                       kRoutineNames[static_cast<int>(routine)]);
    g_ledger.live.erase(found);
    ++g_ledger.released[static_cast<size_t>(kind)];
}

// The real functions, as the loader bound them.
decltype(&CreateFileA) RealCreateFileA;
decltype(&CloseHandle) RealCloseHandle;
decltype(&GlobalAlloc) RealGlobalAlloc;
decltype(&GlobalFree) RealGlobalFree;
decltype(&CreatePopupMenu) RealCreatePopupMenu;
decltype(&DestroyMenu) RealDestroyMenu;
decltype(&CreateIconIndirect) RealCreateIconIndirect;
decltype(&ImageList_GetIcon) RealImageListGetIcon;
decltype(&DestroyIcon) RealDestroyIcon;
decltype(&LoadImageA) RealLoadImageA;
decltype(&ImageList_Create) RealImageListCreate;
decltype(&ImageList_Destroy) RealImageListDestroy;
decltype(&CreateWindowExA) RealCreateWindowExA;
decltype(&DestroyWindow) RealDestroyWindow;
decltype(&RegisterClassA) RealRegisterClassA;
decltype(&UnregisterClassA) RealUnregisterClassA;

HANDLE WINAPI CountCreateFileA(LPCSTR name, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE templateFile) {
    HANDLE file =
        RealCreateFileA(name, access, share, security, disposition, flags, templateFile);
    if (file != INVALID_HANDLE_VALUE) Make(Kind::File, Key(file));
    return file;
}

BOOL WINAPI CountCloseHandle(HANDLE handle) {
    Release(Kind::File, Key(handle), "CloseHandle");
    return RealCloseHandle(handle);
}

HGLOBAL WINAPI CountGlobalAlloc(UINT flags, SIZE_T bytes) {
    HGLOBAL memory = RealGlobalAlloc(flags, bytes);
    if (memory) Make(Kind::Memory, Key(memory));
    return memory;
}

HGLOBAL WINAPI CountGlobalFree(HGLOBAL memory) {
    Release(Kind::Memory, Key(memory), "GlobalFree");
    return RealGlobalFree(memory);
}

HMENU WINAPI CountCreatePopupMenu() {
    HMENU menu = RealCreatePopupMenu();
    if (menu) Make(Kind::Menu, Key(menu));
    return menu;
}

BOOL WINAPI CountDestroyMenu(HMENU menu) {
    Release(Kind::Menu, Key(menu), "DestroyMenu");
    return RealDestroyMenu(menu);
}

HICON WINAPI CountCreateIconIndirect(PICONINFO info) {
    HICON icon = RealCreateIconIndirect(info);
    if (icon) Make(Kind::Icon, Key(icon));
    return icon;
}

HICON WINAPI CountImageListGetIcon(HIMAGELIST list, int index, UINT flags) {
    HICON icon = RealImageListGetIcon(list, index, flags);
    if (icon) Make(Kind::Icon, Key(icon));
    return icon;
}

BOOL WINAPI CountDestroyIcon(HICON icon) {
    if (g_ledger.sharedIcons.count(icon)) {
        ++g_ledger.sharedIconDestroys;
        g_ledger.Fault("DestroyIcon of the shared icon");
    }
    Release(Kind::Icon, Key(icon), "DestroyIcon");
    return RealDestroyIcon(icon);
}

HANDLE WINAPI CountLoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy,
                              UINT flags) {
    HANDLE image = RealLoadImageA(instance, name, type, cx, cy, flags);
    if (image && (flags & LR_SHARED)) {
        g_ledger.sharedIcons.insert(image);
        ++g_ledger.sharedIconLoads;
    } else if (image) {
        g_ledger.Fault("LoadImageA without LR_SHARED");  // nobody would destroy it
    }
    return image;
}

HIMAGELIST WINAPI CountImageListCreate(int cx, int cy, UINT flags, int initial, int grow) {
    HIMAGELIST list = RealImageListCreate(cx, cy, flags, initial, grow);
    if (list) Make(Kind::ImageList, Key(list));
    return list;
}

BOOL WINAPI CountImageListDestroy(HIMAGELIST list) {
    Release(Kind::ImageList, Key(list), "ImageList_Destroy");
    return RealImageListDestroy(list);
}

HWND WINAPI CountCreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style,
                                 int x, int y, int width, int height, HWND parent, HMENU menu,
                                 HINSTANCE instance, LPVOID parameter) {
    HWND window = RealCreateWindowExA(exStyle, className, title, style, x, y, width, height,
                                      parent, menu, instance, parameter);
    if (window) Make(Kind::Window, Key(window));
    return window;
}

BOOL WINAPI CountDestroyWindow(HWND window) {
    Release(Kind::Window, Key(window), "DestroyWindow");
    return RealDestroyWindow(window);
}

// Class names compare without regard to case.
std::string ClassKey(LPCSTR name) {
    if (IS_INTRESOURCE(name))
        return "class #" + std::to_string(reinterpret_cast<uintptr_t>(name));
    std::string key = name;
    CharLowerBuffA(key.data(), static_cast<DWORD>(key.size()));
    return "class " + key;
}

ATOM WINAPI CountRegisterClassA(const WNDCLASSA* windowClass) {
    ATOM atom = RealRegisterClassA(windowClass);
    if (atom) Make(Kind::WindowClass, ClassKey(windowClass->lpszClassName));
    return atom;
}

// Shut-down unregisters the class whether or not start-up registered it; a
// call that finds no class releases nothing.
BOOL WINAPI CountUnregisterClassA(LPCSTR name, HINSTANCE instance) {
    const BOOL released = RealUnregisterClassA(name, instance);
    if (released) Release(Kind::WindowClass, ClassKey(name), "UnregisterClassA");
    return released;
}

template <typename Fn>
void Patch(HMODULE module, const char* dll, const char* function, Fn replacement, Fn& real) {
    real = reinterpret_cast<Fn>(
        PatchImport(module, dll, function, reinterpret_cast<void*>(replacement)));
    EXPECT_TRUE(real) << "the module does not import " << function;
}

class HandleAccounting : public PluginHost {
protected:
    void SetUp() override {
        PluginHost::SetUp();
        g_ledger = Ledger{};
        Patch(module, "kernel32.dll", "CreateFileA", CountCreateFileA, RealCreateFileA);
        Patch(module, "kernel32.dll", "CloseHandle", CountCloseHandle, RealCloseHandle);
        Patch(module, "kernel32.dll", "GlobalAlloc", CountGlobalAlloc, RealGlobalAlloc);
        Patch(module, "kernel32.dll", "GlobalFree", CountGlobalFree, RealGlobalFree);
        Patch(module, "user32.dll", "CreatePopupMenu", CountCreatePopupMenu, RealCreatePopupMenu);
        Patch(module, "user32.dll", "DestroyMenu", CountDestroyMenu, RealDestroyMenu);
        Patch(module, "user32.dll", "CreateIconIndirect", CountCreateIconIndirect,
              RealCreateIconIndirect);
        Patch(module, "comctl32.dll", "ImageList_GetIcon", CountImageListGetIcon,
              RealImageListGetIcon);
        Patch(module, "user32.dll", "DestroyIcon", CountDestroyIcon, RealDestroyIcon);
        Patch(module, "user32.dll", "LoadImageA", CountLoadImageA, RealLoadImageA);
        Patch(module, "comctl32.dll", "ImageList_Create", CountImageListCreate,
              RealImageListCreate);
        Patch(module, "comctl32.dll", "ImageList_Destroy", CountImageListDestroy,
              RealImageListDestroy);
        Patch(module, "user32.dll", "CreateWindowExA", CountCreateWindowExA, RealCreateWindowExA);
        Patch(module, "user32.dll", "DestroyWindow", CountDestroyWindow, RealDestroyWindow);
        Patch(module, "user32.dll", "RegisterClassA", CountRegisterClassA, RealRegisterClassA);
        Patch(module, "user32.dll", "UnregisterClassA", CountUnregisterClassA,
              RealUnregisterClassA);
        WriteBytes(hostFolder.File("tips.rc"), TipsFileText({"one", "two", "three", "four"}));
        WriteBytes(hostFolder.File("tray.bmp"), BitmapFile(32, 32));
    }

    // Runs one routine of the module; what it made for itself must be gone by
    // the time it returns.
    template <typename Work>
    void During(Routine routine, Work work) {
        g_ledger.routine = routine;
        work();
        // A leak is reported once, then dropped: made and released stay apart.
        bool tipsHeld = false;
        for (auto it = g_ledger.live.begin(); it != g_ledger.live.end();) {
            if ((LivesUntilShutDown(it->second.kind) && routine != Routine::ShutDown) ||
                (HeldByTipsList(it->second) && !tipsHeld)) {
                tipsHeld |= HeldByTipsList(it->second);
                ++it;
                continue;
            }
            g_ledger.Fault("not released: " + it->first + ", made during " +
                           kRoutineNames[static_cast<int>(it->second.routine)] + ",");
            it = g_ledger.live.erase(it);
        }
        g_ledger.routine = Routine::None;
    }

    void StartModule() {
        During(Routine::StartUp, [this] { EXPECT_NE(0u, Start()); });
    }

    void StopModule() {
        During(Routine::ShutDown, [this] { doneModule(); });
    }

    void PrintCounts(const char* title) {
        printf("%s\n", title);
        for (size_t k = 0; k < kKinds; ++k)
            printf("  %-62s made %5u  released %5u\n", kKindNames[k], g_ledger.made[k],
                   g_ledger.released[k]);
        printf("  %-62s loaded %5u  destroyed %5u\n", "shared fallback icon (LoadImageA LR_SHARED)",
               g_ledger.sharedIconLoads, g_ledger.sharedIconDestroys);
        fflush(stdout);
    }

    void ExpectCounts(std::array<unsigned, kKinds> expected) {
        // The last read's buffer, which the list still holds.
        const unsigned held = g_ledger.made[static_cast<size_t>(Kind::Memory)] > 0 ? 1 : 0;
        for (size_t k = 0; k < kKinds; ++k) {
            EXPECT_EQ(expected[k], g_ledger.made[k]) << kKindNames[k];
            EXPECT_EQ(g_ledger.made[k],
                      g_ledger.released[k] + (k == static_cast<size_t>(Kind::Memory) ? held : 0))
                << kKindNames[k];
        }
        for (const std::string& fault : g_ledger.faults) ADD_FAILURE() << fault;
        EXPECT_EQ(held, g_ledger.live.size()) << "handle(s) left";
        for (const auto& entry : g_ledger.live)
            EXPECT_TRUE(HeldByTipsList(entry.second)) << entry.first << " left";
        EXPECT_EQ(0u, g_ledger.faultCount) << "faults in all; the first 20 are listed";
        EXPECT_EQ(0u, g_ledger.sharedIconDestroys);
    }

    void UsePicture(int cycle) {
        // No picture, then the three forms the support library loads.
        static const char* const kConfigs[] = {
            "[Calvorin]\r\n",
            "[Calvorin]\r\nIcon=tray.bmp\r\nIconForm=1\r\n",
            "[Calvorin]\r\nIcon=tray.bmp\r\nIconForm=2\r\n",
            "[Calvorin]\r\nIcon=tray.bmp\r\nIconForm=4\r\n",
        };
        WriteBytes(config, kConfigs[cycle % 4]);
    }
};

TEST_F(HandleAccounting, AThousandStartUpsAndShutDowns) {
    trayIconSize = 24;
    host = FreshHostRecord();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        UsePicture(cycle);
        StartModule();
        StopModule();
    }
    PrintCounts("1,000 start-up / shut-down cycles:");
    // Each start-up reads tips.rc once; a quarter use the shared icon, a
    // quarter pass the bitmaps through an image list of their own.
    ExpectCounts({1000, 1000, 0, 750, 250, 1000, 1000});
    EXPECT_EQ(250u, g_ledger.sharedIconLoads);
}

TEST_F(HandleAccounting, AThousandMenuOpenings) {
    StartModule();
    for (int opening = 0; opening < 1000; ++opening) {
        // Mostly dismissed; every tenth asks the host for its properties.
        g_menuSteps.push_back(opening % 10 == 9 ? Choose('P') : [](HWND, HMENU) { EndMenu(); });
        During(Routine::MenuOpening, [this] { PressOnIcon(WM_RBUTTONDOWN); });
    }
    StopModule();
    PrintCounts("1,000 menu openings:");
    ExpectCounts({1, 1, 1000, 0, 0, 1, 1});
    EXPECT_EQ(100u, g_propertiesTexts.size());
}

TEST_F(HandleAccounting, TwoHundredManagerRunsWithAddsEditsAndRemovals) {
    StartModule();
    for (int run = 0; run < 200; ++run) {
        const bool ok = run % 2 == 0;
        RestartDialogWatchdog();  // each run, not the whole test, must end in time
        g_menuSteps.push_back(Choose('E'));
        g_steps.push_back([run, ok](HWND manager) {
            HWND list = GetDlgItem(manager, IDC_TIPS_LIST);
            Click(manager, IDC_ADD_TIP);
            SendMessageA(list, LB_SETSEL, TRUE, 0);
            Click(manager, IDC_EDIT_TIPS);
            SendMessageA(list, LB_SETSEL, FALSE, -1);
            SendMessageA(list, LB_SETSEL, TRUE, 1);
            Click(manager, IDC_REMOVE_TIPS);
            EXPECT_EQ(4, SendMessageA(list, LB_GETCOUNT, 0, 0)) << "run " << run;
            Click(manager, ok ? IDOK : IDCANCEL);
        });
        g_steps.push_back([run](HWND editor) {
            SetDlgItemTextA(editor, IDC_TIP_TEXT, ("added " + std::to_string(run)).c_str());
            Click(editor, IDOK);
        });
        g_steps.push_back([run](HWND editor) {
            SetDlgItemTextA(editor, IDC_TIP_TEXT, ("edited " + std::to_string(run)).c_str());
            Click(editor, IDOK);
        });
        g_steps.push_back([](HWND box) { Click(box, IDYES); });  // "Are you sure?"
        During(Routine::ManagerRun, [this] { PressOnIcon(WM_RBUTTONDOWN); });
    }
    StopModule();
    PrintCounts("200 manager runs (add, edit, remove; 100 closed with OK):");
    // One file handle to read at start-up, one per OK to write.
    ExpectCounts({101, 1, 200, 0, 0, 1, 1});
    // After run r: "edited r", then the tips added in runs r-2, r-1 and r.
    EXPECT_EQ(TipsFileText({"edited 198", "added 196", "added 197", "added 198"}),
              ReadBytes(hostFolder.File("tips.rc")));
}

}  // namespace
