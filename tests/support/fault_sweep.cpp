#include "tests/support/fault_sweep.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "tests/shared/import_patch.h"

namespace {

FaultPlan g_plan;
bool g_armed;
int g_calls;
int g_failed;

bool Fails(CallKind kind) {
    if (!g_armed || kind != g_plan.kind) return false;
    const int call = ++g_calls;
    if (call < g_plan.failAt || (call > g_plan.failAt && !g_plan.persistent)) return false;
    ++g_failed;
    // What Windows answers when its own memory, or the process's, runs out.
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return true;
}

struct Binding {
    const char* dll;
    const char* name;
    void* standIn;
    void** next;  // what the slot held, which the stand-in passes calls on to
};
std::vector<Binding> g_bindings;

template <typename R>
R As(intptr_t value) {
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(value);
    else
        return static_cast<R>(value);
}

template <auto& function, CallKind kind, intptr_t failure, typename Fn = decltype(&function)>
struct StandIn;
template <auto& function, CallKind kind, intptr_t failure, typename R, typename... A>
struct StandIn<function, kind, failure, R(WINAPI*)(A...)> {
    static inline R(WINAPI* next)(A...);
    static R WINAPI Call(A... args) { return Fails(kind) ? As<R>(failure) : next(args...); }
};

template <auto& function, CallKind kind, intptr_t failure = 0>
Binding Bind(const char* dll, const char* name) {
    using S = StandIn<function, kind, failure>;
    return {dll, name, reinterpret_cast<void*>(&S::Call), reinterpret_cast<void**>(&S::next)};
}

// The C runtime's allocators are cdecl; operator new reaches malloc.
void* (*g_malloc)(size_t);
void* (*g_calloc)(size_t, size_t);
void* (*g_realloc)(void*, size_t);
void* FailingMalloc(size_t size) {
    return Fails(CallKind::Memory) ? nullptr : g_malloc(size);
}
void* FailingCalloc(size_t count, size_t size) {
    return Fails(CallKind::Memory) ? nullptr : g_calloc(count, size);
}
void* FailingRealloc(void* block, size_t size) {
    return Fails(CallKind::Memory) ? nullptr : g_realloc(block, size);
}

constexpr CallKind kFile = CallKind::File;
constexpr CallKind kWindow = CallKind::Window;
constexpr intptr_t kAllBits = -1;  // INVALID_HANDLE_VALUE, INVALID_FILE_SIZE, ...

std::vector<Binding> AllBindings() {
    return {
        {"msvcrt.dll", "malloc", reinterpret_cast<void*>(&FailingMalloc),
         reinterpret_cast<void**>(&g_malloc)},
        {"msvcrt.dll", "calloc", reinterpret_cast<void*>(&FailingCalloc),
         reinterpret_cast<void**>(&g_calloc)},
        {"msvcrt.dll", "realloc", reinterpret_cast<void*>(&FailingRealloc),
         reinterpret_cast<void**>(&g_realloc)},
        // The read, the comparison and the save.
        Bind<CreateFileA, kFile, kAllBits>("kernel32.dll", "CreateFileA"),
        Bind<ReadFile, kFile>("kernel32.dll", "ReadFile"),
        Bind<GetFileSize, kFile, kAllBits>("kernel32.dll", "GetFileSize"),
        Bind<GlobalAlloc, kFile>("kernel32.dll", "GlobalAlloc"),
        Bind<WriteFile, kFile>("kernel32.dll", "WriteFile"),
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

const char* CallKindName(CallKind kind) {
    static const char* const kNames[] = {"memory", "file", "window"};
    return kNames[static_cast<int>(kind)];
}

FailingCalls::FailingCalls(HMODULE module) : module_(module) {
    Disarm();
    g_bindings = AllBindings();
    for (Binding& binding : g_bindings) {
        *binding.next = BoundImport(module, binding.dll, binding.name);
        EXPECT_TRUE(*binding.next) << "the module does not import " << binding.name;
        if (*binding.next) RebindImports(module, *binding.next, binding.standIn);
    }
}

FailingCalls::~FailingCalls() {
    Disarm();
    for (const Binding& binding : g_bindings)
        if (*binding.next) RebindImports(module_, binding.standIn, *binding.next);
}

void FailingCalls::Arm(FaultPlan plan) {
    g_plan = plan;
    g_calls = 0;
    g_failed = 0;
    g_armed = true;
}

void FailingCalls::Disarm() {
    g_armed = false;
}

int FailingCalls::Calls() {
    return g_calls;
}

int FailingCalls::Failed() {
    return g_failed;
}

void FailingCalls::ModuleUnloaded() {
    Disarm();
    g_bindings.clear();
}
