#include "tips/tips_list.h"

#include <iterator>

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

void TipsListStore::ReplaceAll(std::vector<std::string>&& texts) {
    // Built aside and swapped in, so running out of memory leaves the old tips.
    std::deque<std::string> fresh(std::make_move_iterator(texts.begin()),
                                  std::make_move_iterator(texts.end()));
    tips.swap(fresh);
}
