// Redirects one imported function of a loaded module to a replacement, the way
// the loader would have bound it. Tests use it to watch the module's calls while
// still passing them on to the real function.
#pragma once

#include <windows.h>

// Returns the address the import was bound to before, or null when the module
// does not import that function from that DLL.
void* PatchImport(HMODULE module, const char* dllName, const char* function, void* replacement);
