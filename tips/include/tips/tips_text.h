// The tips file's text format: a counter line, then one tip per line, every line
// ended by CR LF. Free of Windows headers so it also builds natively for fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tips/tips_list.h"

// The counter line every write starts with; the reader never looks at it.
constexpr std::string_view kCounterLine = "0000// current line";
constexpr std::string_view kLineEnd = "\r\n";

// A text's lines, cut where they stand: each line's CR became its zero.
struct CutLines {
    bool counterLine = false;  // false: the text holds no line at all
    std::vector<char*> tips;   // the start of every line after the counter line
    // Offsets in the bytes that were cut: the first CR LF anywhere in them (or
    // their size when there is none) and the first zero byte (or their size).
    // Every zero before textEnd was a CR that the cut turned into a tip's end.
    size_t firstLineEnd = 0;
    size_t textEnd = 0;
    // Just past the last CR LF before textEnd (0 when there is none): the
    // bytes from there to textEnd form no line.
    size_t linesEnd = 0;
};

// Cuts the text held in the `size` bytes at text into lines: a line is what
// CR LF ends, and its CR becomes the zero that ends it as a string. The text
// ends at its first zero byte or after `size` bytes. A lone CR or LF stays
// inside its line; bytes after the last CR LF form no line and are left as
// they were.
CutLines CutTipsLines(char* text, size_t size);

// A file image in a block of its own, a zero byte after its `size` bytes,
// with the HashTipsText of its tips part.
struct TipsImage {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    uint64_t tipsHash = 0;
    std::string_view View() const { return std::string_view(bytes.get(), size); }
};

// The whole file image for the tips: the counter line, then every tip in order,
// with the hash of its tips part taken as it is built.
TipsImage BuildTipsImage(const TipsListStore& tips);

// The most bytes BuildTipsImage's image of the tips can take: what the list
// knows without measuring the tips it read.
size_t TipsImageBytesAtMost(const TipsListStore& tips);

// Hands on one piece of the image as it is built, `last` with the piece that
// ends it; false stops the building.
using PutImagePiece = std::function<bool(std::string_view piece, bool last)>;

// What building the image a piece at a time gave: whether every piece was
// taken, the image's size and the hash of its tips part.
struct PutTipsImageResult {
    bool put = false;
    uint64_t size = 0;
    uint64_t tipsHash = 0;
};

// The bytes of BuildTipsImage built a piece at a time in the `capacity` bytes
// at `buffer` (at least kMinImagePiece), each full piece handed to `put` while
// it is still in the cache, so that no block of the image's size is needed. A
// tip longer than a piece is handed on from where it lies.
constexpr size_t kMinImagePiece = 64;
PutTipsImageResult PutTipsImage(const TipsListStore& tips, char* buffer, size_t capacity,
                                const PutImagePiece& put);

// The length of the tips part of `size` bytes that CutTipsLines cut into `cut`.
size_t CutTipsPartLength(size_t size, const CutLines& cut);

// Kinds of text in a tips part that its cut lines leave out, and that writing
// the list back would therefore drop: the "not shown" bits.
// A zero byte, with the rest of the file after it; zero bytes alone after the
// last line end are no text, and not named.
constexpr uint32_t kNotShownZeroByte = 1;
constexpr uint32_t kNotShownLastLine = 2;  // bytes after the last line end
constexpr uint32_t kNotShownLineEnds = 4;  // an LF or a CR alone where a line ends

// The not-shown bits of the tips part of `size` bytes that CutTipsLines cut
// into `cut`; 0 when the tips part is exactly its tips, each followed by CR LF.
uint32_t NotShownTextOf(const char* text, size_t size, const CutLines& cut);

// How many lines the not-shown text of `size` bytes cut into `cut` takes up:
// everything after the last line the list holds. A CR LF, or a lone CR or LF,
// ends a line, and bytes after the last end are one more.
uint32_t NotShownLinesOf(const char* text, size_t size, const CutLines& cut);

// How many lines CR LF ends in the text: the tips a tips part holds.
uint32_t CountCrLfLines(std::string_view text);

// CountCrLfLines of a text fed to it in pieces: a CR LF may span two.
struct CrLfLineCount {
    uint32_t lines = 0;
    char last = '\0';
    void Feed(std::string_view piece);
};
