#include "tests/shared/import_patch.h"

int RebindImports(HMODULE module, void* from, void* to) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return 0;

    int changed = 0;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         desc->Name; ++desc) {
        for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
             thunk->u1.Function; ++thunk) {
            if (reinterpret_cast<void*>(thunk->u1.Function) != from) continue;
            DWORD old = 0;
            VirtualProtect(&thunk->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            thunk->u1.Function = reinterpret_cast<DWORD_PTR>(to);
            VirtualProtect(&thunk->u1.Function, sizeof(void*), old, &old);
            ++changed;
        }
    }
    return changed;
}

void* PatchImport(HMODULE module, const char* dllName, const char* function, void* replacement) {
    HMODULE dll = GetModuleHandleA(dllName);
    if (!dll) return nullptr;
    void* target = reinterpret_cast<void*>(GetProcAddress(dll, function));
    if (!target) return nullptr;
    return RebindImports(module, target, replacement) ? target : nullptr;
}
