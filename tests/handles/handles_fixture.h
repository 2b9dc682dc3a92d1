// The handle ledger: the built module's own import table rebound to wrappers
// that count every handle, GDI and USER object it makes and releases while
// passing each call on (Wine keeps no such count), and the routine of the
// module that made each. The handle accounting and the fault sweep share it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/plugin/plugin_fixture.h"
#include "tests/shared/import_wrapper.h"

enum class Kind { File, Mutex, Memory, Menu, Icon, ImageList, Window, WindowClass };
inline const std::map<Kind, const char*> kKindNames = {
    {Kind::File, "kernel handles (CreateFileA / CloseHandle)"},
    {Kind::Mutex, "the writers' mutex (CreateMutexA / CloseHandle)"},
    {Kind::Memory, "global memory (GlobalAlloc / GlobalFree)"},
    {Kind::Menu, "popup menus (CreatePopupMenu / DestroyMenu)"},
    {Kind::Icon, "icons (CreateIconIndirect, ImageList_GetIcon / DestroyIcon)"},
    {Kind::ImageList, "image lists (ImageList_Create / ImageList_Destroy)"},
    {Kind::Window, "windows (CreateWindowExA / DestroyWindow)"},
    {Kind::WindowClass, "window classes (RegisterClassA / UnregisterClassA)"}};

// How many of each kind a run makes; every one must be released too.
using Counts = std::map<Kind, unsigned>;

// The routine the host or the user is running in the module.
enum class Routine { None, StartUp, ShutDown, MenuOpening, ManagerRun };
inline const char* const kRoutineNames[] = {"no routine", "start-up", "shut-down", "a menu opening",
                                            "a manager run"};

// The window and its class live from start-up to shut-down; every other
// handle belongs to the one call that made it.
inline bool LivesUntilShutDown(Kind kind) {
    return kind == Kind::Window || kind == Kind::WindowClass;
}
// The writers' mutex is made by the first save, and kept until shut-down.
inline bool KeptUntilShutDown(Kind kind) {
    return kind == Kind::Mutex;
}

struct Made {
    Kind kind;
    Routine routine;
};

// The tips stay in the buffer the reader read them into, and the list holds it
// until the next read replaces them: one such block outlives its start-up.
inline bool HeldByTipsList(const Made& made) {
    return made.kind == Kind::Memory && made.routine == Routine::StartUp;
}

struct Ledger {
    Routine routine = Routine::None;
    std::map<std::string, Made> live;  // by handle value, or by class name
    Counts made;
    Counts released;
    std::set<const void*> sharedIcons;  // LoadImageA with LR_SHARED
    unsigned sharedIconLoads = 0;
    unsigned sharedIconDestroys = 0;
    std::vector<std::string> faults;
    unsigned faultCount = 0;

    void Fault(const std::string& what) {
        ++faultCount;
        if (faults.size() < 20)
            faults.push_back(what + " during " + kRoutineNames[static_cast<int>(routine)]);
    }
};
inline Ledger g_ledger;

// Kernel handles, USER objects, memory blocks and image lists are numbered
// apart: a menu may take the value of a block the list still holds.
inline std::string Key(Kind kind, const void* handle) {
    const char* space = kind == Kind::File || kind == Kind::Mutex ? "kernel"
                        : kind == Kind::Memory                    ? "memory"
                        : kind == Kind::ImageList                 ? "image list"
                                                                  : "user";
    char text[32];
    snprintf(text, sizeof text, "%s %p", space, handle);
    return text;
}

// Class names compare without regard to case.
inline std::string ClassKey(LPCSTR name) {
    if (IS_INTRESOURCE(name)) return "class #" + std::to_string(reinterpret_cast<uintptr_t>(name));
    std::string key = name;
    CharLowerBuffA(key.data(), static_cast<DWORD>(key.size()));
    return "class " + key;
}

inline void Make(Kind kind, const std::string& key) {
    if (LivesUntilShutDown(kind) && g_ledger.routine != Routine::StartUp)
        g_ledger.Fault("a window or class made outside start-up: " + key);
    if (!g_ledger.live.emplace(key, Made{kind, g_ledger.routine}).second)
        g_ledger.Fault(std::string("a live handle came back as new: ") + key);
    ++g_ledger.made[kind];
}

