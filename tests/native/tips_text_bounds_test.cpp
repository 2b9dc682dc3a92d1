// Cases about where the text ends. Natively they run under AddressSanitizer, so
// any read beyond the caller's bytes fails here rather than passing by luck.
#include "tests/shared/tips_text_helpers.h"
#include "tips/tips_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Lines = TipTexts;

// The text in a heap block of exactly its own size: no terminating zero follows.
struct ExactBlock {
    std::unique_ptr<char[]> bytes;
    size_t size;
    explicit ExactBlock(std::string_view text) : bytes(new char[text.size()]), size(text.size()) {
        text.copy(bytes.get(), text.size());
    }
    std::string_view View(size_t length) const { return {bytes.get(), length}; }
};

// The lines CutTipsLines finds in the text, cut where it lies in a heap block
// of exactly its own size, so that the sanitizer sees where its bytes end.
Lines CutInExactBlock(std::string_view text) {
    const ExactBlock block(text);
    const CutLines cut = CutTipsLines(block.bytes.get(), block.size);
    Lines lines;
    // The counter line and every tip end at a CR the cut made a zero.
    if (cut.counterLine) lines.emplace_back(block.bytes.get());
    for (const char* tip : cut.tips) lines.emplace_back(tip);
    return lines;
}

TEST(CutTipsLinesBounds, StopsAtTheEndOfTheGivenBytes) {
    const std::string_view text("c\r\nA\r\nB\r\n");
    struct Case {
        size_t length;
        Lines lines;
    } const cases[] = {
        {0, {}},         {1, {}},
        {2, {}},                                // ends between CR and LF
        {3, {"c"}},      {5, {"c"}},            // "A\r" without its LF is no line
        {6, {"c", "A"}}, {9, {"c", "A", "B"}},  // the last pair is the block's last two bytes
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.lines, CutInExactBlock(text.substr(0, c.length))) << "length " << c.length;
}

TEST(CutTipsLinesBounds, TextEndingInALoneCrGivesNoLineForIt) {
    EXPECT_EQ(Lines{"c"}, CutInExactBlock("c\r\nA\r"));
}

TEST(CutTipsLinesBounds, OnlyLineEndingCrsBecomeZeros) {
    const std::string_view text("c\r\nA\rB\r\n\r\n\nC\r\r\nD\r");
    const ExactBlock block(text);
    const CutLines lines = CutTipsLines(block.bytes.get(), block.size);

    std::string expected(text);
    const size_t zeros[] = {1, 6, 8, 13};
    for (size_t zero : zeros) expected[zero] = '\0';
    EXPECT_EQ(expected, block.View(block.size));
    EXPECT_TRUE(lines.counterLine);
    ASSERT_EQ(3u, lines.tips.size());
    EXPECT_EQ((Lines{"A\rB", "", "\nC\r"}), Lines(lines.tips.begin(), lines.tips.end()));
    EXPECT_EQ(block.bytes.get() + 10, lines.tips[2]);
}

TEST(CutTipsLinesBounds, TheFirstZeroEndsTheText) {
    // Zeros on both sides of the sixteen-byte blocks the scan tests at once.
    const std::string_view text("c\r\n0123456789abcdef\r\nABCDEFGHIJK\0LMN\r\nlost\r\n", 44);
    const ExactBlock block(text);
    const CutLines lines = CutTipsLines(block.bytes.get(), block.size);
    EXPECT_EQ((Lines{"0123456789abcdef"}), Lines(lines.tips.begin(), lines.tips.end()));
    EXPECT_EQ(text.substr(21), block.View(block.size).substr(21));  // nothing cut after the zero
    EXPECT_EQ((Lines{"c"}), CutInExactBlock(std::string_view("c\r\n\0\r\n", 6)));
    EXPECT_EQ(Lines{}, CutInExactBlock(std::string_view("c\0\r\nA\r\n", 7)));
}

TEST(CutTipsLinesBounds, LongAndManyLinesComeBackWhole) {
    TipsListStore tips;
    TipTexts texts(50000);  // empty tips, one CR LF each
    texts.push_back(std::string(1 << 20, 'x'));
    texts.push_back(std::string(1000, '\r'));
    texts.push_back(std::string(1000, '\n'));
    tips.ReplaceAll(TipTexts(texts));

    Lines lines = CutInExactBlock(ImageText(tips));
    ASSERT_EQ(texts.size() + 1, lines.size());
    EXPECT_EQ(kCounterLine, lines.front());
    lines.pop_front();
    EXPECT_TRUE(lines == texts);
}

}  // namespace
