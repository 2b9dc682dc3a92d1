#include "tips/tips_text.h"

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
