#include "tips/tips_file.h"

#include <windows.h>

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

// The stamp of the image just written, with the last-write time the writer
// gave it. Nothing is read back from the path: another program's write
// between the swap and a look at the file would be stamped as ours.
TipsFileStamp StampOfWritten(std::string_view image, uint64_t tipsHash,
                             const FILETIME& lastWrite) {
    TipsFileStamp stamp{};
    stamp.fileSize = image.size();
    stamp.lastWrite = Ticks(lastWrite);
    // The time was set just now: a change within the file system's resolution
    // after it could keep it, so the next comparison reads the tips part.
    stamp.takenAt = stamp.lastWrite;
    stamp.tipsLength = TipsPartOf(image).size();
    stamp.tipsHash = tipsHash;
    return stamp;
}

bool NoSuchFile(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Sets the file's last-write time to now through the writing handle. NTFS
// may settle the time only when the handle closes, and the stamp must hold the
// time the file keeps; the rename keeps it too.
bool SetWrittenNow(HANDLE file, FILETIME& lastWrite) {
    GetSystemTimeAsFileTime(&lastWrite);
    return SetFileTime(file, nullptr, nullptr, &lastWrite) != FALSE;
}

// The one name the new text is written under: tips.rc's own with its last
// character turned into '~'. No longer than tips.rc's, it fits wherever that
// does; being always the same, a crash leaves at most this one file, which the
// next save reuses.
std::string SwapName(const char* fullPath) {
    std::string name = fullPath;
    name.back() = name.back() == '~' ? '_' : '~';
    return name;
}

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Opens path as CreateFileA would, trying again while another program holds it.
HANDLE OpenPastBriefHolds(const char* path, DWORD access, DWORD share, DWORD disposition,
                          DWORD attributes) {
    HANDLE file = INVALID_HANDLE_VALUE;
    RetryWhileHeld(HoldErrors::SharingOnly, [&] {
        file = CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    return file;
}

enum class WriteWay { Swap, InPlace, Refuse };

// How tips.rc can be replaced, asked before anything is written. A program
// holding it open without letting it be deleted makes Windows' MoveFileExA
// fail; Wine's replaces it all the same, so the writer asks first. A user who
// may write tips.rc but not delete it (special rights, or a legacy host's
// folder under UAC virtualization) can only have it rewritten in place.
WriteWay ChooseWriteWay(const char* fullPath) {
    const FileHandle probe(OpenPastBriefHolds(
        fullPath, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
        0));
    if (probe.h != INVALID_HANDLE_VALUE) return WriteWay::Swap;
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
        return WriteWay::InPlace;
    case ERROR_FILE_NOT_FOUND:
        return WriteWay::Swap;  // gone meanwhile: written new
    default:
        return WriteWay::Refuse;
    }
}

enum class SwapEnd { Written, FolderRefuses, Failed };

// Writes the image beside tips.rc and moves it over tips.rc in one rename, so a
// failure at any step, or a crash, leaves the old file whole. The new file
// carries tips.rc's hidden and system bits, which the rename keeps.
SwapEnd SwapIn(const char* fullPath, std::string_view image, DWORD keptBits,
               FILETIME& lastWrite) {
    TempFile temp;
    const std::string swapPath = SwapName(fullPath);
    {
        // A crash may have left the file with other bits than tips.rc has now.
        // Windows' CREATE_ALWAYS refuses a hidden or system file unless asked
        // for the same bits, and Wine's keeps an existing file's bits.
        const DWORD attributes = keptBits ? keptBits : FILE_ATTRIBUTE_NORMAL;
        const DWORD stray = GetFileAttributesA(swapPath.c_str());
        if (stray != INVALID_FILE_ATTRIBUTES &&
            (stray & (kKeptAttributes | FILE_ATTRIBUTE_READONLY)) != keptBits)
            SetFileAttributesA(swapPath.c_str(), attributes);
        FileHandle file(
            OpenPastBriefHolds(swapPath.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, attributes));
        if (file.h == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_ACCESS_DENIED ? SwapEnd::FolderRefuses
                                                         : SwapEnd::Failed;
        temp.path = swapPath;
        if (!WriteAndFlush(file.h, image) || !SetWrittenNow(file.h, lastWrite))
            return SwapEnd::Failed;
    }
    // A scanner's handle on tips.rc makes the rename fail with 32 or 5 for a
    // moment; the new file waits for it.
    if (!RetryWhileHeld(HoldErrors::SharingOrDenied, [&] {
            return MoveFileExA(temp.path.c_str(), fullPath,
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        }))
        return SwapEnd::Failed;
    // cppcheck-suppress unreadVariable ; TempFile's destructor reads it
    temp.keep = true;
    return SwapEnd::Written;
}

bool SetLength(HANDLE file, uint64_t length) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(length);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// Writes bytes from the file's start: one call, every byte, flushed.
bool WriteFromStart(HANDLE file, std::string_view bytes) {
    LARGE_INTEGER start;
    start.QuadPart = 0;
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && WriteAndFlush(file, bytes);
}

// All of the file's bytes, or false.
bool ReadEveryByte(HANDLE file, GlobalBuffer& bytes, DWORD& size) {
    DWORD high = 0;
    size = GetFileSize(file, &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high) return false;
    bytes.h = GlobalAlloc(GMEM_FIXED, size_t{size} + 1);
    DWORD read = 0;
    return bytes.h && ReadFile(file, bytes.h, size, &read, nullptr) && read == size;
}

// Rewrites tips.rc over its old text, for a folder that takes no new file or a
// tips.rc that may not be deleted. The old bytes are held first, and the file
// grows to its new length before any byte changes, so a full disk fails while
// the old text is whole; a write that fails later puts the old bytes back.
bool RewriteInPlace(const char* fullPath, const std::string& image, FILETIME& lastWrite) {
    const FileHandle file(OpenPastBriefHolds(fullPath, GENERIC_READ | GENERIC_WRITE, 0,
                                             OPEN_EXISTING, 0));
    if (file.h == INVALID_HANDLE_VALUE) return false;
    GlobalBuffer old(nullptr);
    DWORD oldSize = 0;
    if (!ReadEveryByte(file.h, old, oldSize)) return false;

    // A shorter text goes with the zero byte that ends every std::string's
    // characters: should the writer die before the cut, the reader's text ends
    // where the new one does.
    const bool shrinks = image.size() < oldSize;
    const std::string_view bytes(image.c_str(), image.size() + (shrinks ? 1 : 0));
    if ((image.size() <= oldSize || SetLength(file.h, image.size())) &&
        WriteFromStart(file.h, bytes) &&
        (!shrinks || (SetLength(file.h, image.size()) && FlushFileBuffers(file.h))) &&
        SetWrittenNow(file.h, lastWrite))
        return true;

    const DWORD error = GetLastError();
    if (WriteFromStart(file.h, std::string_view(static_cast<const char*>(old.h), oldSize)) &&
        SetLength(file.h, oldSize))
        FlushFileBuffers(file.h);
    SetLastError(error);
    return false;
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
    stamp.notShown = NotShownTextOf(text, size, lines);
    // Without tips the list keeps no block, so the buffer goes and what it
    // holds of the tips part is hashed now.
    const bool kept = lines.counterLine && !lines.tips.empty();
    StampTipsPart(stamp, text, size, lines, kept);
    if (!kept) {
        list.ReplaceAll({});
        return lines.counterLine ? TipsReadResult::Read : TipsReadResult::NoTipsOrFault;
    }
    list.TakeBlock(text, size_t{size} + 1, FreeReadBuffer, std::move(lines.tips));
    buffer.h = nullptr;
    return TipsReadResult::Read;
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
    // byte after them. GlobalAlloc's GPTR block is fixed, and its handle is its
    // address, so StoreTips uses the handle as the text's pointer to cut it up.
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
    // Wine's MoveFileExA replaces a read-only file.
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

    const DWORD keptBits = exists ? attributes & kKeptAttributes : 0;
    WriteWay way = exists ? ChooseWriteWay(fullPath) : WriteWay::Swap;
    FILETIME lastWrite{};
    if (way == WriteWay::Swap) {
        // Once the swap has started, a failure never falls back to writing in place.
        switch (SwapIn(fullPath, image, keptBits, lastWrite)) {
        case SwapEnd::Written:
            break;
        case SwapEnd::FolderRefuses:
            way = WriteWay::InPlace;
            break;
        case SwapEnd::Failed:
            return TipsWriteResult::NotWritten;
        }
    }
    if (way == WriteWay::Refuse ||
        (way == WriteWay::InPlace && !RewriteInPlace(fullPath, image, lastWrite)))
        return TipsWriteResult::NotWritten;
    stamp = StampOfWritten(image, tipsHash, lastWrite);
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
