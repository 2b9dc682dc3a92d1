// Reads and rebinds the import slots of a loaded module, the way the loader
// would have bound them; the import wrapper builds on these two.
#pragma once

#include <windows.h>

// Rebinds every import slot of the module that holds `from` to `to`; returns
// how many slots it changed.
int RebindImports(HMODULE module, void* from, void* to);

// What the module's import of `function` from `dllName` is bound to now,
// whoever bound it; null when the module does not import it.
void* BoundImport(HMODULE module, const char* dllName, const char* function);
