#include "tests/support/windows_answers.h"

#include <gtest/gtest.h>

#include <cstring>

DWORD g_slowDisk;
DWORD g_holdEachStepMs;
std::string g_newFilePath;
HANDLE g_readStarted;
void (*g_afterReplace)(LPCSTR path);
void (*g_beforeInPlaceOpen)(LPCSTR path);
std::string g_atFailedCut;

namespace {

using CreateFileFn = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

using MoveFileExFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
using SetEndOfFileFn = BOOL(WINAPI*)(HANDLE);
using CreateMutexFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR);
using GetFileAttributesFn = DWORD(WINAPI*)(LPCSTR);
using FlushFileBuffersFn = BOOL(WINAPI*)(HANDLE);

struct RealCalls {
    CreateFileFn createFile;
    MoveFileExFn moveFile;
    WriteFileFn writeFile;
    SetEndOfFileFn setEndOfFile;
    CreateMutexFn createMutex;
    GetFileAttributesFn getFileAttributes;
    FlushFileBuffersFn flushFileBuffers;
};
RealCalls g_real;
Fault g_faults[static_cast<int>(Step::Count)];
int g_calls[static_cast<int>(Step::Count)];

DWORD g_firstTry[static_cast<int>(Step::Count)];

bool HeldAtThisMoment(Step step) {
    if (!g_holdEachStepMs || step > Step::Replace) return false;
    DWORD& first = g_firstTry[static_cast<int>(step)];
    if (Calls(step) == 1) first = GetTickCount();
    if (GetTickCount() - first >= g_holdEachStepMs) return false;
    SetLastError(ERROR_SHARING_VIOLATION);
    return true;
}

// Counts the call; true when it is to fail, its error set.
bool Fails(Step step) {
    const Fault& fault = g_faults[static_cast<int>(step)];
    if (++Calls(step) > fault.times) return HeldAtThisMoment(step);
    SetLastError(fault.error);
    return true;
}

// Which step of a write a CreateFileA call is; Step::Count for none.
Step OpenStep(LPCSTR path, DWORD access, DWORD disposition) {
    if (access & DELETE) return Step::Probe;
    if (disposition == CREATE_ALWAYS && path[strlen(path) - 1] == '~') return Step::NewFile;
    if (disposition == OPEN_EXISTING && (access & GENERIC_WRITE)) return Step::InPlaceOpen;
    if (disposition == OPEN_EXISTING && access == GENERIC_READ) return Step::Read;
    return Step::Count;
}

HANDLE WINAPI WindowsCreateFile(LPCSTR path, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE model) {
    const Step step = OpenStep(path, access, disposition);
    if (step == Step::NewFile) g_newFilePath = path;
    if (step == Step::Read && g_readStarted) SetEvent(g_readStarted);
    if (step == Step::InPlaceOpen && g_beforeInPlaceOpen) g_beforeInPlaceOpen(path);
    if (step != Step::Count && Fails(step)) return INVALID_HANDLE_VALUE;
    // Windows truncates a hidden or system file only when asked for the same bits.
    const DWORD existing = g_real.getFileAttributes(path);
    if (disposition == CREATE_ALWAYS && existing != INVALID_FILE_ATTRIBUTES &&
        (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~flags)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return g_real.createFile(path, access, share, security, disposition, flags, model);
}

BOOL WINAPI WindowsMoveFileEx(LPCSTR from, LPCSTR to, DWORD flags) {
    Sleep(g_slowDisk);
    if (Fails(Step::Replace) || !g_real.moveFile(from, to, flags)) return FALSE;
    if (g_afterReplace) g_afterReplace(to);
    return TRUE;
}

// A failing write, as a full disk or a drive that drops fails it: half of the
// bytes land at the first failure, none at the later ones. A fault without an
// error is a disk that takes half and reports success.
BOOL WINAPI WindowsWriteFile(HANDLE file, LPCVOID data, DWORD length, LPDWORD written,
                             LPOVERLAPPED overlapped) {
    Sleep(g_slowDisk);
    if (!Fails(Step::Write)) return g_real.writeFile(file, data, length, written, overlapped);
    const DWORD error = GetLastError();
    const DWORD landing = Calls(Step::Write) == 1 ? length / 2 : 0;
    const BOOL wrote = g_real.writeFile(file, data, landing, written, overlapped);
    SetLastError(error);
    return error == ERROR_SUCCESS ? wrote : FALSE;
}

BOOL WINAPI WindowsSetEndOfFile(HANDLE file) {
    Sleep(g_slowDisk);
    if (!Fails(Step::SetEnd)) return g_real.setEndOfFile(file);
    const DWORD error = GetLastError();
    LARGE_INTEGER zero{}, here{};
    SetFilePointerEx(file, zero, &here, FILE_CURRENT);
    SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
    g_atFailedCut.assign(4096, '\0');
    DWORD read = 0;
    ReadFile(file, g_atFailedCut.data(), 4096, &read, nullptr);
    g_atFailedCut.resize(read);
    SetFilePointerEx(file, here, nullptr, FILE_BEGIN);
    SetLastError(error);
    return FALSE;
}

HANDLE WINAPI WindowsCreateMutex(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCSTR name) {
    return Fails(Step::Mutex) ? nullptr : g_real.createMutex(security, owned, name);
}

DWORD WINAPI WindowsGetFileAttributes(LPCSTR path) {
    const DWORD attributes = g_real.getFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || path[strlen(path) - 1] == '~') return attributes;
    const DWORD added = g_faults[static_cast<int>(Step::Attributes)].error;
    ++Calls(Step::Attributes);
    return attributes | added;
}

