// Setting a file's last-write time, as another program's write or a coarse
// file system clock would leave it.
#pragma once

#include <windows.h>

#include <string>

// The system time the given number of seconds from now (before it, when negative).
inline FILETIME SecondsFromNow(int seconds) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    ticks.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(seconds) * 10000000);
    return {ticks.LowPart, ticks.HighPart};
}

inline bool SetLastWriteTime(const std::string& path, FILETIME time) {
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool set = file != INVALID_HANDLE_VALUE && SetFileTime(file, nullptr, nullptr, &time);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return set;
}