inline void Release(Kind kind, const std::string& key, const char* call) {
    const auto found = g_ledger.live.find(key);
    if (found == g_ledger.live.end() || found->second.kind != kind) {
        g_ledger.Fault(std::string(call) + " of " + key + ", which the module did not make");
        return;
    }
    const Routine routine = found->second.routine;
    // A start-up cut short undoes itself.
    if (LivesUntilShutDown(kind)
            ? g_ledger.routine != Routine::ShutDown && g_ledger.routine != Routine::StartUp
        : KeptUntilShutDown(kind) ? g_ledger.routine != Routine::ShutDown
                                  : g_ledger.routine != routine)
        g_ledger.Fault(std::string(call) + " of a handle made during " +
                       kRoutineNames[static_cast<int>(routine)]);
    g_ledger.live.erase(found);
    ++g_ledger.released[kind];
}

// What every counted function's wrapper does: the ledger hears of the call
// before it is passed on (what is released) and after (what was made).
template <auto& function, typename Fn = decltype(&function)>
struct Counting;
template <auto& function, typename R, typename... A>
struct Counting<function, R(WINAPI*)(A...)> {
    static inline const char* name;
    static inline void (*before)(A...);
    static inline void (*after)(R, A...);
    static R Call(R(WINAPI* real)(A...), A... args) {
        if (before) before(args...);
        const R result = real(args...);
        if (after) after(result, args...);
        return result;
    }
};

inline constexpr std::nullptr_t kNothing = nullptr;

// Rebinds the module's import of `function` to its counting wrapper.
template <auto& function, typename Before, typename After = std::nullptr_t>
inline void Count(HMODULE module, const char* dll, const char* name, Before before,
                  After after = kNothing) {
    Counting<function>::name = name;
    Counting<function>::before = before;
    Counting<function>::after = after;
    EXPECT_TRUE((ImportWrapper<function, Counting<function>>::BindOver(module, dll, name)))
        << "the module does not import " << name;
}

// A call that hands back a handle of the kind, unless it fails, and one that
// releases the handle it is given.
template <auto& function, Kind kind>
inline void CountMade(HMODULE module, const char* dll, const char* name) {
    Count<function>(module, dll, name, kNothing, [](auto made, auto...) {
        if (made && made != INVALID_HANDLE_VALUE) Make(kind, Key(kind, made));
    });
}
template <auto& function, Kind kind>
inline void CountReleased(HMODULE module, const char* dll, const char* name) {
    Count<function>(module, dll, name, [](auto handle) {
        Release(kind, Key(kind, handle), Counting<function>::name);
    });
}

