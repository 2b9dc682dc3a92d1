#include "tips/tips_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The scan tests sixteen bytes at a time, as four words: a file's lines are
// tens of bytes long and hold no zero, so most blocks need no closer look.
// Loads go through memcpy and never reach past the given bytes.
using Word = uint32_t;
constexpr Word kOnes = 0x01010101u;
constexpr Word kHighs = 0x80808080u;
constexpr Word kCrs = 0x0D0D0D0Du;
constexpr size_t kBlock = 4 * sizeof(Word);

Word LoadWord(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Nonzero exactly when some byte of the word is zero.
Word HasZeroByte(Word word) {
    return (word - kOnes) & ~word & kHighs;
}

// Nonzero when some byte of the kBlock bytes is a zero or a CR: the only bytes
// at which the reader's text can end or a line can.
Word BlockHasZeroOrCr(const char* bytes) {
    Word found = 0;
    for (size_t offset = 0; offset < kBlock; offset += sizeof(Word)) {
        const Word word = LoadWord(bytes + offset);
        found |= HasZeroByte(word) | HasZeroByte(word ^ kCrs);
    }
    return found;
}

}  // namespace

CutLines CutTipsLines(char* text, size_t size) {
    // One pass finds both the text's end and its lines: for a large file each
    // pass over the text costs about as much as the read itself. The positions
    // grow by doubling, since counting the lines first would be another pass.
    CutLines lines;
    char* line = text;
    size_t i = 0;
    while (i < size) {
        if (i + kBlock <= size && !BlockHasZeroOrCr(text + i)) {
            i += kBlock;
            continue;
        }
        // A CR in the block's last byte may have its LF just past the block.
        const size_t blockEnd = std::min(i + kBlock, size);
        while (i < blockEnd) {
            if (text[i] == '\0') return lines;
            if (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n') {
                text[i] = '\0';
                if (lines.counterLine)
                    lines.tips.push_back(line);
                else
                    lines.counterLine = true;
                i += kLineEnd.size();
                line = text + i;
            } else {
                ++i;
            }
        }
    }
    return lines;
}

TipTexts SplitTipsLines(std::string_view text) {
    std::string copy(text);
    const CutLines cut = CutTipsLines(copy.data(), copy.size());
    TipTexts lines;
    if (cut.counterLine) lines.emplace_back(copy.data());
    for (const char* tip : cut.tips) lines.emplace_back(tip);
    return lines;
}

std::string BuildTipsImage(const TipsListStore& tips) {
    size_t length = kCounterLine.size() + kLineEnd.size();
    for (uint32_t i = 0; i < tips.Count(); ++i) length += std::strlen(tips.At(i)) + kLineEnd.size();

    std::string image;
    image.reserve(length);
    image.append(kCounterLine).append(kLineEnd);
    for (uint32_t i = 0; i < tips.Count(); ++i) image.append(tips.At(i)).append(kLineEnd);
    return image;
}
