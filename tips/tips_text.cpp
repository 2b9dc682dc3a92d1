#include "tips/tips_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "tips/tips_stamp.h"

namespace {

// The scan tests sixteen bytes at a time, as four words: a file's lines are
// tens of bytes long and hold no zero, so most blocks need no closer look.
// Loads go through memcpy and never reach past the given bytes.
using Word = uint32_t;
constexpr Word kHighs = 0x80808080u;
constexpr size_t kBlock = 4 * sizeof(Word);
// A byte bound repeated in each byte of a word.
constexpr Word kZeroBound = 0x01010101u;      // below 1: a zero byte
constexpr Word kFourteenBound = 0x0E0E0E0Eu;  // below 14

Word LoadWord(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Nonzero exactly when some byte of the word is below the bound: the "has a
// byte less than n" word test.
Word HasByteBelow(Word word, Word bound) {
    return (word - bound) & ~word & kHighs;
}

// Nonzero exactly when some byte of the kBlock bytes is below the bound. With
// 14: zero and CR, the only bytes at which the text or a line can end, are
// below it; so are the rare tabs and lone LFs, which the closer look passes
// over.
Word BlockHasByteBelow(const char* bytes, Word bound) {
    Word found = 0;
    for (size_t offset = 0; offset < kBlock; offset += sizeof(Word))
        found |= HasByteBelow(LoadWord(bytes + offset), bound);
    return found;
}

}  // namespace

CutLines CutTipsLines(char* text, size_t size) {
    // One pass finds both the text's end and its lines, and it runs from the
    // last byte to the first: the read has just written the buffer front to
    // back, so its end is still in cache while its start is not, and for a
    // large file that saves a good part of the pass. Positions grow by
    // doubling, since counting the lines first would be another pass.
    std::vector<char*> starts;  // just past each CR LF, from the last one down
    size_t firstLineEnd = size;
    size_t textEnd = size;
    size_t i = size;  // every byte from i on has been looked at
    while (i > 0) {
        if (i >= kBlock && !BlockHasByteBelow(text + i - kBlock, kFourteenBound)) {
            i -= kBlock;
            continue;
        }
        const size_t blockStart = i >= kBlock ? i - kBlock : 0;
        while (i > blockStart) {
            --i;
            if (text[i] == '\0') {
                // The text ends here: what was cut beyond it was never a line.
                for (char* start : starts) start[-2] = '\r';
                starts.clear();
                textEnd = i;
            } else if (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n') {
                text[i] = '\0';
                starts.push_back(text + i + kLineEnd.size());
                firstLineEnd = i;
            }
        }
    }
    // The first line is the counter line; what follows the last CR LF is no line.
    CutLines lines;
    lines.firstLineEnd = firstLineEnd;
    lines.textEnd = textEnd;
    lines.counterLine = !starts.empty();
    if (lines.counterLine) {
        std::reverse(starts.begin(), starts.end());
        lines.linesEnd = static_cast<size_t>(starts.back() - text);
        starts.pop_back();
        lines.tips = std::move(starts);
    }
    return lines;
}

namespace {

// Copies a tip to out and returns the end. Tips are mostly a few dozen bytes,
// for which a call into the C runtime's memcpy costs more than the copy.
char* CopyTip(char* out, std::string_view text) {
    if (text.size() > 256) {
        std::memcpy(out, text.data(), text.size());
        return out + text.size();
    }
    const char* from = text.data();
    size_t left = text.size();
    for (; left >= 4; left -= 4, from += 4, out += 4) std::memcpy(out, from, 4);
    if (left & 2) {
        std::memcpy(out, from, 2);
        out += 2;
        from += 2;
    }
    if (left & 1) *out++ = *from;
    return out;
}

constexpr size_t kHashChunk = 4096;

// Where the first zero byte of the kBlock bytes lies; kBlock when none does.
// The word test's lowest flag marks the word's first zero byte exactly: only
// bytes after a zero can be flagged falsely, and a little-endian word holds
// its first byte lowest.
size_t FirstZeroInBlock(const char* bytes) {
    for (size_t offset = 0; offset < kBlock; offset += sizeof(Word)) {
        if (const Word zeros = HasByteBelow(LoadWord(bytes + offset), kZeroBound))
            return offset + static_cast<size_t>(__builtin_ctz(zeros)) / 8;
    }
    return kBlock;
}

// Copies a zero-terminated tip that lies in a block ending at blockEnd to
// out, and returns the end of the copy; null when the tip does not fit before
// outEnd. Sixteen bytes at a time while as many are left in the block and
// free before outEnd, so no load or store reaches past either. The bytes
// copied past the tip's end are written over by its line end and what
// follows, or lie past the text handed on. A tip read from the file is
// measured and copied in one pass, with no call into the C runtime.
char* CopyTipInBlock(char* out, const char* outEnd, const char* text, const char* blockEnd) {
    if (out > outEnd) return nullptr;
    while (blockEnd - text >= static_cast<ptrdiff_t>(kBlock) &&
           outEnd - out >= static_cast<ptrdiff_t>(kBlock)) {
        std::memcpy(out, text, kBlock);
        const size_t zero = FirstZeroInBlock(text);
        out += zero;
        if (zero < kBlock) return out;
        text += kBlock;
    }
    for (; *text; ++text) {
        if (out >= outEnd) return nullptr;
        *out++ = *text;
    }
    return out;
}

}  // namespace

PutTipsImageResult PutTipsImage(const TipsListStore& tips, char* const start, size_t capacity,
                                const PutImagePiece& put) {
    // One pass over the tips: each is measured as it is copied, or just
    // before, and hashed every few kilobytes while it is in the cache. A tip
    // ends before the limit: the last bytes stay free for its line end and
    // the zero byte after the image.
    const char* const limit = start + capacity - kLineEnd.size() - 1;
    char* out = start + kCounterLine.copy(start, kCounterLine.size());
    out += kLineEnd.copy(out, kLineEnd.size());
    const auto fits = [&](size_t size) {
        return out <= limit && static_cast<size_t>(limit - out) >= size;
    };
    const char* hashed = out;
    StreamedTextHash hash;
    PutTipsImageResult result;
    const auto putPiece = [&](std::string_view piece, bool last) {
        result.size += piece.size();
        return put(piece, last);
    };
    // The buffer so far handed on, and the buffer free again.
    const auto putBuffer = [&](bool last) {
        hash.Feed(hashed, static_cast<size_t>(out - hashed));
        const bool taken =
            putPiece(std::string_view(start, static_cast<size_t>(out - start)), last);
        out = start;
        hashed = start;
        return taken;
    };
    const char* const blockEnd = tips.BlockEnd();
    for (uint32_t i = 0, count = tips.Count(); i < count; ++i) {
        const char* const tip = tips.At(i);
        char* copied = tips.InBlock(tip) ? CopyTipInBlock(out, limit, tip, blockEnd) : nullptr;
        if (!copied) {
            const std::string_view text = tip;
            if (!fits(text.size()) && out != start) {
                if (!putBuffer(false)) return result;
            }
            if (!fits(text.size())) {
                // Longer than a piece: handed on from the list itself.
                hash.Feed(text.data(), text.size());
                if (!putPiece(text, false)) return result;
                copied = out;
            } else {
                copied = CopyTip(out, text);
            }
        }
        out = copied;
        *out++ = '\r';
        *out++ = '\n';
        if (static_cast<size_t>(out - hashed) >= kHashChunk) {
            hash.Feed(hashed, static_cast<size_t>(out - hashed));
            hashed = out;
        }
    }
    *out = '\0';
    if (out != start && !putBuffer(true)) return result;
    result.put = true;
    result.tipsHash = hash.Finish();
    return result;
}

size_t TipsImageBytesAtMost(const TipsListStore& tips) {
    return kCounterLine.size() + kLineEnd.size() + tips.TextBytesAtMost() +
           size_t{tips.Count()} * kLineEnd.size();
}

TipsImage BuildTipsImage(const TipsListStore& tips) {
    // The block is not zero-filled: new bytes were never a cost the plainest
    // save pays. The whole image fits, so it is handed on once.
    const size_t capacity = TipsImageBytesAtMost(tips) + 1;
    TipsImage image{std::unique_ptr<char[]>(new char[capacity]), 0, 0};
    bool whole = true;
    const PutTipsImageResult built =
        PutTipsImage(tips, image.bytes.get(), capacity, [&](std::string_view piece, bool) {
            // The list's bound holds every tip; a list that broke it fails the
            // save rather than have it written past the block.
            whole = whole && piece.data() == image.bytes.get() && image.size == 0;
            image.size = piece.size();
            return whole;
        });
    if (!built.put) throw std::length_error("tips beyond the list's bound");
    image.tipsHash = built.tipsHash;
    return image;
}

size_t CutTipsPartLength(size_t size, const CutLines& cut) {
    return cut.firstLineEnd < size ? size - cut.firstLineEnd - kLineEnd.size() : size;
}

uint32_t NotShownTextOf(const char* text, size_t size, const CutLines& cut) {
    const size_t tipsStart = size - CutTipsPartLength(size, cut);
    if (tipsStart == size) return 0;
    // Only the bytes after the last line hold anything else; in a file written
    // by the list they are none, so this looks at a few bytes at most.
    const size_t tailStart = std::max(cut.linesEnd, tipsStart);
    // Zero bytes alone after the last line end hold no text, and writing the
    // list drops nothing a user could miss: a file grown in place and cut
    // short by a crash ends so. A zero byte in the counter line drops every
    // line after it, and one with text after it drops that text.
    const bool zerosAlone =
        cut.textEnd == tailStart &&
        std::all_of(text + cut.textEnd, text + size, [](char c) { return c == '\0'; });
    uint32_t notShown = cut.textEnd < size && !zerosAlone ? kNotShownZeroByte : 0;
    if (tailStart < cut.textEnd) {
        const char* tail = text + tailStart;
        const size_t length = cut.textEnd - tailStart;
        if (std::memchr(tail, '\n', length) || std::memchr(tail, '\r', length))
            notShown |= kNotShownLineEnds;
        const char last = tail[length - 1];
        if (cut.textEnd == size && last != '\n' && last != '\r') notShown |= kNotShownLastLine;
    }
    return notShown;
}

namespace {

// The lines in text as NotShownLinesOf counts them. Zero bytes are passed
// over: a file saved as UTF-16 has one after every CR and LF, and its lines
// are the ones a user sees in it.
uint32_t CountLinesOfAnyEnd(std::string_view text) {
    uint32_t lines = 0;
    char last = '\n';  // the last byte other than zero; none yet ends no line
    for (const char c : text) {
        if (c == '\0') continue;
        // An LF right after a CR ends the line the CR ended.
        if (c == '\r' || (c == '\n' && last != '\r')) ++lines;
        last = c;
    }
    return lines + (last != '\r' && last != '\n' ? 1 : 0);
}

}  // namespace

uint32_t NotShownLinesOf(const char* text, size_t size, const CutLines& cut) {
    const size_t tipsStart = size - CutTipsPartLength(size, cut);
    const size_t tailStart = std::max(cut.linesEnd, tipsStart);
    // Past linesEnd the cut changed nothing: the bytes are the file's.
    return tailStart < size
               ? CountLinesOfAnyEnd(std::string_view(text + tailStart, size - tailStart))
               : 0;
}

uint32_t CountCrLfLines(std::string_view text) {
    uint32_t lines = 0;
    for (size_t at = text.find(kLineEnd); at != std::string_view::npos;
         at = text.find(kLineEnd, at + kLineEnd.size()))
        ++lines;
    return lines;
}

void CrLfLineCount::Feed(std::string_view piece) {
    if (piece.empty()) return;
    lines += CountCrLfLines(piece) + (last == '\r' && piece.front() == '\n' ? 1 : 0);
    last = piece.back();
}
