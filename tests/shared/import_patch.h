// Redirects imported functions of a loaded module to replacements, the way the
// loader would have bound them. Tests use it to watch the module's calls while
// still passing them on to the real function.
#pragma once

#include <windows.h>

// Rebinds every import slot of the module that holds `from` to `to`; returns
// how many slots it changed.
int RebindImports(HMODULE module, void* from, void* to);

// Returns the address the import was bound to before, or null when the module
// does not import that function from that DLL (or it is patched already).
void* PatchImport(HMODULE module, const char* dllName, const char* function, void* replacement);

// What the module's import of `function` from `dllName` is bound to now,
// whoever bound it; null when the module does not import it.
void* BoundImport(HMODULE module, const char* dllName, const char* function);

// Patches one import for the scope's duration.
struct ScopedImportPatch {
    HMODULE module;
    void* original;
    void* replacement;
    ScopedImportPatch(HMODULE m, const char* dllName, const char* function, void* with)
        : module(m), original(PatchImport(m, dllName, function, with)), replacement(with) {}
    ~ScopedImportPatch() { if (original) RebindImports(module, replacement, original); }
    ScopedImportPatch(const ScopedImportPatch&) = delete;
    ScopedImportPatch& operator=(const ScopedImportPatch&) = delete;
};
