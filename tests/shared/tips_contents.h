// A tips list's texts as plain strings, for comparison with what a test or
// benchmark put in. Free of Windows headers: the native build uses it too.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tips/tips_list.h"

using Tips = std::vector<std::string>;

// A tips file's text: the counter line, then each tip, each line ended by CR LF.
inline std::string TipsFileText(const Tips& tips) {
    std::string text = "0000// current line\r\n";
    for (const std::string& tip : tips) text += tip + "\r\n";
    return text;
}

// `count` numbered tips of 50 to 70 bytes (about 60 on average), for files of
// a realistic size.
inline Tips NumberedTips(uint32_t count) {
    Tips tips;
    tips.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::string tip = "Tip " + std::to_string(i) + ": ";
        tip.resize(50 + i % 21, static_cast<char>('a' + i % 26));
        tips.push_back(std::move(tip));
    }
    return tips;
}

inline Tips Contents(const TipsListStore& list) {
    Tips out;
    for (uint32_t i = 0; i < list.Count(); ++i) out.emplace_back(list.At(i));
    return out;
}
