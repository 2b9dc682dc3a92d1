#include "tests/support/fault_sweep.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "tests/shared/import_wrapper.h"

bool FailingCalls::Fails(CallKind kind) {
    if (!armed_ || kind != plan_.kind) return false;
    const int call = ++calls_;
    if (call < plan_.failAt || (call > plan_.failAt && !plan_.persistent)) return false;
    ++failed_;
    // What Windows answers when its own memory, or the process's, runs out.
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return true;
}

namespace {

constexpr CallKind kMemory = CallKind::Memory;
constexpr CallKind kFile = CallKind::File;
constexpr CallKind kWindow = CallKind::Window;
constexpr intptr_t kAllBits = -1;  // INVALID_HANDLE_VALUE, INVALID_FILE_SIZE, WAIT_FAILED, ...

template <typename R>
R As(intptr_t value) {
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(value);
    else
        return static_cast<R>(value);
}

// Answers `failure` when the plan fails the call, else passes it on.
template <CallKind kind, intptr_t failure>
struct FailWith {
    template <typename Next, typename... A>
    static auto Call(Next next, A... args) {
        using R = decltype(next(args...));
        return FailingCalls::Fails(kind) ? As<R>(failure) : next(args...);
    }
};

std::vector<WrapperBinding> g_bindings;

template <auto& function, CallKind kind, intptr_t failure = 0>
WrapperBinding Bind(const char* dll, const char* name) {
    return BindingOf<function, FailWith<kind, failure>>(dll, name);
}

// A network drive that drops in the middle of a save: the first half of the
// bytes lands, then the share is gone.
struct DropsMidWrite {
    static BOOL Call(decltype(&WriteFile) next, HANDLE file, LPCVOID bytes, DWORD size,
                     LPDWORD written, LPOVERLAPPED overlapped) {
        if (!FailingCalls::Fails(kFile)) return next(file, bytes, size, written, overlapped);
        next(file, bytes, size / 2, written, overlapped);
        SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
};

std::vector<WrapperBinding> AllBindings() {
    return {
        // The C runtime's allocators; operator new reaches malloc.
        Bind<malloc, kMemory>("msvcrt.dll", "malloc"),
        Bind<calloc, kMemory>("msvcrt.dll", "calloc"),
        Bind<realloc, kMemory>("msvcrt.dll", "realloc"),
        // The read, the comparison and the save.
        Bind<CreateFileA, kFile, kAllBits>("kernel32.dll", "CreateFileA"),
        Bind<ReadFile, kFile>("kernel32.dll", "ReadFile"),
        Bind<GetFileSize, kFile, kAllBits>("kernel32.dll", "GetFileSize"),
        Bind<GlobalAlloc, kFile>("kernel32.dll", "GlobalAlloc"),
        BindingOf<WriteFile, DropsMidWrite>("kernel32.dll", "WriteFile"),
        Bind<SetFilePointerEx, kFile>("kernel32.dll", "SetFilePointerEx"),
        Bind<SetEndOfFile, kFile>("kernel32.dll", "SetEndOfFile"),
        Bind<FlushFileBuffers, kFile>("kernel32.dll", "FlushFileBuffers"),
        Bind<MoveFileExA, kFile>("kernel32.dll", "MoveFileExA"),
        Bind<DeleteFileA, kFile>("kernel32.dll", "DeleteFileA"),
        Bind<GetFileAttributesA, kFile, kAllBits>("kernel32.dll", "GetFileAttributesA"),
        Bind<SetFileAttributesA, kFile>("kernel32.dll", "SetFileAttributesA"),
        Bind<GetFileInformationByHandle, kFile>("kernel32.dll", "GetFileInformationByHandle"),
        Bind<GetFullPathNameA, kFile>("kernel32.dll", "GetFullPathNameA"),
        Bind<CreateMutexA, kFile>("kernel32.dll", "CreateMutexA"),
        Bind<OpenMutexA, kFile>("kernel32.dll", "OpenMutexA"),
        Bind<WaitForSingleObject, kFile, kAllBits>("kernel32.dll", "WaitForSingleObject"),
        // The count of a file's names is looked up in ntdll.dll.
        Bind<GetProcAddress, kFile>("kernel32.dll", "GetProcAddress"),
        // Windows, dialogs, menus, boxes, hooks, icons, image lists and GDI.
        Bind<RegisterClassA, kWindow>("user32.dll", "RegisterClassA"),
        Bind<CreateWindowExA, kWindow>("user32.dll", "CreateWindowExA"),
        Bind<DialogBoxParamA, kWindow, -1>("user32.dll", "DialogBoxParamA"),
        Bind<CreatePopupMenu, kWindow>("user32.dll", "CreatePopupMenu"),
        Bind<AppendMenuA, kWindow>("user32.dll", "AppendMenuA"),
        Bind<TrackPopupMenuEx, kWindow>("user32.dll", "TrackPopupMenuEx"),
        Bind<MessageBoxA, kWindow>("user32.dll", "MessageBoxA"),
        Bind<SetWindowsHookExA, kWindow>("user32.dll", "SetWindowsHookExA"),
        Bind<CreateIconIndirect, kWindow>("user32.dll", "CreateIconIndirect"),
        Bind<LoadImageA, kWindow>("user32.dll", "LoadImageA"),
        Bind<GetDC, kWindow>("user32.dll", "GetDC"),
        Bind<ImageList_Create, kWindow>("comctl32.dll", "ImageList_Create"),
        Bind<ImageList_Add, kWindow, -1>("comctl32.dll", "ImageList_Add"),
        Bind<ImageList_GetIcon, kWindow>("comctl32.dll", "ImageList_GetIcon"),
        Bind<SelectObject, kWindow>("gdi32.dll", "SelectObject"),
        Bind<GetTextMetricsA, kWindow>("gdi32.dll", "GetTextMetricsA"),
        Bind<GetCharWidth32A, kWindow>("gdi32.dll", "GetCharWidth32A"),
        Bind<GetTextExtentPoint32A, kWindow>("gdi32.dll", "GetTextExtentPoint32A"),
        Bind<GetTextExtentPoint32W, kWindow>("gdi32.dll", "GetTextExtentPoint32W"),
    };
}

}  // namespace

FailingCalls::FailingCalls(HMODULE module) : module_(module) {
    Disarm();
    g_bindings = AllBindings();
    for (const WrapperBinding& binding : g_bindings)
        EXPECT_TRUE(binding.bindOver(module, binding.dll, binding.name))
            << "the module does not import " << binding.name;
}

FailingCalls::~FailingCalls() {
    Disarm();
    for (const WrapperBinding& binding : g_bindings) binding.unbind(module_);
}

void FailingCalls::ModuleUnloaded() {
    Disarm();
    g_bindings.clear();
}
