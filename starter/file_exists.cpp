#include <windows.h>

#include <cstring>

#include "records/starter_api.h"

// A folder is not a file: the host asks so before it opens a path for reading.
int WINAPI FileExists(const char* path) {
    if (!path) return 0;
    const size_t length = strnlen(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
