#include "tips/tips_stamp.h"

#include <algorithm>
#include <cstring>

namespace {

// The hash works in steps of 16 bytes, two 8-byte words, over four lanes of 32
// bits: the module runs on 32-bit processors, where one 64-bit multiply costs
// three, and four independent lanes keep the multiplier busy.
constexpr size_t kHashStep = 16;

struct HashLanes {
    uint32_t lane[4];
};

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

void StreamedTextHash::Feed(const char* bytes, size_t size) {
    length_ += size;
    HashLanes lanes = {{lanes_[0], lanes_[1], lanes_[2], lanes_[3]}};
    if (stepped_) {
        const size_t taken = std::min(size, kHashStep - stepped_);
        std::memcpy(step_ + stepped_, bytes, taken);
        stepped_ += taken;
        bytes += taken;
        size -= taken;
        if (stepped_ < kHashStep) return;
        HashSteps(lanes, step_, kHashStep);
        stepped_ = 0;
    }
    const size_t whole = size / kHashStep * kHashStep;
    HashSteps(lanes, bytes, whole);
    std::memcpy(lanes_, lanes.lane, sizeof lanes_);
    stepped_ = size - whole;
    std::memcpy(step_, bytes + whole, stepped_);
}

uint64_t StreamedTextHash::Finish() const {
    if (length_ == 0) return 0;
    const HashLanes lanes = {{lanes_[0], lanes_[1], lanes_[2], lanes_[3]}};
    return FinishHash(lanes, std::string_view(step_, stepped_), length_);
}

uint64_t HashTipsText(std::string_view text) {
    StreamedTextHash hash;
    hash.Feed(text.data(), text.size());
    return hash.Finish();
}

void TipsPartHasher::Feed(std::string_view piece) {
    if (piece.empty()) return;
    if (!counterLineEnded_) {
        const size_t lineEnd = piece.find(kLineEnd);
        const size_t tipsStart = last_ == '\r' && piece.front() == '\n' ? 1
                                 : lineEnd == std::string_view::npos    ? lineEnd
                                                                        : lineEnd + kLineEnd.size();
        last_ = piece.back();
        if (tipsStart == std::string_view::npos) {
            whole_.Feed(piece.data(), piece.size());
            return;
        }
        counterLineEnded_ = true;
        piece.remove_prefix(tipsStart);
    }
    tips_.Feed(piece.data(), piece.size());
    if (countLines_) lines_.Feed(piece);
}

TipsPartSeen TipsPartHasher::Seen() const {
    if (!counterLineEnded_) return {whole_.Length(), whole_.Finish(), 0};
    return {tips_.Length(), tips_.Finish(), lines_.lines};
}
