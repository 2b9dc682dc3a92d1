#include "tips/tips_compare.h"

#include <windows.h>

#include "tips/tips_file_steps.h"

TipsFileComparison CompareSeen(const TipsPartSeen& seen, const TipsFileStamp& stamp) {
    const bool same = seen.length == stamp.tipsLength && seen.hash == stamp.tipsHash;
    return {same ? TipsFileChange::Unchanged : TipsFileChange::TipsChanged, seen};
}

// The swap's comparison through an open that lets other readers in, the file
// read through one piece's buffer.
TipsFileComparison CompareTipsFileAt(const char* path, const TipsFileStamp& stamp,
                                     const WaitBudget& budget) {
    TipsPartHasher hasher(stamp.unread);
    const OpenedBytes opened =
        ReadHeldFile(path, GENERIC_READ, FILE_SHARE_READ, budget, &hasher, Kept::LastPiece);
    if (opened.bytes.block.Get()) return CompareSeen(hasher.Seen(), stamp);
    return {NoSuchFile(GetLastError()) ? TipsFileChange::Vanished : TipsFileChange::Unreadable, {}};
}
