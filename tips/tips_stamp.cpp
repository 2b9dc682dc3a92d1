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

uint64_t HashTipsText(std::string_view text) {
    if (text.empty()) return 0;
    HashLanes lanes = kHashStart;
    const size_t whole = text.size() / kHashStep * kHashStep;
    HashSteps(lanes, text.data(), whole);
    return FinishHash(lanes, text.substr(whole), text.size());
}

StreamedTextHash::StreamedTextHash()
    : lanes_{kHashStart.lane[0], kHashStart.lane[1], kHashStart.lane[2], kHashStart.lane[3]},
      step_{},
      stepped_(0),
      length_(0) {}

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

uint64_t HashCutTipsPart(const char* text, size_t size, const CutLines& cut) {
    const size_t length = CutTipsPartLength(size, cut);
    const size_t start = size - length;
    if (length == 0) return 0;
    // Step by step, each step's bytes copied whole and the cut CRs put back.
    const auto copyStep = [&](size_t from, size_t count, char* step) {
        std::memcpy(step, text + start + from, count);
        const size_t cutEnd = cut.textEnd > start + from ? cut.textEnd - start - from : 0;
        char* const end = step + std::min(count, cutEnd);
        for (char* zero = step;
             (zero = static_cast<char*>(std::memchr(zero, '\0', static_cast<size_t>(end - zero))));
             ++zero)
            *zero = '\r';
    };
    HashLanes lanes = kHashStart;
    char step[kHashStep];
    size_t done = 0;
    for (; done + kHashStep <= length; done += kHashStep) {
        copyStep(done, kHashStep, step);
        HashSteps(lanes, step, kHashStep);
    }
    copyStep(done, length - done, step);
    return FinishHash(lanes, std::string_view(step, length - done), length);
}

void StampTipsPart(TipsFileStamp& stamp, const char* text, size_t size, const CutLines& cut,
                   bool keptByList) {
    stamp.tipsLength = CutTipsPartLength(size, cut);
    if (!keptByList) {
        stamp.tipsHash = HashCutTipsPart(text, size, cut);
        stamp.readText = nullptr;
        return;
    }
    stamp.readText = text;
    stamp.readSize = static_cast<uint32_t>(size);
    stamp.readTextEnd = static_cast<uint32_t>(cut.textEnd);
}

bool IsPendingReadOfLength(const TipsFileStamp& stamp, const TipsListStore& list,
                           size_t tipsLength) {
    return stamp.readText && list.Block() == stamp.readText && tipsLength == stamp.tipsLength;
}

bool PendingTipsPieceIs(const TipsFileStamp& stamp, size_t offset, const char* bytes,
                        size_t size) {
    const size_t start = stamp.readSize - static_cast<size_t>(stamp.tipsLength);
    const char* const cutPart = stamp.readText + start + offset;
    // Up to textEnd each zero was a CR the cut turned into a tip's end; the
    // bytes between them, and every byte after textEnd, are the file's own.
    // Eight bytes at a time: a tip's end comes every few dozen bytes, and a
    // call into the C runtime for each tip would cost more than the compare.
    const size_t textEnd = stamp.readTextEnd > start ? stamp.readTextEnd - start : 0;
    const size_t cutEnd = textEnd > offset ? std::min(textEnd - offset, size) : 0;
    const auto sameByte = [&](size_t at) {
        return cutPart[at] == '\0' ? bytes[at] == '\r' : cutPart[at] == bytes[at];
    };
    size_t at = 0;
    for (; at + 8 <= cutEnd; at += 8) {
        uint64_t cut, read;
        std::memcpy(&cut, cutPart + at, 8);
        std::memcpy(&read, bytes + at, 8);
        // Equal words pass unless the list's holds a zero: there the file
        // must hold the CR the cut took.
        const bool cutHasZero = (cut - 0x0101010101010101u) & ~cut & 0x8080808080808080u;
        if (cut == read && !cutHasZero) continue;
        for (size_t byte = at; byte < at + 8; ++byte)
            if (!sameByte(byte)) return false;
    }
    for (; at < cutEnd; ++at)
        if (!sameByte(at)) return false;
    return std::memcmp(cutPart + cutEnd, bytes + cutEnd, size - cutEnd) == 0;
}

bool PendingTipsPartIs(const TipsFileStamp& stamp, const TipsListStore& list,
                       std::string_view tips) {
    return IsPendingReadOfLength(stamp, list, tips.size()) &&
           PendingTipsPieceIs(stamp, 0, tips.data(), tips.size());
}
