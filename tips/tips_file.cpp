#include "tips/tips_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tips/brief_holds.h"
#include "tips/tips_text.h"
#include "win/handles.h"

namespace {

// The one seek every step on an open file goes through.
bool SeekTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

// Files are read this much at a time: each piece is compared or hashed while
// it is still in the cache, and the comparison needs no block of the file's
// size to find in the host's address space.
constexpr DWORD kCompareChunk = 1024 * 1024;

// The hash of a file's tips part, fed the file's bytes from its start a piece
// at a time, so that a read hashes what it reads while it is in the cache.
// None where the counter line's end is not in the first piece, or a read
// failed: the comparison hashes the whole tips part then.
class TipsPartHasher {
public:
    void Feed(std::string_view piece) {
        if (pieces_++ == 0) {
            const size_t lineEnd = piece.find(kLineEnd);
            if (lineEnd == std::string_view::npos) return;
            counterLineFound_ = true;
            piece.remove_prefix(lineEnd + kLineEnd.size());
        }
        hash_.Feed(piece.data(), piece.size());
    }
    std::optional<uint64_t> Hash() const {
        return counterLineFound_ ? std::optional<uint64_t>(hash_.Finish()) : std::nullopt;
    }

private:
    StreamedTextHash hash_;
    unsigned pieces_ = 0;
    bool counterLineFound_ = false;
};

// The file's size; none when it cannot be had or is 4 GB or more.
std::optional<DWORD> SizeBelow4Gb(HANDLE file) {
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high) return std::nullopt;
    return size;
}

bool ReadExactly(HANDLE file, char* bytes, DWORD size) {
    DWORD read = 0;
    return ReadFile(file, bytes, size, &read, nullptr) && read == size;
}

// Every byte of the file from its start, a zero byte after them so that one
// always ends the text, read a piece at a time, each handed to the hasher
// where there is one; no block when its size (4 GB or more) or the memory
// cannot be had, or a read fails or comes up short. Every caller's handle
// lets no other program write meanwhile, so a short read is a failing disk,
// never a file changing.
FileBytes ReadWholeFile(HANDLE file, TipsPartHasher* hasher = nullptr) {
    const std::optional<DWORD> size = SizeBelow4Gb(file);
    if (!size || !SeekTo(file, 0)) return {};
    FileBytes bytes{GlobalBuffer(GlobalAlloc(GMEM_FIXED, size_t{*size} + 1)), *size};
    char* const block = bytes.block.Bytes();
    if (!block) return {};
    DWORD offset = 0;
    do {
        const DWORD piece = std::min(kCompareChunk, *size - offset);
        if (!ReadExactly(file, block + offset, piece)) return {};
        if (hasher) hasher->Feed(std::string_view(block + offset, piece));
        offset += piece;
    } while (offset < *size);
    block[*size] = '\0';
    return bytes;
}

// Every byte, or failure: TRUE alone does not promise the count.
bool WriteAll(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Zero bytes from the file pointer, standing at `from`, up to `to`. A shorter
// text is written over the old one's tail before the file is cut: a writer
// killed between the two, the likeliest moment as the flush before the cut
// takes most of a save's time, leaves the new text with zero bytes alone
// after its last line end, which read as no text.
bool WriteZerosTo(HANDLE file, uint64_t from, uint64_t to) {
    // Not const: a const block of zeros would be stored in the module's file,
    // where this one takes no byte.
    static char zeros[64 * 1024];
    while (from < to) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(sizeof zeros, to - from));
        if (!WriteAll(file, std::string_view(zeros, piece))) return false;
        from += piece;
    }
    return true;
}

bool WriteAndFlush(HANDLE file, std::string_view bytes) {
    return WriteAll(file, bytes) && FlushFileBuffers(file);
}

// A file opened to read, with what it held; no handle when it could not be
// opened, no block when it could not be read, the last error kept either way.
struct OpenedBytes {
    Handle file;
    FileBytes bytes;
};

