#include "tips/tips_list.h"

uint32_t TipsListStore::Count() const {
    return static_cast<uint32_t>(tips.size());
}

const char* TipsListStore::At(uint32_t position) const {
    return tips[position].c_str();
}

void TipsListStore::Append(std::string_view text) {
    tips.emplace_back(text);
}

void TipsListStore::ReplaceAt(uint32_t position, std::string_view text) {
    tips[position].assign(text);
}

void TipsListStore::EraseAt(uint32_t position) {
    tips.erase(tips.begin() + position);
}

void TipsListStore::ReplaceAll(TipTexts&& texts) {
    // A swap allocates nothing, so it cannot fail halfway.
    tips.swap(texts);
    texts.clear();
}
