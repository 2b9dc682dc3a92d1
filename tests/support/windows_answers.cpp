#include "tests/support/windows_answers.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/shared/import_wrapper.h"

WindowsAnswers g_answers;

namespace {

bool HeldAtThisMoment(Step step) {
    if (!g_answers.holdEachStepMs || step > Step::Replace) return false;
    DWORD& first = g_answers.firstTry[static_cast<int>(step)];
    if (Calls(step) == 1) first = GetTickCount();
    if (GetTickCount() - first >= g_answers.holdEachStepMs) return false;
    SetLastError(ERROR_SHARING_VIOLATION);
    return true;
}

// Counts the call; true when it is to fail, its error set.
bool Fails(Step step) {
    const Fault& fault = g_answers.faults[static_cast<int>(step)];
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

struct AnswerGetFileAttributes {
    static DWORD Call(decltype(&GetFileAttributesA) next, LPCSTR path) {
        const DWORD attributes = next(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || path[strlen(path) - 1] == '~')
            return attributes;
        ++Calls(Step::Attributes);
        return attributes | g_answers.faults[static_cast<int>(Step::Attributes)].error;
    }
};
// The stand-ins' own calls of these go to the real functions, not through the
// program's import table, where they would be counted as the module's.
using RealGetFileAttributes = ImportWrapper<GetFileAttributesA, AnswerGetFileAttributes>;

struct AnswerCreateFile {
    static HANDLE Call(decltype(&CreateFileA) next, LPCSTR path, DWORD access, DWORD share,
                       LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                       HANDLE model) {
        const Step step = OpenStep(path, access, disposition);
        if (step == Step::NewFile) g_answers.newFilePath = path;
        if (step == Step::Read && g_answers.readStarted) SetEvent(g_answers.readStarted);
        if (step == Step::InPlaceOpen && g_answers.beforeInPlaceOpen)
            g_answers.beforeInPlaceOpen(path);
        if (step != Step::Count && Fails(step)) return INVALID_HANDLE_VALUE;
        // Windows truncates a hidden or system file only when asked for the same bits.
        const DWORD existing = RealGetFileAttributes::next(path);
        if (disposition == CREATE_ALWAYS && existing != INVALID_FILE_ATTRIBUTES &&
            (existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~flags)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        return next(path, access, share, security, disposition, flags, model);
    }
};

struct AnswerMoveFileEx {
    static BOOL Call(decltype(&MoveFileExA) next, LPCSTR from, LPCSTR to, DWORD flags) {
        Sleep(g_answers.slowDisk);
        if (Fails(Step::Replace) || !next(from, to, flags)) return FALSE;
        if (g_answers.afterReplace) g_answers.afterReplace(to);
        return TRUE;
    }
};

// A failing write or read, as a full disk or a drive that drops fails it: half
// of the bytes go through at a write's first failure, none at the later ones,
// and half at every failing read. A fault without an error is a disk that
// takes or gives half and reports success.
template <Step step>
struct AnswerPartly {
    template <typename Next, typename Bytes>
    static BOOL Call(Next next, HANDLE file, Bytes data, DWORD length, LPDWORD done,
                     LPOVERLAPPED overlapped) {
        if (step == Step::Write) Sleep(g_answers.slowDisk);
        if (step == Step::Write && g_answers.beforeWrite) g_answers.beforeWrite();
        if (!Fails(step)) return next(file, data, length, done, overlapped);
        const DWORD error = GetLastError();
        const DWORD part = step == Step::ReadBytes || Calls(step) == 1 ? length / 2 : 0;
        const BOOL ok = next(file, data, part, done, overlapped);
        SetLastError(error);
        return error == ERROR_SUCCESS ? ok : FALSE;
    }
};
using RealReadFile = ImportWrapper<ReadFile, AnswerPartly<Step::ReadBytes>>;

struct AnswerSetEndOfFile {
    static BOOL Call(decltype(&SetEndOfFile) next, HANDLE file) {
        Sleep(g_answers.slowDisk);
        if (!Fails(Step::SetEnd)) return next(file);
        const DWORD error = GetLastError();
        LARGE_INTEGER zero{}, here{}, end{};
        SetFilePointerEx(file, zero, &here, FILE_CURRENT);
        SetFilePointerEx(file, zero, &end, FILE_END);
        SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
        std::string& left = g_answers.atFailedCut;
        left.assign(static_cast<size_t>(end.QuadPart), '\0');
        DWORD read = 0;
        RealReadFile::next(file, left.data(), static_cast<DWORD>(left.size()), &read, nullptr);
        left.resize(read);
        SetFilePointerEx(file, here, nullptr, FILE_BEGIN);
        SetLastError(error);
        return FALSE;
    }
};

// A step that fails answers zero: no mutex, no flush.
template <Step step>
struct AnswerZeroWhenFailing {
    template <typename Next, typename... A>
    static auto Call(Next next, A... args) {
        return Fails(step) ? decltype(next(args...)){} : next(args...);
    }
};

struct AnswerGetFileSize {
    static DWORD Call(decltype(&GetFileSize) next, HANDLE file, LPDWORD high) {
        const DWORD low = next(file, high);
        const DWORD error = GetLastError();
        if (Fails(Step::Size) && high) ++*high;
        SetLastError(error);
        return low;
    }
};

struct AnswerGlobalAlloc {
    static HGLOBAL Call(decltype(&GlobalAlloc) next, UINT flags, SIZE_T bytes) {
        const HGLOBAL block = next(flags, bytes);
        if (void* at = block && !(flags & GMEM_ZEROINIT) ? GlobalLock(block) : nullptr) {
            memset(at, 0xCD, bytes);
            GlobalUnlock(block);
        }
        return block;
    }
};

template <auto& function, typename Answer>
WrapperBinding Kernel32(const char* name) {
    return BindingOf<function, Answer>("kernel32.dll", name);
}

// clang-format off
const WrapperBinding kStandIns[] = {
    Kernel32<CreateFileA, AnswerCreateFile>("CreateFileA"),
    Kernel32<MoveFileExA, AnswerMoveFileEx>("MoveFileExA"),
    Kernel32<WriteFile, AnswerPartly<Step::Write>>("WriteFile"),
    Kernel32<SetEndOfFile, AnswerSetEndOfFile>("SetEndOfFile"),
    Kernel32<CreateMutexA, AnswerZeroWhenFailing<Step::Mutex>>("CreateMutexA"),
    Kernel32<GetFileAttributesA, AnswerGetFileAttributes>("GetFileAttributesA"),
    Kernel32<ReadFile, AnswerPartly<Step::ReadBytes>>("ReadFile"),
    Kernel32<GetFileSize, AnswerGetFileSize>("GetFileSize"),
    Kernel32<GlobalAlloc, AnswerGlobalAlloc>("GlobalAlloc"),
    Kernel32<FlushFileBuffers, AnswerZeroWhenFailing<Step::Flush>>("FlushFileBuffers"),
};
// clang-format on

}  // namespace

int& Calls(Step step) {
    return g_answers.calls[static_cast<int>(step)];
}

PlayWindows::PlayWindows(std::initializer_list<Fault> faults) {
    g_answers = {};
    for (const Fault& fault : faults) g_answers.faults[static_cast<int>(fault.step)] = fault;
    for (const WrapperBinding& standIn : kStandIns)
        EXPECT_TRUE(standIn.bindOver(GetModuleHandleA(nullptr), standIn.dll, standIn.name))
            << "this program does not import " << standIn.name;
}

PlayWindows::~PlayWindows() {
    for (const WrapperBinding& standIn : kStandIns) standIn.unbind(GetModuleHandleA(nullptr));
}
