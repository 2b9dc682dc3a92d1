#include "tips/tips_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tips/brief_holds.h"
#include "tips/tips_text.h"
#include "win/handles.h"

namespace {

// False when the size cannot be had or is 4 GB or more.
bool SizeBelow4Gb(HANDLE file, DWORD& size) {
    DWORD high = 0;
    size = GetFileSize(file, &high);
    return !(size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && !high;
}

bool ReadExactly(HANDLE file, char* bytes, DWORD size) {
    DWORD read = 0;
    return ReadFile(file, bytes, size, &read, nullptr) && read == size;
}

// Every byte of the file, a zero byte after them so that one always ends the
// text; null when its size (4 GB or more) or the memory cannot be had, or the
// read fails or comes up short. Every caller's handle lets no other program
// write meanwhile, so a short read is a failing disk, never a file changing.
HGLOBAL ReadWholeFile(HANDLE file, DWORD& size) {
    if (!SizeBelow4Gb(file, size)) return nullptr;
    GlobalBuffer buffer(GlobalAlloc(GMEM_FIXED, size_t{size} + 1));
    if (!buffer.Get() || !ReadExactly(file, buffer.Bytes(), size)) return nullptr;
    buffer.Bytes()[size] = '\0';
    return buffer.Release();
}

// Writes every byte or reports failure: TRUE alone does not promise the count.
bool WriteAndFlush(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushFileBuffers(file);
}

// Opens the file to read and takes its bytes as ReadWholeFile does, waiting
// for a program that holds it for a moment; a byte-range lock answers only
// the read. Null with the last error kept when the file could not be opened
// (opened is false) or read.
HGLOBAL ReadHeldFile(const char* path, const WaitBudget& budget, DWORD& size, bool& opened) {
    HGLOBAL bytes = nullptr;
    RetryWhileHeld(HoldErrors::SharingOnly, budget, [&] {
        DWORD error;
        {
            const Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
            opened = file.Valid();
            if (opened) bytes = ReadWholeFile(file.Get(), size);
            error = GetLastError();
        }
        SetLastError(error);
        return bytes != nullptr;
    });
    return bytes;
}

// The stamp of the image just written. Nothing is read back from the path:
// another program's write between the swap and a look at the file would be
// stamped as ours.
TipsFileStamp StampOfWritten(std::string_view image, uint64_t tipsHash) {
    TipsFileStamp stamp{};
    stamp.tipsLength = TipsPartOf(image).size();
    stamp.tipsHash = tipsHash;
    return stamp;
}

bool NoSuchFile(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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
                          DWORD attributes, HoldErrors holds, const WaitBudget& budget) {
    HANDLE file = INVALID_HANDLE_VALUE;
    RetryWhileHeld(holds, budget, [&] {
        file = CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    return file;
}

enum class WriteWay { Swap, InPlace, Refuse };

// The file's record as NtQueryInformationFile gives it for FileStandardInformation
// (5), which winternl.h documents; ntdll.dll exports it on every Windows NT.
struct FileStandardRecord {
    LARGE_INTEGER allocationSize;
    LARGE_INTEGER endOfFile;
    ULONG numberOfLinks;
    BOOLEAN deletePending;
    BOOLEAN directory;
};
struct IoStatus {
    ULONG_PTR status;
    ULONG_PTR information;
};
static_assert(sizeof(FileStandardRecord) == 24 && sizeof(IoStatus) == 8,
              "the layouts of the 32-bit records");
using QueryInformationFileFn = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
constexpr int kFileStandardInformation = 5;

// How many names the open file has. One query of the file's own record:
// GetFileInformationByHandle also asks the volume for its serial number,
// which costs a save on Wine as much as writing a small tips.rc. 1 when
// neither can tell.
ULONG NamesOf(HANDLE file) {
    const auto query = reinterpret_cast<QueryInformationFileFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
    FileStandardRecord record{};
    IoStatus io{};
    if (query && query(file, &io, &record, sizeof record, kFileStandardInformation) >= 0)
        return record.numberOfLinks;
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(file, &info) ? info.nNumberOfLinks : 1;
}

// How tips.rc can be replaced, asked before anything is written. A program
// holding it open without letting it be deleted makes Windows' MoveFileExA
// fail; Wine's replaces it all the same, so the writer asks first. A user who
// may write tips.rc but not delete it (special rights, or a legacy host's
// folder under UAC virtualization) can only have it rewritten in place. So
// can a tips.rc that is a link: a rename replaces the name, not the file, and
// would leave its other names (a hard link's, a symbolic link's target) with
// the old tips, and the file's permissions, owner and streams behind.
WriteWay ChooseWriteWay(const char* fullPath, DWORD attributes, const WaitBudget& budget) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return WriteWay::InPlace;
    const Handle probe(OpenPastBriefHolds(fullPath, DELETE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          OPEN_EXISTING, 0, HoldErrors::SharingOnly, budget));
    if (probe.Valid()) return NamesOf(probe.Get()) > 1 ? WriteWay::InPlace : WriteWay::Swap;
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
        return WriteWay::InPlace;
    case ERROR_FILE_NOT_FOUND:
        return WriteWay::Swap;  // gone meanwhile: written new
    default:
        return WriteWay::Refuse;
    }
}

enum class SwapResult {
    Swapped,
    FolderTakesNoNewFile,  // nothing was written; only the folder was in the way
    Failed,                // tips.rc is as it was
};

// Writes the image beside tips.rc and moves it over tips.rc in one rename, so a
// failure at any step, or a crash, leaves the old file whole. The new file
// carries tips.rc's hidden and system bits, which the rename keeps.
SwapResult SwapIn(const char* fullPath, std::string_view image, DWORD keptBits,
                  const WaitBudget& budget) {
    TempFile temp;
    const std::string swapPath = SwapName(fullPath);
    {
        const DWORD stray = GetFileAttributesA(swapPath.c_str());
        // A file still pending deletion answers "access denied" where others
        // answer "not found": its name is taken too.
        const bool nameTaken = stray != INVALID_FILE_ATTRIBUTES || !NoSuchFile(GetLastError());
        // The module never makes its file read-only: one that is belongs to
        // someone else, and its bit is not ours to clear.
        if (stray != INVALID_FILE_ATTRIBUTES && (stray & FILE_ATTRIBUTE_READONLY))
            return SwapResult::Failed;
        // A crash may have left the file with other bits than tips.rc has now.
        // Windows' CREATE_ALWAYS refuses a hidden or system file unless asked
        // for the same bits, and Wine's keeps an existing file's bits.
        const DWORD attributes = keptBits ? keptBits : FILE_ATTRIBUTE_NORMAL;
        if (stray != INVALID_FILE_ATTRIBUTES && !(stray & FILE_ATTRIBUTE_DIRECTORY) &&
            (stray & kKeptAttributes) != keptBits)
            SetFileAttributesA(swapPath.c_str(), attributes);
        // Only where nothing had the name does "access denied" mean that the
        // folder takes no new file. A taken name that cannot be created is
        // pending deletion until a scanner lets go, or is no file of ours (a
        // folder, or one we may not write): waited for, then refused.
        const Handle file(OpenPastBriefHolds(
            swapPath.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, attributes,
            nameTaken ? HoldErrors::SharingOrDenied : HoldErrors::SharingOnly, budget));
        if (!file.Valid())
            return !nameTaken && GetLastError() == ERROR_ACCESS_DENIED
                       ? SwapResult::FolderTakesNoNewFile
                       : SwapResult::Failed;
        temp.Own(swapPath);
        if (!WriteAndFlush(file.Get(), image)) return SwapResult::Failed;
    }
    // A scanner's handle on tips.rc makes the rename fail with 32 or 5 for a
    // moment; the new file waits for it.
    if (!RetryWhileHeld(HoldErrors::SharingOrDenied, budget, [&] {
            return MoveFileExA(temp.Path().c_str(), fullPath,
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        }))
        return SwapResult::Failed;
    temp.Release();
    return SwapResult::Swapped;
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

// Rewrites tips.rc over its old text, for a folder that takes no new file or a
// tips.rc that may not be deleted. The old bytes are held first, and the file
// grows to its new length before any byte changes, so a full disk fails while
// the old text is whole; a write that fails later puts the old bytes back.
bool RewriteInPlace(const char* fullPath, const TipsImage& image, const WaitBudget& budget) {
    const Handle file(OpenPastBriefHolds(fullPath, GENERIC_READ | GENERIC_WRITE, 0,
                                         OPEN_EXISTING, 0, HoldErrors::SharingOnly, budget));
    if (!file.Valid()) return false;
    DWORD oldSize = 0;
    const GlobalBuffer old(ReadWholeFile(file.Get(), oldSize));
    if (!old.Get()) return false;

    // A shorter text goes with the zero byte that ends the image: should the
    // writer die before the cut, the reader's text ends where the new one does.
    const bool shrinks = image.size < oldSize;
    const std::string_view bytes(image.bytes.get(), image.size + (shrinks ? 1 : 0));
    if ((image.size <= oldSize || SetLength(file.Get(), image.size)) &&
        WriteFromStart(file.Get(), bytes) &&
        (!shrinks || (SetLength(file.Get(), image.size) && FlushFileBuffers(file.Get()))))
        return true;

    const DWORD error = GetLastError();
    if (WriteFromStart(file.Get(), std::string_view(old.Bytes(), oldSize)) &&
        SetLength(file.Get(), oldSize))
        FlushFileBuffers(file.Get());
    SetLastError(error);
    return false;
}

// The comparison reads a large file this much at a time: no block of the
// file's size to find in the host's address space, and each piece compared
// or hashed while it is still in the cache.
constexpr DWORD kCompareChunk = 1024 * 1024;
// A counter line is a few dozen bytes; a file whose first line is longer than
// this is compared whole.
constexpr DWORD kCounterLineAtMost = 4096;

bool SeekTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

// A tips part that is not the list's pending read is unchanged when it has
// the length and the hash stamped at the last save.
TipsFileChange ChangeByHash(const TipsFileStamp& stamp, size_t length, uint64_t hash) {
    return !stamp.readText && length == stamp.tipsLength && hash == stamp.tipsHash
               ? TipsFileChange::Unchanged
               : TipsFileChange::TipsChanged;
}

// What the comparison makes of a whole tips part: unchanged while it is the
// list's pending read or has the stamped hash; `seen` learns its length, its
// hash when it changed, and its lines where a question will name them.
TipsFileChange CompareTipsPart(std::string_view tips, const TipsFileStamp& stamp,
                               const TipsListStore& list, TipsFileStamp& seen) {
    seen.tipsLength = tips.size();
    // A question about a list that never held the file's tips names them.
    if (stamp.unread) seen.tipLines = CountCrLfLines(tips);
    // Still the bytes the list was read from: one pass over both, no hash.
    if (PendingTipsPartIs(stamp, list, tips)) return TipsFileChange::Unchanged;
    seen.tipsHash = HashTipsText(tips);
    return ChangeByHash(stamp, tips.size(), seen.tipsHash);
}

// Hands `use` the file's bytes from `start` to `size` a chunk at a time, with
// each piece's offset from `start`, until it returns false. False when a read
// fails.
template <typename Use>
bool StreamFrom(HANDLE file, uint64_t start, uint64_t size, char* chunk, Use use) {
    if (!SeekTo(file, start)) return false;
    for (uint64_t offset = 0; start + offset < size;) {
        const DWORD piece =
            static_cast<DWORD>(std::min<uint64_t>(kCompareChunk, size - start - offset));
        if (!ReadExactly(file, chunk, piece)) return false;
        if (!use(chunk, size_t{piece}, static_cast<size_t>(offset))) return true;
        offset += piece;
    }
    return true;
}

// CompareTipsPart on the open file, read whole.
bool CompareWholeFile(HANDLE file, const TipsFileStamp& stamp, const TipsListStore& list,
                      TipsFileStamp& seen, TipsFileChange& change) {
    DWORD size = 0;
    const GlobalBuffer bytes(SeekTo(file, 0) ? ReadWholeFile(file, size) : nullptr);
    if (!bytes.Get()) return false;
    change = CompareTipsPart(TipsPartOf(std::string_view(bytes.Bytes(), size)), stamp, list, seen);
    return true;
}

// CompareTipsPart on the open file, read a chunk at a time where it is larger
// than one: the pending read compared first, and hashed only when that finds
// a change. False when a read fails, the last error kept.
bool CompareOpenFile(HANDLE file, const TipsFileStamp& stamp, const TipsListStore& list,
                     TipsFileStamp& seen, TipsFileChange& change) {
    DWORD size = 0;
    if (!SizeBelow4Gb(file, size)) return false;
    if (size <= kCompareChunk) return CompareWholeFile(file, stamp, list, seen, change);
    const GlobalBuffer buffer(GlobalAlloc(GMEM_FIXED, kCompareChunk));
    char* const chunk = buffer.Bytes();
    if (!chunk) return false;
    const DWORD head = std::min(size, kCounterLineAtMost);
    if (!ReadExactly(file, chunk, head)) return false;
    const size_t lineEnd = std::string_view(chunk, head).find(kLineEnd);
    if (lineEnd == std::string_view::npos)
        return CompareWholeFile(file, stamp, list, seen, change);
    const size_t tipsStart = lineEnd + kLineEnd.size();
    const size_t length = size - tipsStart;
    seen.tipsLength = length;
    if (PendingFor(stamp, list, length)) {
        bool same = true;
        if (!StreamFrom(file, tipsStart, size, chunk, [&](const char* bytes, size_t piece,
                                                         size_t offset) {
                return same = PendingTipsPieceIs(stamp, offset, bytes, piece);
            }))
            return false;
        if (same) {
            change = TipsFileChange::Unchanged;
            return true;
        }
    }
    StreamedTextHash hash;
    CrLfLineCount lines;
    if (!StreamFrom(file, tipsStart, size, chunk, [&](const char* bytes, size_t piece, size_t) {
            hash.Feed(bytes, piece);
            if (stamp.unread) lines.Feed(std::string_view(bytes, piece));
            return true;
        }))
        return false;
    seen.tipLines = lines.lines;
    seen.tipsHash = hash.Finish();
    change = ChangeByHash(stamp, length, seen.tipsHash);
    return true;
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
    char* text = buffer.Bytes();
    if (!text) {
        list.ReplaceAll({});
        return TipsReadResult::NoTipsOrFault;
    }
    CutLines lines = CutTipsLines(text, size);
    stamp.notShown = NotShownTextOf(text, size, lines);
    if (stamp.notShown) stamp.notShownLines = NotShownLinesOf(text, size, lines);
    // Without tips the list keeps no block, so the buffer goes and what it
    // holds of the tips part is hashed now.
    const bool kept = lines.counterLine && !lines.tips.empty();
    StampTipsPart(stamp, text, size, lines, kept);
    if (!kept) {
        list.ReplaceAll({});
        return lines.counterLine ? TipsReadResult::Read : TipsReadResult::NoTipsOrFault;
    }
    list.TakeBlock(text, size_t{size} + 1, FreeReadBuffer, std::move(lines.tips));
    buffer.Release();
    return TipsReadResult::Read;
}

}  // namespace

TipsReadResult ReadTipsFileAt(const char* path, TipsListStore& list, TipsFileStamp& stamp,
                              const WaitBudget& budget) {
    bool opened = false;
    DWORD size = 0;
    GlobalBuffer buffer(ReadHeldFile(path, budget, size, opened));
    if (!opened) {
        // The list and what the stamp says of it stay as they were.
        stamp.unread = true;
        return TipsReadResult::NotOpened;
    }
    stamp = {};
    stamp.unread = !buffer.Get();
    // Here the size bytes in the buffer are exactly what the file held, a zero
    // byte after them. GlobalAlloc's GMEM_FIXED block's handle is its
    // address, so StoreTips uses the handle as the text's pointer to cut it up.
    try {
        return StoreTips(buffer, size, list, stamp);
    } catch (const std::exception&) {
        stamp = {};  // the list was left as it was: the file is compared in full
        stamp.unread = true;
        return TipsReadResult::NoTipsOrFault;
    }
}

TipsWriteResult WriteTipsFileAt(const char* path, const TipsListStore& list,
                                TipsFileStamp& stamp, const WaitBudget& budget) {
    char fullPath[MAX_PATH];
    const DWORD fullLength = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    if (fullLength == 0 || fullLength >= MAX_PATH) return TipsWriteResult::NotWritten;

    // Checked here, as Windows would refuse the swap and the in-place write:
    // Wine's MoveFileExA replaces a read-only file.
    const DWORD attributes = GetFileAttributesA(fullPath);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return TipsWriteResult::NotWritten;

    TipsImage image;
    uint64_t tipsHash;
    try {
        image = BuildTipsImage(list, tipsHash);
    } catch (const std::exception&) {
        return TipsWriteResult::ImageFailed;
    }

    const DWORD keptBits = exists ? attributes & kKeptAttributes : 0;
    const WriteWay way = exists ? ChooseWriteWay(fullPath, attributes, budget) : WriteWay::Swap;
    // Once the swap has started, a failure never falls back to writing in
    // place: only a folder that takes no new file sends the text there.
    const SwapResult swapped = way == WriteWay::Swap
                                   ? SwapIn(fullPath, image.View(), keptBits, budget)
                                   : SwapResult::Failed;
    const bool written =
        swapped == SwapResult::Swapped ||
        ((way == WriteWay::InPlace || swapped == SwapResult::FolderTakesNoNewFile) &&
         RewriteInPlace(fullPath, image, budget));
    if (!written) return TipsWriteResult::NotWritten;
    stamp = StampOfWritten(image.View(), tipsHash);
    return TipsWriteResult::Written;
}

TipsFileChange CompareTipsFileAt(const char* path, const TipsFileStamp& stamp,
                                 const TipsListStore& list, TipsFileStamp& seen,
                                 const WaitBudget& budget) {
    TipsFileChange change = TipsFileChange::Unreadable;
    const bool compared = RetryWhileHeld(HoldErrors::SharingOnly, budget, [&] {
        seen = {};
        DWORD error;
        bool done;
        {
            const Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
            done = file.Valid() && CompareOpenFile(file.Get(), stamp, list, seen, change);
            error = GetLastError();
        }
        SetLastError(error);
        return done;
    });
    if (!compared)
        return NoSuchFile(GetLastError()) ? TipsFileChange::Vanished : TipsFileChange::Unreadable;
    return change;
}