inline void CountHandles(HMODULE module) {
    g_ledger = Ledger{};
    CountMade<CreateFileA, Kind::File>(module, "kernel32.dll", "CreateFileA");
    CountMade<CreateMutexA, Kind::Mutex>(module, "kernel32.dll", "CreateMutexA");
    Count<CloseHandle>(module, "kernel32.dll", "CloseHandle", [](HANDLE file) {
        const auto found = g_ledger.live.find(Key(Kind::File, file));
        const bool mutex = found != g_ledger.live.end() && found->second.kind == Kind::Mutex;
        Release(mutex ? Kind::Mutex : Kind::File, Key(Kind::File, file), "CloseHandle");
    });
    CountMade<GlobalAlloc, Kind::Memory>(module, "kernel32.dll", "GlobalAlloc");
    CountReleased<GlobalFree, Kind::Memory>(module, "kernel32.dll", "GlobalFree");
    CountMade<CreatePopupMenu, Kind::Menu>(module, "user32.dll", "CreatePopupMenu");
    CountReleased<DestroyMenu, Kind::Menu>(module, "user32.dll", "DestroyMenu");
    CountMade<CreateIconIndirect, Kind::Icon>(module, "user32.dll", "CreateIconIndirect");
    CountMade<ImageList_GetIcon, Kind::Icon>(module, "comctl32.dll", "ImageList_GetIcon");
    Count<DestroyIcon>(module, "user32.dll", "DestroyIcon", [](HICON icon) {
        if (g_ledger.sharedIcons.count(icon)) {
            ++g_ledger.sharedIconDestroys;
            g_ledger.Fault("DestroyIcon of the shared icon");
        }
        Release(Kind::Icon, Key(Kind::Icon, icon), "DestroyIcon");
    });
    Count<LoadImageA>(
        module, "user32.dll", "LoadImageA", kNothing,
        [](HANDLE image, HINSTANCE, LPCSTR, UINT, int, int, UINT flags) {
            if (image && (flags & LR_SHARED)) {
                g_ledger.sharedIcons.insert(image);
                ++g_ledger.sharedIconLoads;
            } else if (image) {
                g_ledger.Fault("LoadImageA without LR_SHARED");  // nobody would destroy it
            }
        });
    CountMade<ImageList_Create, Kind::ImageList>(module, "comctl32.dll", "ImageList_Create");
    CountReleased<ImageList_Destroy, Kind::ImageList>(module, "comctl32.dll", "ImageList_Destroy");
    CountMade<CreateWindowExA, Kind::Window>(module, "user32.dll", "CreateWindowExA");
    CountReleased<DestroyWindow, Kind::Window>(module, "user32.dll", "DestroyWindow");
    Count<RegisterClassA>(module, "user32.dll", "RegisterClassA", kNothing,
                          [](ATOM atom, const WNDCLASSA* windowClass) {
                              if (atom)
                                  Make(Kind::WindowClass, ClassKey(windowClass->lpszClassName));
                          });
    // Shut-down unregisters the class whether or not start-up registered it; a
    // call that finds no class releases nothing.
    Count<UnregisterClassA>(module, "user32.dll", "UnregisterClassA", kNothing,
                            [](BOOL released, LPCSTR name, HINSTANCE) {
                                if (released)
                                    Release(Kind::WindowClass, ClassKey(name), "UnregisterClassA");
                            });
}

// Runs one routine of the module; what it made for itself must be gone by
// the time it returns.
template <typename Work>
inline void During(Routine routine, Work work) {
    g_ledger.routine = routine;
    work();
    // A leak is reported once, then dropped: made and released stay apart.
    bool tipsHeld = false;
    for (auto it = g_ledger.live.begin(); it != g_ledger.live.end();) {
        if (((LivesUntilShutDown(it->second.kind) || KeptUntilShutDown(it->second.kind)) &&
             routine != Routine::ShutDown) ||
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

// Prints the counts under `title`, then checks them; kinds left out of
// `expected` must not have been made at all.
inline void ExpectCounts(const char* title, Counts expected) {
    printf("%s\n", title);
    for (const auto& [kind, name] : kKindNames)
        printf("  %-62s made %5u  released %5u\n", name, g_ledger.made[kind],
               g_ledger.released[kind]);
    printf("  %-62s loaded %5u  destroyed %5u\n", "shared fallback icon (LoadImageA LR_SHARED)",
           g_ledger.sharedIconLoads, g_ledger.sharedIconDestroys);
    fflush(stdout);
    // The last read's buffer, which the list still holds.
    const unsigned held = g_ledger.made[Kind::Memory] > 0 ? 1 : 0;
    for (const auto& [kind, name] : kKindNames) {
        EXPECT_EQ(expected[kind], g_ledger.made[kind]) << name;
        EXPECT_EQ(g_ledger.made[kind], g_ledger.released[kind] + (kind == Kind::Memory ? held : 0))
            << name;
    }
    for (const std::string& fault : g_ledger.faults) ADD_FAILURE() << fault;
    EXPECT_EQ(held, g_ledger.live.size()) << "handle(s) left";
    for (const auto& entry : g_ledger.live)
        EXPECT_TRUE(HeldByTipsList(entry.second)) << entry.first << " left";
    EXPECT_EQ(0u, g_ledger.faultCount) << "faults in all; the first 20 are listed";
    EXPECT_EQ(0u, g_ledger.sharedIconDestroys);
}

// The plug-in host whose module the ledger watches from the start: each
// start-up and shut-down a routine of its own.
class LedgerHost : public PluginHost {
protected:
    void SetUp() override {
        PluginHost::SetUp();
        if (!HasFatalFailure()) CountHandles(module);
    }

public:
    uint32_t StartUp() {
        During(Routine::StartUp, [&] { started = Start(); });
        return started;
    }
    void Stop() { During(Routine::ShutDown, doneModule); }

    uint32_t started = 0;  // what the last start-up answered
};
