#include "tips/tips_file.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tips/brief_holds.h"
#include "tips/tips_text.h"

namespace {

struct FileHandle {
    HANDLE h;
    explicit FileHandle(HANDLE handle) : h(handle) {}
    ~FileHandle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

struct GlobalBuffer {
    HGLOBAL h;
    explicit GlobalBuffer(HGLOBAL memory) : h(memory) {}
    ~GlobalBuffer() { Free(); }
    void Free() {
        if (h) GlobalFree(h);
        h = nullptr;
    }
    GlobalBuffer(const GlobalBuffer&) = delete;
    GlobalBuffer& operator=(const GlobalBuffer&) = delete;
};

// Deletes a file at scope exit unless it was handed on.
struct TempFile {
    std::string path;
    bool keep = false;
    ~TempFile() { if (!path.empty() && !keep) DeleteFileA(path.c_str()); }
};

// The file's bytes in a zero-filled buffer one byte longer than the file, so a
// zero byte always ends the text; null when the size, the buffer or the read fails.
HGLOBAL ReadWholeFile(HANDLE file, DWORD& size) {
    size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE) return nullptr;
    GlobalBuffer buffer(GlobalAlloc(GPTR, size_t{size} + 1));
    if (!buffer.h) return nullptr;
    DWORD read = 0;
    // The buffer starts zeroed, so a short read ends the text where it stopped.
    if (!ReadFile(file, buffer.h, size, &read, nullptr)) return nullptr;
    HGLOBAL bytes = buffer.h;
    buffer.h = nullptr;
    return bytes;
}

// Writes every byte or reports failure: TRUE alone does not promise the count.
bool WriteAndFlush(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushFileBuffers(file);
}

// The folder part of a full path, separator included.
std::string FolderOf(const std::string& fullPath) {
    const size_t slash = fullPath.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : fullPath.substr(0, slash + 1);
}

uint64_t Ticks(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

uint64_t Size(DWORD high, DWORD low) {
    return (uint64_t{high} << 32) | low;
}

// The file's size and last-write time as the reader's open handle sees them.
// The reader's sharing keeps writers out while the handle is open, so they
// agree with the text read, and any later change comes after the moment taken.
void StampSizeAndTime(HANDLE file, DWORD size, TipsFileStamp& stamp) {
    FILETIME lastWrite;
    if (!GetFileTime(file, nullptr, nullptr, &lastWrite)) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    stamp.fileSize = size;
    stamp.lastWrite = Ticks(lastWrite);
    stamp.takenAt = Ticks(now);
}

// Opens the file to read and takes its bytes as ReadWholeFile does, waiting
// for a program that holds it for a moment; a byte-range lock answers only
// the read. The stamp gets the size and time the open handle sees. Null with
// the last error kept when the file could not be opened (opened is false) or read.
HGLOBAL ReadHeldFile(const char* path, DWORD& size, bool& opened, TipsFileStamp& stamp) {
    HGLOBAL bytes = nullptr;
    RetryWhileHeld(HoldErrors::SharingOnly, [&] {
        DWORD error;
        {
            const FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
            opened = file.h != INVALID_HANDLE_VALUE;
            if (opened) {
                bytes = ReadWholeFile(file.h, size);
                if (bytes) StampSizeAndTime(file.h, size, stamp);
            }
            error = GetLastError();
        }
        SetLastError(error);
        return bytes != nullptr;
    });
    return bytes;
}

// FAT keeps last-write times to 2 s, so a change made within 2 s of the stamp
// can leave the stamped time as it was; then only the bytes tell.
constexpr uint64_t kTimeResolution = 2 * 10000000ull;  // FILETIME ticks

bool StampedTimeTellsChanges(const TipsFileStamp& stamp) {
    return stamp.lastWrite + kTimeResolution <= stamp.takenAt ||
           stamp.takenAt + kTimeResolution <= stamp.lastWrite;
}

// The stamp of the image just written to the file at path.
TipsFileStamp StampOfWritten(const char* path, std::string_view image, uint64_t tipsHash) {
    TipsFileStamp stamp{};
    stamp.tipsLength = TipsPartOf(image).size();
    stamp.tipsHash = tipsHash;
    WIN32_FILE_ATTRIBUTE_DATA now;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &now)) {
        stamp.fileSize = Size(now.nFileSizeHigh, now.nFileSizeLow);
        stamp.lastWrite = Ticks(now.ftLastWriteTime);
    }
    return stamp;
}

