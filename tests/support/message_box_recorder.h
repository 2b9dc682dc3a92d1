// Records every MessageBoxA call a module makes (owner, text, caption, style),
// then shows the box for real. The style cannot be read back from the box under
// Wine, so it is taken from the call.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RecordedBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    int result;
};

extern std::vector<RecordedBox> g_boxes;

// The module showed one box since g_boxes was last cleared, and this one.
void ExpectOneBox(HWND owner, const std::string& text, const std::string& caption, UINT style);

// Starts recording the given module's message boxes (idempotent per module).
void RecordMessageBoxes(HMODULE module);
