// Under Wine, window and dialog procedures swallow faults, so a fault there
// shows only as missing behaviour; one they do not swallow stops the program in
// Wine's debugger, which waits until someone ends it. The guard ends the
// program at once instead, after saying where the fault was.
#pragma once

#include <windows.h>

// Told which fault it was and where, just before the program ends with exit code 3.
using FaultReport = void (*)(const char* what);

// Guards the program's own code from now on.
void InstallCrashGuard(FaultReport report);
// Faults at addresses inside this module end the program too, for the rest of
// the program's life: a host that unloads and loads a module again guards it anew.
void GuardModule(HMODULE module);
