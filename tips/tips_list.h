// The in-memory tips, in file order. Positions are zero-based and equal the
// rows of the manager's list box; callers pass only positions below Count().
// Free of Windows headers so it also builds natively.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

// An ordered run of tip texts, as the list keeps them.
using TipTexts = std::deque<std::string>;

struct TipsListStore {
    TipTexts tips;

    uint32_t Count() const;
    // The tip's own zero-terminated text; an empty tip gives "".
    const char* At(uint32_t position) const;
    void Append(std::string_view text);
    void ReplaceAt(uint32_t position, std::string_view text);
    void EraseAt(uint32_t position);
    // Takes the texts over; the old tips are dropped.
    void ReplaceAll(TipTexts&& texts);
};
