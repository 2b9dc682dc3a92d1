// The tips file's text format: a counter line, then one tip per line, every line
// ended by CR LF. Free of Windows headers so it also builds natively for fuzzing.
#pragma once

#include <string>
#include <string_view>

#include "tips/tips_list.h"

// The counter line every write starts with; the reader never looks at it.
constexpr std::string_view kCounterLine = "0000// current line";
constexpr std::string_view kLineEnd = "\r\n";

// Every line of text that CR LF ends, without its CR LF. A lone CR or LF stays
// inside its line, and bytes after the last CR LF form no line.
TipTexts SplitTipsLines(std::string_view text);

// The whole file image for the tips: the counter line, then every tip in order.
std::string BuildTipsImage(const TipsListStore& tips);
