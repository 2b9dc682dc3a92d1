#include "tips/tips_file.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <utility>

#include "tips/brief_holds.h"
#include "tips/tips_compare.h"
#include "tips/tips_file_steps.h"
#include "tips/tips_rewrite.h"
#include "tips/tips_swap.h"
#include "tips/tips_text.h"
#include "win/handles.h"

namespace {

enum class WriteWay { Swap, InPlace, Refuse };

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
    const Handle probe =
        OpenPastBriefHolds(fullPath, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           OPEN_EXISTING, 0, HoldErrors::SharingOnly, budget);
    if (probe.Valid()) return LinkCountOf(probe.Get()) > 1 ? WriteWay::InPlace : WriteWay::Swap;
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED: return WriteWay::InPlace;
    case ERROR_FILE_NOT_FOUND: return WriteWay::Swap;  // gone meanwhile: written new
    default: return WriteWay::Refuse;
    }
}

// The list gives the read buffer back through this once it lets the tips go.
void FreeReadBuffer(char* block) {
    GlobalFree(block);
}

// Cuts the text read into the list's tips, the counter line skipped. The tips
// stay in the read's block, which the list takes over: a copy of each would
// cost a heap block per tip and double the memory a large file needs. A
// failure leaves the list as it was. The stamp learns what the tips part
// holds besides the tips.
TipsReadResult StoreTips(FileBytes& read, TipsListStore& list, TipsFileStamp& stamp) {
    // GlobalAlloc's GMEM_FIXED block's handle is its address.
    char* const text = read.block.Bytes();
    const DWORD size = read.size;
    CutLines lines = CutTipsLines(text, size);
    stamp.notShown = NotShownTextOf(text, size, lines);
    if (stamp.notShown) stamp.notShownLines = NotShownLinesOf(text, size, lines);
    // Without tips the list keeps no block, and the buffer goes.
    if (!lines.counterLine || lines.tips.empty()) {
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
    return StampOf({imageSize - kCounterLine.size() - kLineEnd.size(), tipsHash});
}

// The new text, built whole once the comparison's answer lets the save go on;
// none when memory runs out, or the text grows too long for one block,
// meanwhile.
std::optional<TipsImage> BuildImage(const TipsListStore& list) {
    try {
        return BuildTipsImage(list);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The outcome so far of a save whose comparison found `found`: NotAhead
// where goAhead, told that, stops the save.
TipsSaveOutcome Asked(const TipsFileComparison& found, const GoAhead& goAhead) {
    TipsSaveOutcome outcome;
    outcome.found = found;
    if (!goAhead(found)) outcome.result = TipsWriteResult::NotAhead;
    return outcome;
}

// The swap's way: the comparison through an open of its own, which lets other
// readers in, then the new text swapped in whole. None where the folder takes
// no new file: that sends the save in place, through a comparison of its own.
std::optional<TipsSaveOutcome> SaveBySwap(const char* fullPath, DWORD keptBits,
                                          const TipsListStore& list, TipsFileStamp& stamp,
                                          const WaitBudget& budget, const GoAhead& goAhead) {
    TipsSaveOutcome outcome = Asked(CompareTipsFileAt(fullPath, stamp, budget), goAhead);
    if (outcome.result == TipsWriteResult::NotAhead) return outcome;
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
TipsSaveOutcome SaveInPlace(const char* fullPath, const TipsListStore& list, TipsFileStamp& stamp,
                            const WaitBudget& budget, const GoAhead& goAhead) {
    TipsPartHasher hasher(stamp.unread);
    OpenedBytes opened = ReadHeldFile(fullPath, GENERIC_READ | GENERIC_WRITE, 0, budget, &hasher);
    // Without the old bytes to put back the rewrite never starts, whatever the
    // user would answer: a question could only lead to the same failed open.
    if (!opened.bytes.block.Get()) return {};
    TipsSaveOutcome outcome = Asked(CompareSeen(hasher.Seen(), stamp), goAhead);
    if (outcome.result == TipsWriteResult::NotAhead) return outcome;
    const InPlaceRewrite rewrite = RewriteOpenFile(opened.file.Get(), list, opened.bytes.View());
    switch (rewrite.result) {
    case InPlaceResult::Rewritten:
        outcome.result = TipsWriteResult::Written;
        stamp = StampOfSavedImage(rewrite.image.size, rewrite.image.tipsHash);
        break;
    case InPlaceResult::NoMemory: outcome.result = TipsWriteResult::ImageFailed; break;
    case InPlaceResult::AsItWas: break;
    case InPlaceResult::Changed: {
        outcome.result = TipsWriteResult::LeftChanged;
        // What was being written, to tell later what the rewrite left from
        // another program's save; where memory is out, the old bytes go back
        // unchecked.
        std::optional<TipsImage> image = BuildImage(list);
        outcome.unfinished = {std::move(opened.bytes), image ? std::move(*image) : TipsImage{}};
        break;
    }
    }
    return outcome;
}

}  // namespace

TipsReadResult ReadTipsFileAt(const char* path, TipsListStore& list, TipsFileStamp& stamp,
                              const WaitBudget& budget) {
    TipsPartHasher hasher;
    OpenedBytes opened = ReadHeldFile(path, GENERIC_READ, FILE_SHARE_READ, budget, &hasher);
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
        // Hashed as it was read, while each piece was in the cache.
        stamp = StampOf(hasher.Seen());
        return StoreTips(opened.bytes, list, stamp);
    } catch (const std::exception&) {
        stamp = {};  // the list was left as it was: the file is compared in full
        stamp.unread = true;
        return TipsReadResult::SplitFailed;
    }
}

TipsSaveOutcome SaveTipsFileAt(const char* path, const TipsListStore& list, TipsFileStamp& stamp,
                               const WaitBudget& budget, const GoAhead& goAhead) {
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
