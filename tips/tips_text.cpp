#include "tips/tips_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// The scan tests sixteen bytes at a time, as four words: a file's lines are
// tens of bytes long and hold no zero, so most blocks need no closer look.
// Loads go through memcpy and never reach past the given bytes.
using Word = uint32_t;
constexpr Word kHighs = 0x80808080u;
constexpr Word kBelowLf = 0x0E0E0E0Eu;  // 14 in every byte: the bytes 0 to 13
constexpr size_t kBlock = 4 * sizeof(Word);

Word LoadWord(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Nonzero exactly when some byte of the kBlock bytes is below 14. Zero and CR,
// the only bytes at which the text or a line can end, are; so are the rare
// tabs and lone LFs, which the closer look passes over.
Word BlockMayEndSomething(const char* bytes) {
    Word found = 0;
    for (size_t offset = 0; offset < kBlock; offset += sizeof(Word)) {
        const Word word = LoadWord(bytes + offset);
        found |= (word - kBelowLf) & ~word & kHighs;
    }
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
    size_t i = size;            // every byte from i on has been looked at
    while (i > 0) {
        if (i >= kBlock && !BlockMayEndSomething(text + i - kBlock)) {
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
            } else if (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n') {
                text[i] = '\0';
                starts.push_back(text + i + kLineEnd.size());
            }
        }
    }
    // The first line is the counter line; what follows the last CR LF is no line.
    CutLines lines;
    lines.counterLine = !starts.empty();
    if (lines.counterLine) {
        std::reverse(starts.begin(), starts.end());
        starts.pop_back();
        lines.tips = std::move(starts);
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
