// Drives popup menus as a user would. A CBT hook sees each new popup menu; a
// zero-delay thread timer then runs the next scripted step inside the menu's
// own loop. The step must end the menu.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>

using MenuStep = std::function<void(HWND popup, HMENU menu)>;
extern std::deque<MenuStep> g_menuSteps;
// Popup menus created since WatchMenus.
extern int g_menusShown;

// Menu steps: end the menu as Escape would, or choose an item by its mnemonic.
void Dismiss(HWND popup, HMENU menu);
MenuStep Choose(char mnemonic);

// Hooks this thread's new popup menus, with no steps queued. `noteMenu` runs
// for each menu just before its step, for the fixture to record what it
// needs while the menu is up. False when the hook cannot be set.
bool WatchMenus(std::function<void(HMENU menu)> noteMenu);
// Unhooks, and fails the test for each step that never ran.
void StopWatchingMenus();
