#include "tips/tips_compare.h"

#include <windows.h>

#include <algorithm>

#include "tips/tips_file_steps.h"
#include "win/handles.h"

namespace {

// What a comparison makes of a file that could not be opened or read.
TipsFileComparison NotCompared(DWORD error) {
    return {NoSuchFile(error) ? TipsFileChange::Vanished : TipsFileChange::Unreadable, {}};
}

}  // namespace

TipsPartHasher HasherFor(const TipsFileStamp& stamp) {
    // A question about a list that never held the file's tips names them.
    return TipsPartHasher(stamp.unread);
}

TipsFileComparison CompareSeen(const TipsPartSeen& seen, const TipsFileStamp& stamp) {
    const bool same = seen.length == stamp.tipsLength && seen.hash == stamp.tipsHash;
    return {same ? TipsFileChange::Unchanged : TipsFileChange::TipsChanged, seen};
}

std::optional<TipsFileComparison> CompareOpenFile(HANDLE file, const TipsFileStamp& stamp) {
    const std::optional<DWORD> size = SizeBelow4Gb(file);
    if (!size) return std::nullopt;
    const DWORD pieceSize = std::max<DWORD>(1, std::min(*size, kFilePiece));
    const GlobalBuffer piece(GlobalAlloc(GMEM_FIXED, pieceSize));
    TipsPartHasher hasher = HasherFor(stamp);
    if (!piece.Get() || !ReadPieces(file, *size, piece.Bytes(), false, &hasher))
        return std::nullopt;
    return CompareSeen(hasher.Seen(), stamp);
}

TipsFileComparison CompareTipsFileAt(const char* path, const TipsFileStamp& stamp,
                                     const WaitBudget& budget) {
    std::optional<TipsFileComparison> found;
    RetryWhileHeld(HoldErrors::SharingOnly, budget, [&] {
        const Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        found = file.Valid() ? CompareOpenFile(file.Get(), stamp) : std::nullopt;
        return found.has_value();
    });
    return found ? *found : NotCompared(GetLastError());
}
