#include "host/crash_guard.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Range {
    uintptr_t begin, end;
};
std::vector<Range> g_guarded;
FaultReport g_report;
// Set once a fault is being reported: a second one, inside the report, ends
// the program without it.
bool g_ending;

Range RangeOf(HMODULE module) {
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return {reinterpret_cast<uintptr_t>(base),
            reinterpret_cast<uintptr_t>(base) + nt->OptionalHeader.SizeOfImage};
}

// Only faults in our own code: the system's libraries probe memory and catch
// their own faults.
bool Guarded(uintptr_t at) {
    for (const Range& range : g_guarded)
        if (at >= range.begin && at < range.end) return true;
    return false;
}

LONG CALLBACK EndOnFault(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_STACK_OVERFLOW &&
        code != EXCEPTION_ILLEGAL_INSTRUCTION && code != EXCEPTION_INT_DIVIDE_BY_ZERO)
        return EXCEPTION_CONTINUE_SEARCH;
    const auto at = reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress);
    if (!Guarded(at)) return EXCEPTION_CONTINUE_SEARCH;
    if (!g_ending) {
        g_ending = true;
        HMODULE module = nullptr;
        char name[MAX_PATH] = "";
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCSTR>(at), &module))
            GetModuleFileNameA(module, name, sizeof name);
        char what[MAX_PATH + 64];
        std::snprintf(what, sizeof what, "fault 0x%08lX at 0x%08X inside %s", code,
                      static_cast<unsigned>(at), name);
        g_report(what);
        std::fflush(stdout);
        std::fflush(stderr);
    }
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void GuardModule(HMODULE module) {
    g_guarded.push_back(RangeOf(module));
}

void InstallCrashGuard(FaultReport report) {
    g_report = report;
    GuardModule(GetModuleHandleA(nullptr));
    AddVectoredExceptionHandler(1, EndOnFault);
}
