#include "tips/tips_text.h"

std::vector<std::string> SplitTipsLines(std::string_view text) {
    // Counted first, so a large file's lines are never moved to a grown array
    // and the array takes no more memory than the lines need.
    size_t count = 0;
    for (size_t end = 0; (end = text.find(kLineEnd, end)) != std::string_view::npos;
         end += kLineEnd.size())
        ++count;

    std::vector<std::string> lines;
    lines.reserve(count);
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
