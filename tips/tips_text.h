// The tips file's text format: a counter line, then one tip per line, every line
// ended by CR LF. Free of Windows headers so it also builds natively for fuzzing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tips/tips_list.h"

// The counter line every write starts with; the reader never looks at it.
constexpr std::string_view kCounterLine = "0000// current line";
constexpr std::string_view kLineEnd = "\r\n";

// How many of the `size` bytes come before the first zero byte: the length of
// the text they hold.
size_t TextLength(const char* bytes, size_t size);

// Where the tips begin in a text: just past the counter line's CR LF, or npos
// when the text holds no line at all.
size_t TipsStart(std::string_view text);

// Turns every line of the `length` bytes at text that CR LF ends into a
// zero-terminated string where it stands: the line's CR becomes its zero.
// Gives the start of each such line, in order. A lone CR or LF stays inside its
// line, and bytes after the last CR LF form no line and are left as they were.
std::vector<char*> CutTipsLines(char* text, size_t length);

// Every line of text that CR LF ends, without its CR LF, as copies; the text
// holds no zero byte (the reader's text ends at its first).
TipTexts SplitTipsLines(std::string_view text);

// The whole file image for the tips: the counter line, then every tip in order.
std::string BuildTipsImage(const TipsListStore& tips);
