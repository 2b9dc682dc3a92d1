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
#include "tests/support/menu_steps.h"

using HostTraffic = std::vector<std::pair<UINT, WPARAM>>;

// Everything the stand-in host received, in order, and each properties text.
extern HostTraffic g_hostTraffic;
extern std::vector<std::string> g_propertiesTexts;

// The host traffic as it stood when the last menu was being shown.
extern HostTraffic g_trafficWhileShown;

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
