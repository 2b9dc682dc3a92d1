#include "tips/tips_swap.h"

#include <windows.h>

#include <string>

#include "tips/tips_file_steps.h"
#include "win/handles.h"

namespace {

// The one name the new text is written under: tips.rc's own with its last
// character turned into '~'. No longer than tips.rc's, it fits wherever that
// does; being always the same, a crash leaves at most this one file, which the
// next save reuses.
std::string SwapName(const char* fullPath) {
    std::string name = fullPath;
    name.back() = name.back() == '~' ? '_' : '~';
    return name;
}

}  // namespace

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
        if (!WriteAll(file.Get(), image) || !FlushFileBuffers(file.Get()))
            return SwapResult::Failed;
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
