#include "tips/tips_rewrite.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "tips/tips_file.h"
#include "tips/tips_file_steps.h"

namespace {

// Zero bytes from the file pointer, standing at `from`, up to `to`, written
// from the rewrite's buffer, which is free once the text is out.
bool WriteZerosTo(HANDLE file, uint64_t from, uint64_t to, char* buffer, size_t size) {
    if (from < to) std::memset(buffer, 0, size);
    while (from < to) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(size, to - from));
        if (!WriteAll(file, std::string_view(buffer, piece))) return false;
        from += piece;
    }
    return true;
}

}  // namespace

// A text that fits the buffer is handed on as one last piece: its length is
// known before any byte changes, and the file grows to it first, so a full
// disk fails while the old text is whole. A longer text is written as it is
// built; the disk's answer then comes part-way, and the old bytes go back.
// A shorter text is written over the old one's tail before the file is cut,
// its zeros in the same write as the text's end where the buffer holds them:
// a writer killed before the cut, the likeliest moment as the flush before it
// takes most of a save's time, leaves the new text with zero bytes alone
// after its last line end, which read as no text.
InPlaceRewrite RewriteOpenFile(HANDLE file, const TipsListStore& list, std::string_view old) {
    InPlaceRewrite rewrite{InPlaceResult::NoMemory, {}};
    const size_t piece =
        std::max(kMinImagePiece, std::min<size_t>(TipsImageBytesAtMost(list) + 1, kFilePiece));
    // Room for the zeros up to the old text's end, a piece past the last at most.
    const size_t bufferSize = std::max(piece, std::min<size_t>(old.size(), piece + kFilePiece));
    const std::unique_ptr<char[]> block(new (std::nothrow) char[bufferSize]);
    char* const buffer = block.get();
    if (!buffer) return rewrite;
    rewrite.result = InPlaceResult::Rewritten;
    uint64_t at = 0;
    const auto put = [&](std::string_view bytes, bool last) {
        if (last && bytes.data() == buffer) {
            const uint64_t end = at + bytes.size();
            if (at == 0 && end > old.size() && !(CutTo(file, end) && SeekTo(file, 0))) return false;
            const size_t room = bufferSize - bytes.size();
            const size_t zeros =
                end < old.size() ? static_cast<size_t>(std::min<uint64_t>(old.size() - end, room))
                                 : 0;
            std::memset(buffer + bytes.size(), 0, zeros);
            bytes = std::string_view(buffer, bytes.size() + zeros);
        }
        at += bytes.size();
        return WriteAll(file, bytes);
    };
    if (SeekTo(file, 0)) rewrite.image = PutTipsImage(list, buffer, piece, put);
    const bool shrinks = rewrite.image.size < old.size();
    if (rewrite.image.put && WriteZerosTo(file, at, old.size(), buffer, bufferSize) &&
        FlushFileBuffers(file) &&
        (!shrinks || (CutTo(file, rewrite.image.size) && FlushFileBuffers(file))))
        return rewrite;
    const DWORD error = GetLastError();
    rewrite.result = PutOldBytesBack(file, old) ? InPlaceResult::AsItWas : InPlaceResult::Changed;
    SetLastError(error);
    return rewrite;
}

bool PutOldBytesBack(HANDLE file, std::string_view old) {
    const bool written = SeekTo(file, 0) && WriteAll(file, old);
    const bool cut = CutTo(file, old.size());
    return FlushFileBuffers(file) && written && cut;
}

namespace {

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

}  // namespace

bool PutBackUnfinishedRewrite(const char* path, UnfinishedRewrite& unfinished,
                              const WaitBudget& budget) {
    if (!unfinished.Pending()) return true;
    OpenedBytes opened = ReadHeldFile(path, GENERIC_READ | GENERIC_WRITE, 0, budget);
    if (!opened.bytes.block.Get()) return false;
    const std::string_view now = opened.bytes.View();
    const bool ours = !unfinished.attempted.bytes ||
                      LeftByRewrite(now, unfinished.old.View(), unfinished.attempted.View());
    if (ours && now != unfinished.old.View() &&
        !PutOldBytesBack(opened.file.Get(), unfinished.old.View()))
        return false;
    unfinished = {};
    return true;
}
