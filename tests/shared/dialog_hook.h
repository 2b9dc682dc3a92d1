// Sees each new top-level dialog or message box of this thread, and acts on it
// as a user would. The tests script their steps on top of it; the benchmarks
// close whatever box the module shows, so none can hold them up.
#pragma once

#include <windows.h>

#include <string>

// Calls `opened` with each new top-level dialog or message box this thread
// creates. A zero-delay thread timer makes the call, so it runs inside the
// new window's modal loop, once the window is ready for input.
bool HookNewDialogs(void (*opened)(HWND window));
void UnhookNewDialogs();

// Sends the command a click on the dialog's button would send.
void Click(HWND dialog, int id);
// The id of a message box's text: a static control that MessageBox numbers
// 0xFFFF, as a dialog template's static controls often are.
constexpr int kBoxTextId = 0xFFFF;

// A control's text; ItemText(box, kBoxTextId) is a message box's text.
std::string ItemText(HWND dialog, int id);
std::string WindowText(HWND window);
// Handles the messages waiting for this thread without blocking.
void PumpMessages();