bool NoSuchFile(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A name of the module's own for the new text: "~t" and four hex digits. Six
// characters are fewer than "tips.rc" has, so every folder in which tips.rc's
// path fits holds this one too; GetTempFileNameA would demand 14 to spare.
std::string SwapName(const std::string& folder, unsigned number) {
    char name[8];
    snprintf(name, sizeof name, "~t%04X", number & 0xFFFFu);
    return folder + name;
}

enum class SwapStart { Created, FolderRefuses, Failed };

// Creates the new file for the swap under a free name. A name that some file
// already has only moves on to the next number; a folder that denies new files
// is told apart.
SwapStart CreateSwapFile(const std::string& folder, FileHandle& file, TempFile& temp) {
    const unsigned first = GetTickCount() * 31 + GetCurrentProcessId();
    for (unsigned number = first; number != first + 64; ++number) {
        const std::string path = SwapName(folder, number);
        file.h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.h != INVALID_HANDLE_VALUE) {
            temp.path = path;
            return SwapStart::Created;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) return SwapStart::FolderRefuses;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return SwapStart::Failed;
    }
    return SwapStart::Failed;
}

// Whether some program holds the file open without letting it be renamed or
// deleted. Windows' MoveFileExA refuses to replace such a file; Wine's
// replaces it all the same, so the writer asks first.
bool HeldOpenByAnother(const char* fullPath) {
    const FileHandle probe(CreateFileA(fullPath, DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    return probe.h == INVALID_HANDLE_VALUE;
}

// What the plain writer does: the whole image in one write over the old text.
// Only for a folder that takes no new file, as a failure here can leave the
// file cut short.
bool RewriteInPlace(const char* fullPath, std::string_view image) {
    FileHandle file(CreateFileA(fullPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.h != INVALID_HANDLE_VALUE && WriteAndFlush(file.h, image);
}

// The list gives the read buffer back through this once it lets the tips go.
void FreeReadBuffer(char* block) {
    GlobalFree(block);
}

// Cuts the text in the buffer into the list's tips, the counter line skipped.
// The tips stay in the buffer, which the list takes over: a copy of each would
// cost a heap block per tip and double the memory a large file needs. A failure
// leaves the list as it was. The stamp learns the tips part.
TipsReadResult StoreTips(GlobalBuffer& buffer, DWORD size, TipsListStore& list,
                         TipsFileStamp& stamp) {
    char* text = static_cast<char*>(buffer.h);
    if (!text) {
        list.ReplaceAll({});
        return TipsReadResult::NoTipsOrFault;
    }
    CutLines lines = CutTipsLines(text, size);
    stamp.tipsLength = CutTipsPartLength(size, lines);
    stamp.notShown = NotShownTextOf(text, size, lines);
    if (!lines.counterLine || lines.tips.empty()) {
        // The buffer goes: what it holds of the tips part is hashed now.
        stamp.tipsHash = HashCutTipsPart(text, size, lines);
        list.ReplaceAll({});
        return lines.counterLine ? TipsReadResult::Read : TipsReadResult::NoTipsOrFault;
    }
    stamp.readText = text;
    stamp.readSize = size;
    stamp.readFirstLineEnd = static_cast<uint32_t>(lines.firstLineEnd);
    stamp.readTextEnd = static_cast<uint32_t>(lines.textEnd);
    list.TakeBlock(text, size_t{size} + 1, FreeReadBuffer, std::move(lines.tips));
    buffer.h = nullptr;
    return TipsReadResult::Read;
}

// The stamp's hash, taken now from the text the list keeps if the read left it
// pending. False when the list no longer holds that text.
bool StampedHash(const TipsFileStamp& stamp, const TipsListStore& list, uint64_t& hash) {
    if (!stamp.readText) {
        hash = stamp.tipsHash;
        return true;
    }
    if (list.Block() != stamp.readText) return false;
    CutLines cut;
    cut.firstLineEnd = stamp.readFirstLineEnd;
    cut.textEnd = stamp.readTextEnd;
    hash = HashCutTipsPart(stamp.readText, stamp.readSize, cut);
    return true;
}

}  // namespace

TipsReadResult ReadTipsFrom(const char* path, TipsListStore& list, TipsFileStamp& stamp) {
    TipsFileStamp read{};
    bool opened = false;
    DWORD size = 0;
    GlobalBuffer buffer(ReadHeldFile(path, size, opened, read));
    if (!opened) {
        // The list and what the stamp says of it stay as they were.
        stamp.unread = true;
        return TipsReadResult::NotOpened;
    }
    stamp = read;
    stamp.unread = !buffer.h;
    // Here the size bytes in the buffer are exactly what the file held, a zero
    // byte after them; GPTR memory is its own pointer. StoreTips cuts them up.
    try {
        return StoreTips(buffer, size, list, stamp);
    } catch (const std::exception&) {
        stamp = {};  // the list was left as it was: the file is compared in full
        stamp.unread = true;
        return TipsReadResult::NoTipsOrFault;
    }
}

TipsWriteResult WriteTipsTo(const char* path, const TipsListStore& list, TipsFileStamp& stamp) {
    char fullPath[MAX_PATH];
    const DWORD fullLength = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    if (fullLength == 0 || fullLength >= MAX_PATH) return TipsWriteResult::NotWritten;

    // Checked here, as Windows would refuse the swap and the in-place write:
    // Wine's MoveFileExA replaces a read-only file and its CREATE_ALWAYS
    // truncates one.
    const DWORD attributes = GetFileAttributesA(fullPath);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return TipsWriteResult::NotWritten;

    std::string image;
    uint64_t tipsHash;
    try {
        image = BuildTipsImage(list, tipsHash);
    } catch (const std::exception&) {
        return TipsWriteResult::ImageFailed;
    }

    // The new text goes to a file beside the target and is swapped in whole, so
    // a failure at any step leaves the old file as it was. Once that has
    // started, a failure never falls back to writing in place.
    TempFile temp;
    {
        FileHandle file(INVALID_HANDLE_VALUE);
        switch (CreateSwapFile(FolderOf(fullPath), file, temp)) {
        case SwapStart::Created:
            break;
        case SwapStart::FolderRefuses:
            if (!RewriteInPlace(fullPath, image)) return TipsWriteResult::NotWritten;
            stamp = StampOfWritten(fullPath, image, tipsHash);
            return TipsWriteResult::Written;
        case SwapStart::Failed:
            return TipsWriteResult::NotWritten;
        }
        if (!WriteAndFlush(file.h, image)) return TipsWriteResult::NotWritten;
    }

    if (exists && HeldOpenByAnother(fullPath)) return TipsWriteResult::NotWritten;
    if (!MoveFileExA(temp.path.c_str(), fullPath,
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return TipsWriteResult::NotWritten;
    // cppcheck-suppress unreadVariable ; TempFile's destructor reads it
    temp.keep = true;
    stamp = StampOfWritten(fullPath, image, tipsHash);
    return TipsWriteResult::Written;
}

TipsFileChange CompareTipsFile(const char* path, const TipsFileStamp& stamp,
                               const TipsListStore& list, TipsFileStamp& seen) {
    seen = {};
    WIN32_FILE_ATTRIBUTE_DATA now;
    if (!RetryWhileHeld(HoldErrors::SharingOnly, [&] {
            return GetFileAttributesExA(path, GetFileExInfoStandard, &now) != FALSE;
        }))
        return NoSuchFile(GetLastError()) ? TipsFileChange::Vanished : TipsFileChange::Unreadable;
    if (StampedTimeTellsChanges(stamp) &&
        Size(now.nFileSizeHigh, now.nFileSizeLow) == stamp.fileSize &&
        Ticks(now.ftLastWriteTime) == stamp.lastWrite)
        return TipsFileChange::Unchanged;

    bool opened = false;
    DWORD size = 0;
    const GlobalBuffer buffer(ReadHeldFile(path, size, opened, seen));
    if (!buffer.h)
        return NoSuchFile(GetLastError()) ? TipsFileChange::Vanished : TipsFileChange::Unreadable;
    const std::string_view tips =
        TipsPartOf(std::string_view(static_cast<const char*>(buffer.h), size));
    seen.tipsLength = tips.size();
    seen.tipsHash = HashTipsText(tips);
    uint64_t stamped = 0;
    return tips.size() == stamp.tipsLength && StampedHash(stamp, list, stamped) &&
                   seen.tipsHash == stamped
               ? TipsFileChange::Unchanged
               : TipsFileChange::TipsChanged;
}
