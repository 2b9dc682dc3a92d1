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

namespace {

// The hash works in steps of 16 bytes, two 8-byte words, over four lanes of 32
// bits: the module runs on 32-bit processors, where one 64-bit multiply costs
// three, and four independent lanes keep the multiplier busy.
constexpr size_t kHashStep = 16;

// The image is hashed every few kilobytes as it grows, while the bytes just
// appended are still in the cache; a second pass would read them from memory.
constexpr size_t kHashChunk = 4096;

struct HashLanes {
    uint32_t lane[4];
};

constexpr HashLanes kHashStart = {{0x9E3779B1u, 0x85EBCA77u, 0xC2B2AE3Du, 0x27D4EB2Fu}};

uint32_t RotateLeft(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

// For a given word, a lane's step is a bijection of the lane, so two texts of
// one length that differ anywhere leave some lane different.
uint32_t Mix(uint32_t lane, uint64_t word, int half, uint32_t prime) {
    return RotateLeft((lane ^ static_cast<uint32_t>(word >> (32 * half))) * prime, 13);
}

void HashSteps(HashLanes& lanes, const char* bytes, size_t size) {
    for (size_t i = 0; i < size; i += kHashStep) {
        uint64_t first, second;
        std::memcpy(&first, bytes + i, 8);
        std::memcpy(&second, bytes + i + 8, 8);
        lanes.lane[0] = Mix(lanes.lane[0], first, 0, 0x9E3779B1u);
        lanes.lane[1] = Mix(lanes.lane[1], first, 1, 0x85EBCA77u);
        lanes.lane[2] = Mix(lanes.lane[2], second, 0, 0xC2B2AE3Du);
        lanes.lane[3] = Mix(lanes.lane[3], second, 1, 0x27D4EB2Fu);
    }
}

// The last bytes (fewer than a step) zero-padded, then the lanes and the
// length folded into 64 bits and mixed as splitmix64 does.
uint64_t FinishHash(HashLanes lanes, std::string_view tail, size_t length) {
    if (!tail.empty()) {
        char padded[kHashStep] = {};
        tail.copy(padded, tail.size());
        HashSteps(lanes, padded, kHashStep);
    }
    const uint64_t high = (uint64_t{lanes.lane[0]} << 32) | lanes.lane[1];
    const uint64_t low = (uint64_t{lanes.lane[2]} << 32) | lanes.lane[3];
    uint64_t hash = high ^ ((low << 29) | (low >> 35)) ^ length;
    hash = (hash ^ (hash >> 30)) * 0xBF58476D1CE4E5B9u;
    hash = (hash ^ (hash >> 27)) * 0x94D049BB133111EBu;
    return hash ^ (hash >> 31);
}

}  // namespace

std::string BuildTipsImage(const TipsListStore& tips, uint64_t& tipsHash) {
    size_t length = kCounterLine.size() + kLineEnd.size();
    for (const std::string& tip : tips.tips) length += tip.size() + kLineEnd.size();

    std::string image;
    image.reserve(length);  // so data() stays put while the hash follows it
    image.append(kCounterLine).append(kLineEnd);
    const size_t tipsStart = image.size();
    HashLanes lanes = kHashStart;
    size_t hashed = tipsStart;
    for (const std::string& tip : tips.tips) {
        image.append(tip).append(kLineEnd);
        if (image.size() - hashed >= kHashChunk) {
            const size_t steps = (image.size() - hashed) / kHashStep * kHashStep;
            HashSteps(lanes, image.data() + hashed, steps);
            hashed += steps;
        }
    }
    const size_t steps = (image.size() - hashed) / kHashStep * kHashStep;
    HashSteps(lanes, image.data() + hashed, steps);
    hashed += steps;
    tipsHash = image.size() == tipsStart
                   ? 0
                   : FinishHash(lanes, std::string_view(image).substr(hashed),
                                image.size() - tipsStart);
    return image;
}

std::string BuildTipsImage(const TipsListStore& tips) {
    uint64_t tipsHash;
    return BuildTipsImage(tips, tipsHash);
}

std::string_view TipsPartOf(std::string_view text) {
    const size_t end = text.find(kLineEnd);
    return end == std::string_view::npos ? text : text.substr(end + kLineEnd.size());
}

uint64_t HashTipsText(std::string_view text) {
    if (text.empty()) return 0;
    HashLanes lanes = kHashStart;
    const size_t whole = text.size() / kHashStep * kHashStep;
    HashSteps(lanes, text.data(), whole);
    return FinishHash(lanes, text.substr(whole), text.size());
}
