#include "tests/support/child_program.h"

#include <string>

HANDLE StartThisProgramRunning(const char* test, const char* desktop, HANDLE output) {
    char self[MAX_PATH];
    if (!GetModuleFileNameA(nullptr, self, MAX_PATH)) return nullptr;
    return StartProgram(
        std::string("\"") + self + "\" --gtest_also_run_disabled_tests" + " --gtest_filter=" + test,
        desktop, output);
}

HANDLE StartProgram(std::string command, const char* desktop, HANDLE output) {
    std::string desktopName = desktop ? desktop : "";
    // Wine makes the desktop a new process names; Windows does not, and the
    // process dies as its user32 starts. Made here, it stays until we end.
    if (desktop && !CreateDesktopA(desktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr))
        return nullptr;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (desktop) startup.lpDesktop = desktopName.data();
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = output;
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                        nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}
