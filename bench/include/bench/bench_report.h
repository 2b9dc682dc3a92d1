// What every benchmark program shares: a clock, and the one line per figure
// that bench/run reads, "NAME: RATIO x (target <= T)", or "(no target)" for a
// figure shown for scale.
#pragma once

#include <windows.h>

#include <cstdio>

// Set by any missed target or wrong result; main returns it as the exit code.
inline bool g_missed = false;

inline double Seconds() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline void Report(const char* name, double ratio, double target) {
    printf("%s: %.2f x (target <= %.2f)%s\n", name, ratio, target,
           ratio <= target ? "" : "  MISSED");
    fflush(stdout);
    if (ratio > target) g_missed = true;
}

inline void Inform(const char* name, double ratio) {
    printf("%s: %.2f x (no target)\n", name, ratio);
    fflush(stdout);
}
