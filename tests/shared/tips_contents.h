// A tips list's texts as plain strings, for comparison with what a test or
// benchmark put in. Free of Windows headers: the native build uses it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tips/tips_list.h"

using Tips = std::vector<std::string>;

// A tips file's text: the counter line, then each tip, each line ended by CR LF.
inline std::string TipsFileText(const Tips& tips) {
    std::string text = "0000// current line\r\n";
    for (const std::string& tip : tips) text += tip + "\r\n";
    return text;
}

inline Tips Contents(const TipsListStore& list) {
    Tips out;
    for (uint32_t i = 0; i < list.Count(); ++i) out.emplace_back(list.At(i));
    return out;
}
