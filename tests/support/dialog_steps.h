// Drives modal dialogs and message boxes as a user would: each new top-level
// dialog or message box runs the next scripted step inside its modal loop.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>

#include "tests/shared/dialog_hook.h"

using DialogStep = std::function<void(HWND)>;
extern std::deque<DialogStep> g_steps;

// For a fixture's SetUp and TearDown: hooks this thread's new dialogs with no
// steps queued, fails the test when a dialog has no step or a step is left
// over, and closes whatever is still open after a few seconds so a stray box
// cannot hang CI.
void WatchDialogs();
void StopWatchingDialogs();
// WatchDialogs, with the module's message boxes recorded in g_boxes from none
// on: by default the test program's own, whose code is the module's.
void WatchDialogsAndBoxes(HMODULE module = GetModuleHandleA(nullptr));
// A step for a message box that must show `text`, and `caption` where one is
// given: it is answered with `button`.
DialogStep BoxAnswered(int button, std::string text, std::string caption = "");
// Gives the watchdog its few seconds anew, for a test that opens dialogs one
// after another for longer than that.
void RestartDialogWatchdog();
