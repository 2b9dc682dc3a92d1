// The in-memory tips, in file order. Positions are zero-based and equal the
// rows of the manager's list box; callers pass only positions below Count().
// Free of Windows headers so it also builds natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// An ordered run of tip texts, as callers hand them over.
using TipTexts = std::deque<std::string>;

// Gives a block of text taken over from the reader back to where it came from.
using ReleaseBlock = void (*)(char* block);

// The texts the reader read stay where it read them, in one block: each tip is
// a pointer into it, so a file of a million tips costs one allocation, not a
// million. Texts that edits bring in get a heap copy each; a tip's pointer lies
// either inside the block or at such a copy, and only copies are freed one by one.
class TipsListStore {
public:
    TipsListStore() = default;
    ~TipsListStore() { DropAll(); }
    TipsListStore(const TipsListStore&) = delete;
    TipsListStore& operator=(const TipsListStore&) = delete;

    uint32_t Count() const { return static_cast<uint32_t>(tips_.size()); }
    // The tip's own zero-terminated text; an empty tip gives "".
    const char* At(uint32_t position) const { return tips_[position]; }
    void Append(std::string_view text);
    void ReplaceAt(uint32_t position, std::string_view text);
    void EraseAt(uint32_t position);
    // Drops the tips at the given positions, ascending and each below Count(),
    // in one pass however many there are.
    void EraseSorted(const std::vector<int32_t>& positions);
    // Copies of the texts replace every tip; on failure the list is as it was.
    void ReplaceAll(const TipTexts& texts);
    // The tips become the zero-terminated texts at `tips`, every one inside the
    // `size` bytes at `block`. The list owns the block from now on and hands it
    // to `release` when its content is next replaced, or at its end. The old
    // tips are dropped. Allocates nothing, so it cannot fail halfway.
    void TakeBlock(char* block, size_t size, ReleaseBlock release,
                   std::vector<char*>&& tips) noexcept;

    // Whether the text lies in the block taken over from the reader, which
    // ends at BlockEnd().
    bool InBlock(const char* text) const {
        // std::less orders pointers into different allocations too; < need not.
        const std::less<const char*> before;
        return block_ && !before(text, block_) && before(text, block_ + blockSize_);
    }
    const char* BlockEnd() const { return block_ + blockSize_; }
    // At least the bytes every tip's text takes, its zero included: the
    // block's size and each copy's, so measuring the tips in the block costs
    // nothing.
    size_t TextBytesAtMost() const;

private:
    void DropText(char* text) const;
    void DropAll() noexcept;

    std::vector<char*> tips_;
    char* block_ = nullptr;
    size_t blockSize_ = 0;
    ReleaseBlock release_ = nullptr;
};
