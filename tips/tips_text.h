// The tips file's text format: a counter line, then one tip per line, every line
// ended by CR LF. Free of Windows headers so it also builds natively for fuzzing.
#pragma once

#include <cstdint>
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
// The same, with the HashTipsText of the image's tips part, taken as it is built.
std::string BuildTipsImage(const TipsListStore& tips, uint64_t& tipsHash);

// Everything after the counter line: the part of a file that holds the tips, and
// so the part another program's edits to the tips change. A text without any
// CR LF is all tips part, so that no unread byte counts as the host's own.
std::string_view TipsPartOf(std::string_view text);

// A 64-bit hash of the text, for noticing that a file changed; not for
// security. The empty text hashes to 0, so a zeroed record of a tips part stands
// for an empty one.
uint64_t HashTipsText(std::string_view text);
