#include "tests/support/menu_steps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

std::deque<MenuStep> g_menuSteps;
int g_menusShown;

namespace {

HHOOK g_menuHook;
HWND g_popup;
std::function<void(HMENU)> g_noteMenu;

void CALLBACK RunMenuStep(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(g_popup, MN_GETHMENU, 0, 0));
    if (g_noteMenu) g_noteMenu(menu);
    if (g_menuSteps.empty()) {
        ADD_FAILURE() << "a menu opened with no step for it";
        EndMenu();
        return;
    }
    MenuStep step = std::move(g_menuSteps.front());
    g_menuSteps.pop_front();
    step(g_popup, menu);
}

LRESULT CALLBACK WatchNewMenus(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
        char cls[16] = "";
        GetClassNameA(reinterpret_cast<HWND>(wp), cls, sizeof cls);
        if (!std::strcmp(cls, "#32768")) {
            g_popup = reinterpret_cast<HWND>(wp);
            ++g_menusShown;
            SetTimer(nullptr, 0, 0, RunMenuStep);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

void Dismiss(HWND popup, HMENU) {
    // The menu's loop reads keys from the thread's queue, whichever window.
    PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
}

MenuStep Choose(char mnemonic) {
    return [mnemonic](HWND popup, HMENU) { PostMessageA(popup, WM_CHAR, mnemonic, 0); };
}

bool WatchMenus(std::function<void(HMENU menu)> noteMenu) {
    g_menuSteps.clear();
    g_menusShown = 0;
    g_noteMenu = std::move(noteMenu);
    g_menuHook = SetWindowsHookExA(WH_CBT, WatchNewMenus, nullptr, GetCurrentThreadId());
    return g_menuHook != nullptr;
}

void StopWatchingMenus() {
    UnhookWindowsHookEx(g_menuHook);
    g_menuHook = nullptr;
    EXPECT_TRUE(g_menuSteps.empty()) << g_menuSteps.size() << " menu step(s) never ran";
    g_menuSteps.clear();
    g_noteMenu = nullptr;
}
