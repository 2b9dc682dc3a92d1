#include "tips/tips_text.h"

#include <gtest/gtest.h>

namespace {

using Lines = TipTexts;

struct SplitCase {
    const char* name;
    std::string text;
    Lines lines;
};

const SplitCase kSplitCases[] = {
    {"empty text", "", {}},
    {"no line end at all", "0000// current line", {}},
    {"one ended line", "0000// current line\r\n", {"0000// current line"}},
    {"tail after last CR LF dropped", "c\r\nA\r\nB", {"c", "A"}},
    {"empty lines kept", "c\r\n\r\nB\r\n", {"c", "", "B"}},
    {"lone CR and lone LF stay inside", "c\r\nA\rB\nC\r\n", {"c", "A\rB\nC"}},
    {"LF-only line ends end nothing", "c\nA\nB\n", {}},
    {"CR CR LF keeps one CR", "c\r\r\nA\r\n", {"c\r", "A"}},
    {"CR LF LF: the LF starts the next line", "c\r\n\nA\r\n", {"c", "\nA"}},
    {"high bytes pass unchanged", "c\r\n\xe9t\xe9\xff\r\n", {"c", "\xe9t\xe9\xff"}},
};

TEST(SplitTipsLines, CasesFromRealFiles) {
    for (const SplitCase& c : kSplitCases)
        EXPECT_EQ(c.lines, SplitTipsLines(c.text)) << c.name;
}

TEST(BuildTipsImage, CounterLineThenEveryTipEndedByCrLf) {
    TipsListStore none;
    EXPECT_EQ("0000// current line\r\n", BuildTipsImage(none));

    TipsListStore three;
    three.ReplaceAll({"A", "", "B"});
    const std::string image = BuildTipsImage(three);
    EXPECT_EQ("0000// current line\r\nA\r\n\r\nB\r\n", image);
    EXPECT_EQ(29u, image.size());
}

TEST(BuildTipsImage, SplitsBackIntoTheSameTips) {
    TipsListStore tips;
    const Lines texts = {"plain", "", "with\rCR", "with\nLF", " ", "\xff\x01"};
    tips.ReplaceAll(texts);
    Lines lines = SplitTipsLines(BuildTipsImage(tips));
    ASSERT_FALSE(lines.empty());
    lines.erase(lines.begin());
    EXPECT_EQ(texts, lines);
}

}  // namespace