// Opens the file and takes its bytes as ReadWholeFile does, waiting for a
// program that holds it for a moment; a byte-range lock answers only the read.
OpenedBytes ReadHeldFile(const char* path, DWORD access, DWORD share, const WaitBudget& budget,
                         TipsPartHasher* hasher = nullptr) {
    OpenedBytes opened;
    RetryWhileHeld(HoldErrors::SharingOnly, budget, [&] {
        // The last try's handle goes first: sharing nothing, it would keep
        // this one out too.
        opened = OpenedBytes{};
        opened.file = Handle(CreateFileA(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr));
        if (hasher) *hasher = TipsPartHasher();
        opened.bytes =
            opened.file.Valid() ? ReadWholeFile(opened.file.Get(), hasher) : FileBytes{};
        return opened.bytes.block.Get() != nullptr;
    });
    return opened;
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
Handle OpenPastBriefHolds(const char* path, DWORD access, DWORD share, DWORD disposition,
                          DWORD attributes, HoldErrors holds, const WaitBudget& budget) {
    Handle file;
    RetryWhileHeld(holds, budget, [&] {
        file = Handle(CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr));
        return file.Valid();
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
ULONG LinkCountOf(HANDLE file) {
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
    const Handle probe = OpenPastBriefHolds(fullPath, DELETE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            OPEN_EXISTING, 0, HoldErrors::SharingOnly, budget);
    if (probe.Valid()) return LinkCountOf(probe.Get()) > 1 ? WriteWay::InPlace : WriteWay::Swap;
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

// The steps of a rewrite in place. The file grows to its new length before any
// byte changes, so a full disk fails while the old text is whole.
bool GrowTo(HANDLE file, uint64_t length, uint64_t oldLength) {
    return length <= oldLength || (SeekTo(file, length) && SetEndOfFile(file));
}

bool WriteOver(HANDLE file, std::string_view bytes) {
    return SeekTo(file, 0) && WriteAll(file, bytes);
}

bool CutTo(HANDLE file, uint64_t length) {
    return SeekTo(file, length) && SetEndOfFile(file);
}

// The old bytes of a file being rewritten in place, written back over it
// unless the rewrite is kept, as TempFile deletes the swap's file unless it
// is moved in.
class OldBytesBack {
public:
    OldBytesBack(HANDLE file, FileBytes old) : file_(file), old_(std::move(old)) {}
    ~OldBytesBack() { if (old_.block.Get()) PutBack(); }
    OldBytesBack(const OldBytesBack&) = delete;
    OldBytesBack& operator=(const OldBytesBack&) = delete;

    DWORD Size() const { return old_.size; }
    void Keep() { old_ = {}; }
    // True when the file is its old bytes again, flushed; the bytes are let
    // go then, and kept for another try otherwise. Each step is tried whatever
    // the one before did: a length grown or a tail left is cut back even
    // where no byte could be written.
    bool PutBack() {
        const bool written = WriteOver(file_, old_.View());
        const bool cut = CutTo(file_, old_.size);
        if (!FlushFileBuffers(file_) || !written || !cut) return false;
        old_ = {};
        return true;
    }
    FileBytes Release() { return std::move(old_); }

private:
    HANDLE file_;
    FileBytes old_;
};

enum class InPlaceResult { Rewritten, AsItWas, Changed };

// Rewrites the open file over its old bytes: grown first, written over, the
// old tail zeroed and cut when shorter, flushed. A failure puts the old bytes
// back; where they cannot go back, the file is Changed and `back` keeps them.
InPlaceResult RewriteOpenFile(HANDLE file, const TipsImage& image, OldBytesBack& back) {
    const bool shrinks = image.size < back.Size();
    // The text and the old tail's zeros in one write where the image's block
    // holds them: no moment between the two leaves the tail after the text.
    const std::string_view bytes = image.WithZeros(shrinks ? back.Size() - image.size : 0);
    if (GrowTo(file, image.size, back.Size()) && WriteOver(file, bytes) &&
        WriteZerosTo(file, bytes.size(), back.Size()) && FlushFileBuffers(file) &&
        (!shrinks || (CutTo(file, image.size) && FlushFileBuffers(file)))) {
        back.Keep();
        return InPlaceResult::Rewritten;
    }
    const DWORD error = GetLastError();
    const bool asItWas = back.PutBack();
    SetLastError(error);
    return asItWas ? InPlaceResult::AsItWas : InPlaceResult::Changed;
}

// A text larger than this is rewritten in place a piece at a time, each piece
// built while the last is written: no second block of the file's size, and
// each piece still in the cache when Windows copies it.
constexpr size_t kRewritePiece = 1024 * 1024;

// What writing the new text a piece at a time did, with the image's size and hash.
struct PiecesRewrite {
    InPlaceResult result;
    PutTipsImageResult image;
};

// RewriteOpenFile for a text too large to build whole, built into `piece` as
// it is written. Nothing grows the file first: a full disk fails part-way,
// and the old bytes go back.
PiecesRewrite RewriteInPieces(HANDLE file, const TipsListStore& list, char* piece,
                              OldBytesBack& back) {
    PiecesRewrite rewrite{InPlaceResult::Rewritten, {}};
    const auto write = [file](std::string_view bytes) { return WriteAll(file, bytes); };
    if (SeekTo(file, 0)) rewrite.image = PutTipsImage(list, piece, kRewritePiece, write);
    const bool shrinks = rewrite.image.size < back.Size();
    if (rewrite.image.put && WriteZerosTo(file, rewrite.image.size, back.Size()) &&
        FlushFileBuffers(file) &&
        (!shrinks || (CutTo(file, rewrite.image.size) && FlushFileBuffers(file)))) {
        back.Keep();
        return rewrite;
    }
    const DWORD error = GetLastError();
    rewrite.result = back.PutBack() ? InPlaceResult::AsItWas : InPlaceResult::Changed;
    SetLastError(error);
    return rewrite;
}

// Whether `now` is what a rewrite from `old` to `attempted` may have left when
// it stopped part-way: the length of one of them, and each byte the old one,
// the new one or a zero (the growth, or the byte that ends a shorter text).
bool LeftByRewrite(std::string_view now, std::string_view old, std::string_view attempted) {
    if (now.size() != old.size() && now.size() != attempted.size()) return false;
    for (size_t i = 0; i < now.size(); ++i) {
        const char byte = now[i];
        if (byte != '\0' && !(i < old.size() && byte == old[i]) &&
            !(i < attempted.size() && byte == attempted[i]))
            return false;
    }
    return true;
}

// A counter line is a few dozen bytes; a file whose first line is longer than
// this is compared whole.
constexpr DWORD kCounterLineAtMost = 4096;

// A tips part that is not the list's pending read is unchanged when it has
// the length and the hash stamped at the last save.
TipsFileChange ChangeByHash(const TipsFileStamp& stamp, size_t length, uint64_t hash) {
    return !stamp.readText && length == stamp.tipsLength && hash == stamp.tipsHash
               ? TipsFileChange::Unchanged
               : TipsFileChange::TipsChanged;
}

// What the comparison makes of a whole tips part: unchanged while it is the
// list's pending read or has the stamped hash. Its hash is taken here unless
// the read that brought the part in has taken it already.
TipsFileComparison CompareTipsPart(std::string_view tips, const TipsFileStamp& stamp,
                                   const TipsListStore& list,
                                   std::optional<uint64_t> hashOfTips = std::nullopt) {
    TipsFileComparison found{TipsFileChange::Unchanged, {}};
    found.fileNow.tipsLength = tips.size();
    // A question about a list that never held the file's tips names them.
    if (stamp.unread) found.fileNow.tipLines = CountCrLfLines(tips);
    // Still the bytes the list was read from: one pass over both, no hash.
    if (PendingTipsPartIs(stamp, list, tips)) return found;
    found.fileNow.tipsHash = hashOfTips ? *hashOfTips : HashTipsText(tips);
    found.change = ChangeByHash(stamp, tips.size(), found.fileNow.tipsHash);
    return found;
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

// CompareTipsPart on the open file, read whole; none when it cannot be read.
std::optional<TipsFileComparison> CompareWholeFile(HANDLE file, const TipsFileStamp& stamp,
                                                   const TipsListStore& list) {
    const FileBytes bytes = ReadWholeFile(file);
    if (!bytes.block.Get()) return std::nullopt;
    return CompareTipsPart(TipsPartOf(bytes.View()), stamp, list);
}

// CompareTipsPart on the open file, read a chunk at a time where it is larger
// than one: the pending read compared first, and hashed only when that finds
// a change. None when a read fails, the last error kept.
std::optional<TipsFileComparison> CompareOpenFile(HANDLE file, const TipsFileStamp& stamp,
                                                  const TipsListStore& list) {
    const std::optional<DWORD> size = SizeBelow4Gb(file);
    if (!size) return std::nullopt;
    if (*size <= kCompareChunk) return CompareWholeFile(file, stamp, list);
    const GlobalBuffer buffer(GlobalAlloc(GMEM_FIXED, kCompareChunk));
    char* const chunk = buffer.Bytes();
    const DWORD head = std::min(*size, kCounterLineAtMost);
    if (!chunk || !SeekTo(file, 0) || !ReadExactly(file, chunk, head)) return std::nullopt;
    const size_t lineEnd = std::string_view(chunk, head).find(kLineEnd);
    if (lineEnd == std::string_view::npos) return CompareWholeFile(file, stamp, list);
    const size_t tipsStart = lineEnd + kLineEnd.size();
    const size_t length = *size - tipsStart;
    TipsFileComparison found{TipsFileChange::Unchanged, {}};
    found.fileNow.tipsLength = length;
    if (IsPendingReadOfLength(stamp, list, length)) {
        bool same = true;
        if (!StreamFrom(file, tipsStart, *size, chunk, [&](const char* bytes, size_t piece,
                                                          size_t offset) {
                return same = PendingTipsPieceIs(stamp, offset, bytes, piece);
            }))
            return std::nullopt;
        if (same) return found;
    }
    StreamedTextHash hash;
    CrLfLineCount lines;
    if (!StreamFrom(file, tipsStart, *size, chunk, [&](const char* bytes, size_t piece, size_t) {
            hash.Feed(bytes, piece);
            if (stamp.unread) lines.Feed(std::string_view(bytes, piece));
            return true;
        }))
        return std::nullopt;
    found.fileNow.tipLines = lines.lines;
    found.fileNow.tipsHash = hash.Finish();
    found.change = ChangeByHash(stamp, length, found.fileNow.tipsHash);
    return found;
}

// What a comparison makes of a file that could not be opened or read.
TipsFileComparison NotCompared(DWORD error) {
    return {NoSuchFile(error) ? TipsFileChange::Vanished : TipsFileChange::Unreadable, {}};
}

// The list gives the read buffer back through this once it lets the tips go.
void FreeReadBuffer(char* block) {
    GlobalFree(block);
}

// Cuts the text read into the list's tips, the counter line skipped. The tips
// stay in the read's block, which the list takes over: a copy of each would
// cost a heap block per tip and double the memory a large file needs. A
// failure leaves the list as it was. The stamp learns the tips part.
TipsReadResult StoreTips(FileBytes& read, TipsListStore& list, TipsFileStamp& stamp) {
    // GlobalAlloc's GMEM_FIXED block's handle is its address.
    char* const text = read.block.Bytes();
    const DWORD size = read.size;
    CutLines lines = CutTipsLines(text, size);
    stamp.notShown = NotShownTextOf(text, size, lines);
    if (stamp.notShown) stamp.notShownLines = NotShownLinesOf(text, size, lines);
    // Without tips the list keeps no block, so the buffer goes and what it
    // holds of the tips part is hashed now.
    const bool kept = lines.counterLine && !lines.tips.empty();
    StampTipsPart(stamp, text, size, lines, kept);
    if (!kept) {
        list.ReplaceAll({});
        return lines.counterLine ? TipsReadResult::Read : TipsReadResult::NoLines;
    }
    list.TakeBlock(text, size_t{size} + 1, FreeReadBuffer, std::move(lines.tips));
    read.block.Release();
    return TipsReadResult::Read;
}

// The stamp of the image just saved. Nothing is read back from the path:
// another program's write between the save and a look at the file would be
// stamped as ours.
TipsFileStamp StampOfSavedImage(uint64_t imageSize, uint64_t tipsHash) {
    TipsFileStamp stamp{};
    stamp.tipsLength = imageSize - kCounterLine.size() - kLineEnd.size();
    stamp.tipsHash = tipsHash;
    return stamp;
}

// The new text, built once the comparison's answer lets the save go on; none
// when memory runs out, or the text grows too long for one block, meanwhile.
std::optional<TipsImage> BuildImage(const TipsListStore& list, size_t zeroedTo = 0) {
    try {
        return BuildTipsImage(list, zeroedTo);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The swap's way: the comparison through an open of its own, which lets other
// readers in, then the new text swapped in whole. None where the folder takes
// no new file: that sends the save in place, through a comparison of its own.
std::optional<TipsSaveOutcome> SaveBySwap(const char* fullPath, DWORD keptBits,
                                          const TipsListStore& list, TipsFileStamp& stamp,
                                          const WaitBudget& budget, const GoAhead& goAhead) {
    TipsSaveOutcome outcome;
    outcome.found = CompareTipsFileAt(fullPath, stamp, list, budget);
    if (!goAhead(outcome.found)) {
        outcome.result = TipsWriteResult::NotAhead;
        return outcome;
    }
    std::optional<TipsImage> image = BuildImage(list);
    if (!image) {
        outcome.result = TipsWriteResult::ImageFailed;
        return outcome;
    }
    const SwapResult swapped = SwapIn(fullPath, image->View(), keptBits, budget);
    if (swapped == SwapResult::FolderTakesNoNewFile) return std::nullopt;
    if (swapped == SwapResult::Swapped) {
        outcome.result = TipsWriteResult::Written;
        stamp = StampOfSavedImage(image->size, image->tipsHash);
    }
    return outcome;
}

// The way in place: tips.rc opened once, sharing nothing, so that no name,
// link, spelling or computer changes it between the comparison and the
// rewrite; its bytes, read whole, are both what is compared and what goes
// back should the rewrite fail.
TipsSaveOutcome SaveInPlace(const char* fullPath, const TipsListStore& list,
                            TipsFileStamp& stamp, const WaitBudget& budget,
                            const GoAhead& goAhead) {
    TipsSaveOutcome outcome;
    TipsPartHasher hasher;
    OpenedBytes opened = ReadHeldFile(fullPath, GENERIC_READ | GENERIC_WRITE, 0, budget, &hasher);
    // Without the old bytes to put back the rewrite never starts, whatever the
    // user would answer: a question could only lead to the same failed open.
    if (!opened.bytes.block.Get()) return outcome;
    outcome.found =
        CompareTipsPart(TipsPartOf(opened.bytes.View()), stamp, list, hasher.Hash());
    if (!goAhead(outcome.found)) {
        outcome.result = TipsWriteResult::NotAhead;
        return outcome;
    }
    const bool inPieces = TipsImageBytesAtMost(list) >= kRewritePiece;
    std::unique_ptr<char[]> piece(inPieces ? new (std::nothrow) char[kRewritePiece] : nullptr);
    // A shorter text's image carries the zeros for the old tail, up to a piece.
    const size_t zeroedTo = std::min<size_t>(opened.bytes.size, kRewritePiece + kRewritePiece);
    std::optional<TipsImage> image = inPieces ? std::nullopt : BuildImage(list, zeroedTo);
    if (inPieces ? !piece : !image) {
        outcome.result = TipsWriteResult::ImageFailed;
        return outcome;
    }
    OldBytesBack back(opened.file.Get(), std::move(opened.bytes));
    const PiecesRewrite rewrite =
        inPieces ? RewriteInPieces(opened.file.Get(), list, piece.get(), back)
                 : PiecesRewrite{RewriteOpenFile(opened.file.Get(), *image, back),
                                 {true, image->size, image->tipsHash}};
    switch (rewrite.result) {
    case InPlaceResult::Rewritten:
        outcome.result = TipsWriteResult::Written;
        stamp = StampOfSavedImage(rewrite.image.size, rewrite.image.tipsHash);
        break;
    case InPlaceResult::AsItWas:
        break;
    case InPlaceResult::Changed:
        outcome.result = TipsWriteResult::LeftChanged;
        // What was being written, to tell later what the rewrite left from
        // another program's save; where memory is out, the old bytes go back
        // unchecked.
        if (!image) image = BuildImage(list);
        outcome.unfinished = {back.Release(), image ? std::move(*image) : TipsImage{}};
        break;
    }
    return outcome;
}

}  // namespace

TipsReadResult ReadTipsFileAt(const char* path, TipsListStore& list, TipsFileStamp& stamp,
                              const WaitBudget& budget) {
    OpenedBytes opened = ReadHeldFile(path, GENERIC_READ, FILE_SHARE_READ, budget);
    if (!opened.file.Valid()) {
        // The list and what the stamp says of it stay as they were.
        stamp.unread = true;
        return TipsReadResult::NotOpened;
    }
    opened.file = Handle();
    stamp = {};
    stamp.unread = !opened.bytes.block.Get();
    try {
        if (stamp.unread) {
            list.ReplaceAll({});
            return TipsReadResult::NotRead;
        }
        return StoreTips(opened.bytes, list, stamp);
    } catch (const std::exception&) {
        stamp = {};  // the list was left as it was: the file is compared in full
        stamp.unread = true;
        return TipsReadResult::SplitFailed;
    }
}

TipsSaveOutcome SaveTipsFileAt(const char* path, const TipsListStore& list,
                               TipsFileStamp& stamp, const WaitBudget& budget,
                               const GoAhead& goAhead) {
    char fullPath[MAX_PATH];
    const DWORD fullLength = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    if (fullLength == 0 || fullLength >= MAX_PATH) return {};

    // Checked here, as Windows would refuse the swap and the in-place write:
    // Wine's MoveFileExA replaces a read-only file. Attributes that cannot be
    // had are no sign that tips.rc is missing: written new, a hard-linked
    // tips.rc would lose its other names' share of the new tips.
    const DWORD attributes = GetFileAttributesA(fullPath);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && !NoSuchFile(GetLastError())) return {};
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return {};

    const WriteWay way = exists ? ChooseWriteWay(fullPath, attributes, budget) : WriteWay::Swap;
    if (way == WriteWay::Refuse) return {};
    // Once the swap has started, a failure never falls back to writing in
    // place: only a folder that takes no new file sends the text there.
    if (way == WriteWay::Swap) {
        std::optional<TipsSaveOutcome> swapped = SaveBySwap(
            fullPath, exists ? attributes & kKeptAttributes : 0, list, stamp, budget, goAhead);
        if (swapped) return std::move(*swapped);
    }
    return SaveInPlace(fullPath, list, stamp, budget, goAhead);
}

TipsFileComparison CompareTipsFileAt(const char* path, const TipsFileStamp& stamp,
                                     const TipsListStore& list, const WaitBudget& budget) {
    std::optional<TipsFileComparison> found;
    RetryWhileHeld(HoldErrors::SharingOnly, budget, [&] {
        const Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        found = file.Valid() ? CompareOpenFile(file.Get(), stamp, list) : std::nullopt;
        return found.has_value();
    });
    return found ? *found : NotCompared(GetLastError());
}

bool PutBackUnfinishedRewrite(const char* path, UnfinishedRewrite& unfinished,
                              const WaitBudget& budget) {
    if (!unfinished.Pending()) return true;
    OpenedBytes opened = ReadHeldFile(path, GENERIC_READ | GENERIC_WRITE, 0, budget);
    if (!opened.bytes.block.Get()) return false;
    const std::string_view now = opened.bytes.View();
    const bool ours = !unfinished.attempted.bytes ||
                      LeftByRewrite(now, unfinished.old.View(), unfinished.attempted.View());
    if (ours && now != unfinished.old.View()) {
        OldBytesBack back(opened.file.Get(), std::move(unfinished.old));
        if (!back.PutBack()) {
            unfinished.old = back.Release();
            return false;
        }
    }
    unfinished = {};
    return true;
}
