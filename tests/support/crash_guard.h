// Window and dialog procedures swallow faults under Wine, so a crash there would
// only show as missing behaviour. The guard fails the running test instead.
#pragma once

#include <windows.h>

// Faults at addresses inside this module fail the test (the test program itself
// is guarded from the start).
void GuardModule(HMODULE module);
void InstallCrashGuard();
