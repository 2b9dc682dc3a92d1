#include "tips/tips_text.h"

#include <cstdint>
#include <cstring>

namespace {

// The scans go four bytes at a time: a file's lines are tens of bytes long and
// hold no zero, so most words need no closer look. Loads go through memcpy and
// never reach past the given bytes.
using Word = uint32_t;
constexpr Word kOnes = 0x01010101u;
constexpr Word kHighs = 0x80808080u;
constexpr Word kCrs = 0x0D0D0D0Du;

Word LoadWord(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Nonzero exactly when some byte of the word is zero.
Word HasZeroByte(Word word) {
    return (word - kOnes) & ~word & kHighs;
}

}  // namespace

size_t TextLength(const char* bytes, size_t size) {
    size_t i = 0;
    while (i + sizeof(Word) <= size && !HasZeroByte(LoadWord(bytes + i))) i += sizeof(Word);
    for (; i < size; ++i)
        if (bytes[i] == '\0') return i;
    return size;
}

size_t TipsStart(std::string_view text) {
    const size_t counterEnd = text.find(kLineEnd);
    return counterEnd == std::string_view::npos ? counterEnd : counterEnd + kLineEnd.size();
}

std::vector<char*> CutTipsLines(char* text, size_t length) {
    // The positions grow by doubling: counting the lines first would cost a
    // second pass over the whole text for a few percent of its size.
    std::vector<char*> lines;
    char* line = text;
    size_t i = 0;
    while (i < length) {
        if (i + sizeof(Word) <= length && !HasZeroByte(LoadWord(text + i) ^ kCrs)) {
            i += sizeof(Word);
        } else if (text[i] == '\r' && i + 1 < length && text[i + 1] == '\n') {
            text[i] = '\0';
            lines.push_back(line);
            i += kLineEnd.size();
            line = text + i;
        } else {
            ++i;
        }
    }
    return lines;
}

TipTexts SplitTipsLines(std::string_view text) {
    std::string copy(text);
    TipTexts lines;
    for (const char* line : CutTipsLines(copy.data(), copy.size())) lines.emplace_back(line);
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
