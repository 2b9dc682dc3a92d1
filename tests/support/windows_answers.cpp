#include "tests/support/windows_answers.h"

#include <gtest/gtest.h>

#include <cstring>

DWORD g_slowDisk;
DWORD g_holdEachStepMs;
std::string g_newFilePath;
HANDLE g_readStarted;
void (*g_afterReplace)(LPCSTR path);
void (*g_beforeInPlaceOpen)(LPCSTR path);
void (*g_beforeWrite)();
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
using ReadFileFn = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
using GetFileSizeFn = DWORD(WINAPI*)(HANDLE, LPDWORD);
using GlobalAllocFn = HGLOBAL(WINAPI*)(UINT, SIZE_T);

struct RealCalls {
    CreateFileFn createFile;
    MoveFileExFn moveFile;
    WriteFileFn writeFile;
    SetEndOfFileFn setEndOfFile;
    CreateMutexFn createMutex;
    GetFileAttributesFn getFileAttributes;
    ReadFileFn readFile;
    GetFileSizeFn getFileSize;
    GlobalAllocFn globalAlloc;
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
    if (g_beforeWrite) g_beforeWrite();
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
    g_real.readFile(file, g_atFailedCut.data(), 4096, &read, nullptr);
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

// As WindowsWriteFile: half of the bytes come, and without an error the read
// says it got them all.
BOOL WINAPI WindowsReadFile(HANDLE file, LPVOID data, DWORD length, LPDWORD read,
                            LPOVERLAPPED overlapped) {
    if (!Fails(Step::ReadBytes)) return g_real.readFile(file, data, length, read, overlapped);
    const DWORD error = GetLastError();
    const BOOL got = g_real.readFile(file, data, length / 2, read, overlapped);
    SetLastError(error);
    return error == ERROR_SUCCESS ? got : FALSE;
}

DWORD WINAPI WindowsGetFileSize(HANDLE file, LPDWORD high) {
    const DWORD low = g_real.getFileSize(file, high);
    const DWORD error = GetLastError();
    if (Fails(Step::Size) && high) ++*high;
    SetLastError(error);
    return low;
}

HGLOBAL WINAPI WindowsGlobalAlloc(UINT flags, SIZE_T bytes) {
    const HGLOBAL block = g_real.globalAlloc(flags, bytes);
    if (void* at = block && !(flags & GMEM_ZEROINIT) ? GlobalLock(block) : nullptr) {
        memset(at, 0xCD, bytes);
        GlobalUnlock(block);
    }
    return block;
}

// This program's import of a kernel32 function, bound to its stand-in.
template <typename Function>
ScopedImportPatch Kernel32(const char* name, Function* standIn) {
    return {GetModuleHandleA(nullptr), "kernel32.dll", name, reinterpret_cast<void*>(standIn)};
}

}  // namespace

int& Calls(Step step) {
    return g_calls[static_cast<int>(step)];
}

PlayWindows::PlayWindows(std::initializer_list<Fault> faults)
    : createFile(Kernel32("CreateFileA", WindowsCreateFile)),
      moveFile(Kernel32("MoveFileExA", WindowsMoveFileEx)),
      writeFile(Kernel32("WriteFile", WindowsWriteFile)),
      setEndOfFile(Kernel32("SetEndOfFile", WindowsSetEndOfFile)),
      createMutex(Kernel32("CreateMutexA", WindowsCreateMutex)),
      getFileAttributes(Kernel32("GetFileAttributesA", WindowsGetFileAttributes)),
      readFile(Kernel32("ReadFile", WindowsReadFile)),
      getFileSize(Kernel32("GetFileSize", WindowsGetFileSize)),
      globalAlloc(Kernel32("GlobalAlloc", WindowsGlobalAlloc)),
      flushFileBuffers(Kernel32("FlushFileBuffers", WindowsFlushFileBuffers)) {
    for (Fault& fault : g_faults) fault = {};
    for (int& calls : g_calls) calls = 0;
    for (const Fault& fault : faults) g_faults[static_cast<int>(fault.step)] = fault;
    g_afterReplace = nullptr;
    g_beforeInPlaceOpen = nullptr;
    g_beforeWrite = nullptr;
    g_slowDisk = 0;
    g_holdEachStepMs = 0;
    g_real = {reinterpret_cast<CreateFileFn>(createFile.original),
              reinterpret_cast<MoveFileExFn>(moveFile.original),
              reinterpret_cast<WriteFileFn>(writeFile.original),
              reinterpret_cast<SetEndOfFileFn>(setEndOfFile.original),
              reinterpret_cast<CreateMutexFn>(createMutex.original),
              reinterpret_cast<GetFileAttributesFn>(getFileAttributes.original),
              reinterpret_cast<ReadFileFn>(readFile.original),
              reinterpret_cast<GetFileSizeFn>(getFileSize.original),
              reinterpret_cast<GlobalAllocFn>(globalAlloc.original),
              reinterpret_cast<FlushFileBuffersFn>(flushFileBuffers.original)};
    EXPECT_TRUE(g_real.createFile && g_real.moveFile && g_real.writeFile &&
                g_real.setEndOfFile && g_real.createMutex &&
                g_real.getFileAttributes && g_real.readFile && g_real.getFileSize &&
                g_real.globalAlloc && g_real.flushFileBuffers);
}
