#include "tips/tips_text.h"

#include <cstring>

TipTexts SplitTipsLines(std::string_view text) {
    // A deque grows without moving the lines already split, and the list takes
    // it over as it is.
    TipTexts lines;
    size_t position = 0;
    for (;;) {
        const size_t end = text.find(kLineEnd, position);
        if (end == std::string_view::npos) break;
        lines.emplace_back(text.substr(position, end - position));
        position = end + kLineEnd.size();
    }
    return lines;
}

std::string BuildTipsImage(const TipsListStore& tips) {
    size_t length = kCounterLine.size() + kLineEnd.size();
    for (const std::string& tip : tips.tips) length += tip.size() + kLineEnd.size();

    std::string image;
    image.reserve(length);
    image.append(kCounterLine).append(kLineEnd);
    for (uint32_t i = 0; i < tips.Count(); ++i) image.append(tips.At(i)).append(kLineEnd);
    return image;
}

std::string_view TipsPartOf(std::string_view text) {
    const size_t end = text.find(kLineEnd);
    return end == std::string_view::npos ? text : text.substr(end + kLineEnd.size());
}

namespace {

// Odd 64-bit constants with well-spread bits (from splitmix64).
constexpr uint64_t kMultiplier = 0xBF58476D1CE4E5B9u;
constexpr uint64_t kFinalMultiplier = 0x94D049BB133111EBu;

// Two lanes of eight bytes each go through independent multiplies, so a
// 32-bit processor works on both at once; together they cost little next to
// reading the same bytes from a file.
uint64_t Step(uint64_t lane, uint64_t word) {
    lane = (lane ^ word) * kMultiplier;
    return lane ^ (lane >> 31);
}

uint64_t WordAt(const char* bytes, size_t available) {
    uint64_t word = 0;
    std::memcpy(&word, bytes, available < 8 ? available : 8);
    return word;
}

}  // namespace

uint64_t HashTipsText(std::string_view text) {
    if (text.empty()) return 0;
    const char* bytes = text.data();
    const size_t size = text.size();
    uint64_t first = size;
    uint64_t second = ~uint64_t{size};
    size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        first = Step(first, WordAt(bytes + i, 8));
        second = Step(second, WordAt(bytes + i + 8, 8));
    }
    // The last one to fifteen bytes, zero-padded: the length in the seeds tells
    // a padded tail from real zero bytes.
    if (i < size) first = Step(first, WordAt(bytes + i, size - i));
    if (i + 8 < size) second = Step(second, WordAt(bytes + i + 8, size - i - 8));
    uint64_t hash = (first ^ (second * kFinalMultiplier)) * kMultiplier;
    return hash ^ (hash >> 29);
}
