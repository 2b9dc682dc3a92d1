// The host's configuration: an INI file with a section per plug-in, read with
// the platform's profile functions. A picture setting is the picture file's
// path (relative paths count from the configuration's folder) and, under the
// same key followed by "Form", the form LoadImageEx makes of it:
//
//   [Calvorin]
//   Icon=calvorin.bmp
//   IconForm=4
#include <windows.h>

#include <cctype>
#include <cstring>

#include "records/starter_api.h"
#include "starter/heap_text.h"
#include "starter/picture_slots.h"

namespace {

constexpr uint32_t kReaderTag = 0x52474643;  // "CFGR"
// Words of CfgReader; the rest stay zero.
constexpr int kTagWord = 0;
constexpr int kPathWord = 1;     // heap copy of the file's full path
constexpr int kSectionWord = 2;  // heap copy of the section FindSection chose

// Profile functions truncate longer names silently; refuse them instead.
constexpr size_t kLongestName = 255;

bool IsOpen(const CfgReader* reader) {
    return reader && reader->words[kTagWord] == kReaderTag && reader->words[kPathWord];
}

const char* ConfigPath(const CfgReader& reader) {
    return reinterpret_cast<const char*>(reader.words[kPathWord]);
}

const char* Section(const CfgReader& reader) {
    return reinterpret_cast<const char*>(reader.words[kSectionWord]);
}

void DropSection(CfgReader& reader) {
    heap_text::Free(reinterpret_cast<char*>(reader.words[kSectionWord]));
    reader.words[kSectionWord] = 0;
}

bool IsName(const char* name) {
    if (!name) return false;
    const size_t length = strnlen(name, kLongestName + 1);
    return length > 0 && length <= kLongestName;
}

// A section with no keys still counts, so look at the section names, not at
// the section's contents.
bool HasSection(const char* file, const char* section) {
    DWORD size = 4096;
    for (;;) {
        char* names = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
        if (!names) return false;
        const DWORD got = GetPrivateProfileSectionNamesA(names, size, file);
        // A full buffer means the list was cut short.
        const bool whole = got + 2 < size;
        bool found = false;
        for (DWORD at = 0; whole && !found && at < got; at += lstrlenA(names + at) + 1)
            found = lstrcmpiA(names + at, section) == 0;
        HeapFree(GetProcessHeap(), 0, names);
        if (whole || size >= 1u << 24) return found;
        size *= 2;
    }
}

bool IsAbsolute(const char* path) {
    return path[0] == '\\' || path[0] == '/' ||
           (isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':');
}

// full receives the picture's full path; false when it would not fit.
bool ResolveBeside(const char* configPath, const char* value, char (&full)[MAX_PATH]) {
    char joined[2 * MAX_PATH] = "";
    if (!IsAbsolute(value)) {
        const char* slash = strrchr(configPath, '\\');
        const char* other = strrchr(configPath, '/');
        if (other && (!slash || other > slash)) slash = other;
        if (slash) memcpy(joined, configPath, static_cast<size_t>(slash + 1 - configPath));
    }
    lstrcatA(joined, value);  // both parts are shorter than MAX_PATH
    const DWORD length = GetFullPathNameA(joined, MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH;
}

int32_t FormSetting(const char* file, const char* section, const char* key) {
    char formKey[kLongestName + sizeof "Form"];
    lstrcpyA(formKey, key);
    lstrcatA(formKey, "Form");
    const UINT form = GetPrivateProfileIntA(section, formKey, kPictureBitmaps, file);
    switch (form) {
    case kPictureListBitmaps:
    case kPictureImageList:
        return static_cast<int32_t>(form);
    default:
        return kPictureBitmaps;  // also for values we do not know
    }
}

}  // namespace

// configFile is the address of the configuration file's path.
int WINAPI OpenCFGr(DWORD configFile, CfgReader* reader) {
    if (!reader) return 0;
    // The caller's storage arrives uninitialised; later calls trust only the tag.
    *reader = CfgReader{};
    const char* path = reinterpret_cast<const char*>(configFile);
    if (!FileExists(path)) return 0;
    // The profile functions look for a bare name in the Windows folder.
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return 0;
    char* copy = heap_text::Copy(full);
    if (!copy) return 0;
    reader->words[kTagWord] = kReaderTag;
    reader->words[kPathWord] = reinterpret_cast<uint32_t>(copy);
    return 1;
}

// The second argument is the host's; every section is found the same way here.
int WINAPI FindSection(const char* section, int, CfgReader* reader) {
    if (!IsOpen(reader)) return 0;
    DropSection(*reader);
    if (!IsName(section) || !HasSection(ConfigPath(*reader), section)) return 0;
    char* copy = heap_text::Copy(section);
    reader->words[kSectionWord] = reinterpret_cast<uint32_t>(copy);
    return copy ? 1 : 0;
}

// Whatever the record described before is released first, so a record filled
// twice leaks nothing; it is left without a picture (kind 0) until LoadImageEx.
int WINAPI GetCFGPic(const char* key, PictureRecord* picture, CfgReader* reader) {
    if (!picture) return 0;
    FreePicture(picture);
    if (!IsOpen(reader) || !Section(*reader) || !IsName(key)) return 0;
    const char* file = ConfigPath(*reader);
    const char* section = Section(*reader);
    char value[MAX_PATH + 1];
    const DWORD length =
        GetPrivateProfileStringA(section, key, "", value, sizeof value, file);
    // A value that filled the buffer may have been cut short.
    if (length == 0 || length >= MAX_PATH) return 0;
    char full[MAX_PATH];
    if (!ResolveBeside(file, value, full)) return 0;
    char* copy = heap_text::Copy(full);
    if (!copy) return 0;
    picture_slots::Describe(*picture, copy, FormSetting(file, section, key));
    return 1;
}

// Also on a reader that OpenCFGr refused, which holds nothing to release.
int WINAPI CloseCFGr(CfgReader* reader) {
    if (!reader) return 0;
    const bool wasOpen = IsOpen(reader);
    if (wasOpen) {
        DropSection(*reader);
        heap_text::Free(reinterpret_cast<char*>(reader->words[kPathWord]));
    }
    *reader = CfgReader{};
    return wasOpen ? 1 : 0;
}
