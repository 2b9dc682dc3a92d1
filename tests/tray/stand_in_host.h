// A real window standing in for the Velmo host: the notification window is its
// child, and it records the host messages it receives. The fixture builds the
// module's host record around it and creates the notification window the way
// start-up does.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/dialog_steps.h"

using HostTraffic = std::vector<std::pair<UINT, WPARAM>>;

// Everything the stand-in host received, in order, and each properties text.
extern HostTraffic g_hostTraffic;
extern std::vector<std::string> g_propertiesTexts;

// Popup menus seen while tracked: each gets the next menu step on a zero-delay
// timer inside the menu's own loop; the step must end the menu.
using MenuStep = std::function<void(HWND popup, HMENU menu)>;
extern std::deque<MenuStep> g_menuSteps;
extern int g_menusShown;
// The host traffic as it stood when the last menu was being shown.
extern HostTraffic g_trafficWhileShown;

// Menu steps: end the menu as Escape would, or choose an item by its mnemonic.
void Dismiss(HWND popup, HMENU menu);
MenuStep Choose(char mnemonic);

class TrayTest : public DialogTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The string the plug-in record's propertiesTarget points at.
    void SetPropertiesTarget(const char* target);
    LRESULT TrayCallback(WPARAM wParam, LPARAM lParam);
    LRESULT Command(WPARAM wParam);

    HWND host = nullptr;
    unsigned char pluginRecord[200] = {};
};
