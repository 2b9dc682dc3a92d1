#include "tips/tips_list.h"

#include <cstring>
#include <memory>
#include <utility>

namespace {

// A zero-terminated heap copy, owned by the caller until the list takes it.
std::unique_ptr<char[]> CopyText(std::string_view text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    text.copy(copy.get(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

}  // namespace

void TipsListStore::Append(std::string_view text) {
    // The slot is made while the copy still has its owner, which frees it
    // should that fail.
    std::unique_ptr<char[]> copy = CopyText(text);
    tips_.push_back(nullptr);
    tips_.back() = copy.release();
}

void TipsListStore::ReplaceAt(uint32_t position, std::string_view text) {
    char* copy = CopyText(text).release();
    DropText(tips_[position]);
    tips_[position] = copy;
}

void TipsListStore::EraseAt(uint32_t position) {
    DropText(tips_[position]);
    tips_.erase(tips_.begin() + position);
}

void TipsListStore::EraseSorted(const std::vector<int32_t>& positions) {
    // Each kept tip moves down once, straight to its new position.
    size_t kept = 0;
    size_t next = 0;
    for (size_t i = 0; i < tips_.size(); ++i) {
        if (next < positions.size() && static_cast<size_t>(positions[next]) == i) {
            ++next;
            DropText(tips_[i]);
            continue;
        }
        tips_[kept++] = tips_[i];
    }
    tips_.resize(kept);
}

void TipsListStore::ReplaceAll(const TipTexts& texts) {
    // Everything is copied before the old tips go, so a failure leaves them.
    std::vector<char*> copies;
    copies.reserve(texts.size());
    try {
        for (const std::string& text : texts) copies.push_back(CopyText(text).release());
    } catch (...) {
        for (char* copy : copies) delete[] copy;
        throw;
    }
    DropAll();
    tips_.swap(copies);
}

void TipsListStore::TakeBlock(char* block, size_t size, ReleaseBlock release,
                              std::vector<char*>&& tips) noexcept {
    DropAll();
    tips_ = std::move(tips);  // frees the old positions' storage too
    block_ = block;
    blockSize_ = size;
    release_ = release;
}

size_t TipsListStore::TextBytesAtMost() const {
    size_t bytes = blockSize_;
    for (const char* text : tips_)
        if (!InBlock(text)) bytes += std::strlen(text) + 1;
    return bytes;
}

void TipsListStore::DropText(char* text) const {
    if (!InBlock(text)) delete[] text;
}

void TipsListStore::DropAll() noexcept {
    for (char* text : tips_) DropText(text);
    tips_.clear();
    if (block_) release_(block_);
    block_ = nullptr;
    blockSize_ = 0;
    release_ = nullptr;
}
