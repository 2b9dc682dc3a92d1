// Ways into the tips text format that only the tests and the fuzzers need.
// Free of Windows headers: the native build uses them too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tips/tips_list.h"
#include "tips/tips_text.h"

// Every line of the text that CR LF ends, the counter line included, without
// its CR LF, as copies. The text ends at its first zero byte, as the reader's does.
inline TipTexts SplitTipsLines(std::string_view text) {
    std::string copy(text);
    const CutLines cut = CutTipsLines(copy.data(), copy.size());
    TipTexts lines;
    if (cut.counterLine) lines.emplace_back(copy.data());
    for (const char* tip : cut.tips) lines.emplace_back(tip);
    return lines;
}

// Everything after the counter line, as the stamp's hasher takes it a piece
// at a time: the part of a file that holds the tips. A text without any CR LF
// is all tips part.
inline std::string_view TipsPartOf(std::string_view text) {
    const size_t end = text.find(kLineEnd);
    return end == std::string_view::npos ? text : text.substr(end + kLineEnd.size());
}

// The whole file image for the tips, as text.
inline std::string ImageText(const TipsListStore& tips) {
    return std::string(BuildTipsImage(tips).View());
}
