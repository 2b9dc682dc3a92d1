// A second process of the running test program, for tests that need another
// instance of the module: its code lives in the program itself.
#pragma once

#include <windows.h>

#include <string>

// Starts the command line. Its windows go to `desktop` when given, and its
// standard handles to the inheritable `output` when given. The process's
// handle, or null.
HANDLE StartProgram(std::string command, const char* desktop = nullptr, HANDLE output = nullptr);
// Starts this program again, running only `test` (which may be a disabled
// one), as StartProgram does.
HANDLE StartThisProgramRunning(const char* test, const char* desktop = nullptr,
                               HANDLE output = nullptr);