BOOL WINAPI WindowsFlushFileBuffers(HANDLE file) {
    return Fails(Step::Flush) ? FALSE : g_real.flushFileBuffers(file);
}

}  // namespace

int& Calls(Step step) {
    return g_calls[static_cast<int>(step)];
}

PlayWindows::PlayWindows(std::initializer_list<Fault> faults)
    : createFile{GetModuleHandleA(nullptr), "kernel32.dll", "CreateFileA",
                 reinterpret_cast<void*>(&WindowsCreateFile)},
      moveFile{GetModuleHandleA(nullptr), "kernel32.dll", "MoveFileExA",
               reinterpret_cast<void*>(&WindowsMoveFileEx)},
      writeFile{GetModuleHandleA(nullptr), "kernel32.dll", "WriteFile",
                reinterpret_cast<void*>(&WindowsWriteFile)},
      setEndOfFile{GetModuleHandleA(nullptr), "kernel32.dll", "SetEndOfFile",
                   reinterpret_cast<void*>(&WindowsSetEndOfFile)},
      createMutex{GetModuleHandleA(nullptr), "kernel32.dll", "CreateMutexA",
                  reinterpret_cast<void*>(&WindowsCreateMutex)},
      getFileAttributes{GetModuleHandleA(nullptr), "kernel32.dll", "GetFileAttributesA",
                        reinterpret_cast<void*>(&WindowsGetFileAttributes)},
      flushFileBuffers{GetModuleHandleA(nullptr), "kernel32.dll", "FlushFileBuffers",
                       reinterpret_cast<void*>(&WindowsFlushFileBuffers)} {
    for (Fault& fault : g_faults) fault = {};
    for (int& calls : g_calls) calls = 0;
    for (const Fault& fault : faults) g_faults[static_cast<int>(fault.step)] = fault;
    g_afterReplace = nullptr;
    g_beforeInPlaceOpen = nullptr;
    g_slowDisk = 0;
    g_holdEachStepMs = 0;
    g_real = {reinterpret_cast<CreateFileFn>(createFile.original),
              reinterpret_cast<MoveFileExFn>(moveFile.original),
              reinterpret_cast<WriteFileFn>(writeFile.original),
              reinterpret_cast<SetEndOfFileFn>(setEndOfFile.original),
              reinterpret_cast<CreateMutexFn>(createMutex.original),
              reinterpret_cast<GetFileAttributesFn>(getFileAttributes.original),
              reinterpret_cast<FlushFileBuffersFn>(flushFileBuffers.original)};
    EXPECT_TRUE(g_real.createFile && g_real.moveFile && g_real.writeFile &&
                g_real.setEndOfFile && g_real.createMutex &&
                g_real.getFileAttributes && g_real.flushFileBuffers);
}
