// Strings the library keeps in records that live in the caller's storage: heap
// copies, since the caller's own strings may be gone by the next call.
#pragma once

#include <windows.h>

#include <cstring>

namespace heap_text {

// Null when the heap is out of memory.
inline char* Copy(const char* text) {
    const size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (copy) memcpy(copy, text, size);
    return copy;
}

inline void Free(char* text) {
    if (text) HeapFree(GetProcessHeap(), 0, text);
}

}  // namespace heap_text
