// Any bytes as the text of tips.rc: the split must not fault, and the tips it
// yields never hold a line end or a zero byte, and lose no byte of the text.
// The tips part's hash taken as the bytes are read is the hash of the tips
// part, and what the cut leaves out of the tips part is named.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "tests/shared/tips_text_helpers.h"
#include "tips/tips_stamp.h"
#include "tips/tips_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader's text stops at the first zero byte; the split must stop there too.
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* zero = memchr(bytes, 0, size);
    const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;
    const std::string_view text(bytes, length);

    const TipTexts lines = SplitTipsLines(std::string_view(bytes, size));

    std::string joined;
    for (const std::string& line : lines) {
        if (line.find(kLineEnd) != std::string::npos) abort();
        if (line.find('\0') != std::string::npos) abort();
        joined.append(line).append(kLineEnd);
    }
    // The lines put back together are the text up to its last CR LF, and what
    // follows it holds no CR LF.
    if (text.substr(0, joined.size()) != joined) abort();
    if (text.substr(joined.size()).find(kLineEnd) != std::string_view::npos) abort();

    // Cut in heap blocks of exactly the text's size, so that the sanitizer
    // sees where its bytes end.
    const std::unique_ptr<char[]> cut(new char[size]);
    if (size) memcpy(cut.get(), bytes, size);
    const CutLines cutLines = CutTipsLines(cut.get(), size);
    const std::string_view tipsPart = TipsPartOf(std::string_view(bytes, size));
    if (CutTipsPartLength(size, cutLines) != tipsPart.size()) abort();
    // Fed the bytes in pieces, as a file is read, the hasher finds the same
    // tips part, and any one byte changed in it changes its hash.
    const auto seenInPieces = [&](std::string_view all, size_t pieceSize) {
        TipsPartHasher hasher(true);
        for (size_t at = 0; at < all.size(); at += pieceSize)
            hasher.Feed(all.substr(at, pieceSize));
        return hasher.Seen();
    };
    const std::string_view all(bytes, size);
    const TipsPartSeen seen = seenInPieces(all, 1 + size % 23);
    if (seen.length != tipsPart.size() || seen.hash != HashTipsText(tipsPart)) abort();
    if (seen.lines != CountCrLfLines(tipsPart)) abort();
    {
        StreamedTextHash hash;
        CrLfLineCount lineCount;
        const size_t pieceSize = 1 + size % 11;
        for (size_t at = 0; at < tipsPart.size(); at += pieceSize) {
            const std::string_view piece = tipsPart.substr(at, pieceSize);
            hash.Feed(piece.data(), piece.size());
            lineCount.Feed(piece);
        }
        if (hash.Finish() != HashTipsText(tipsPart)) abort();
        if (lineCount.lines != CountCrLfLines(tipsPart)) abort();
    }
    if (!tipsPart.empty()) {
        // One bit flipped, or the byte made a zero (or a zero made one).
        std::string changed(all);
        char& byte = changed[size - tipsPart.size() + size % tipsPart.size()];
        const char was = byte;
        for (const char now : {static_cast<char>(was ^ 1), was ? '\0' : '\1'}) {
            byte = now;
            // Still the same tips part where the change made no new CR LF.
            if (TipsPartOf(changed).size() == tipsPart.size() &&
                seenInPieces(changed, 1 + size % 7).hash == seen.hash)
                abort();
        }
    }

    // Nothing is left out exactly when the tips part is the tips, each ended by
    // CR LF, as the writer would write them back, and at most zero bytes after
    // them; a zero byte is named when text goes with it.
    std::string written;
    for (size_t i = 1; i < lines.size(); ++i) written.append(lines[i]).append(kLineEnd);
    const size_t droppedStart = size - tipsPart.size() + written.size();
    const bool zerosAlone = zero == bytes + droppedStart &&
                            std::string_view(bytes, size).find_first_not_of('\0', droppedStart) ==
                                std::string_view::npos;
    const uint32_t notShown = NotShownTextOf(cut.get(), size, cutLines);
    if ((notShown == 0) != (tipsPart == written || zerosAlone)) abort();
    if (((notShown & kNotShownZeroByte) != 0) != (zero && !tipsPart.empty() && !zerosAlone))
        abort();
    // What the text holds of the tips part beyond the tips: its line ends and
    // its last byte name the rest.
    const std::string_view dropped =
        droppedStart < length ? text.substr(droppedStart) : std::string_view();
    const bool lineEnds = dropped.find_first_of("\r\n") != std::string_view::npos;
    const bool lastLine =
        !zero && !dropped.empty() && dropped.back() != '\r' && dropped.back() != '\n';
    if (((notShown & kNotShownLineEnds) != 0) != lineEnds) abort();
    if (((notShown & kNotShownLastLine) != 0) != lastLine) abort();
    return 0;
}
