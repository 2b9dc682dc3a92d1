#include "tests/support/crash_guard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

struct Range {
    uintptr_t begin, end;
};
std::vector<Range> g_guarded;

Range RangeOf(HMODULE module) {
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return {reinterpret_cast<uintptr_t>(base),
            reinterpret_cast<uintptr_t>(base) + nt->OptionalHeader.SizeOfImage};
}

LONG CALLBACK FailOnFault(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_STACK_OVERFLOW &&
        code != EXCEPTION_ILLEGAL_INSTRUCTION && code != EXCEPTION_INT_DIVIDE_BY_ZERO)
        return EXCEPTION_CONTINUE_SEARCH;
    const auto at = reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress);
    for (const Range& range : g_guarded) {
        if (at >= range.begin && at < range.end) {
            ADD_FAILURE() << "fault 0x" << std::hex << code << " at 0x" << at
                          << " inside the module";
            // Left to run on, the fault would stop the program in Wine's
            // debugger until CTest's time-out.
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void GuardModule(HMODULE module) {
    g_guarded.push_back(RangeOf(module));
}

void InstallCrashGuard() {
    GuardModule(GetModuleHandleA(nullptr));
    AddVectoredExceptionHandler(1, FailOnFault);
}
