#include "tips/tips_text.h"

#include <gtest/gtest.h>

#include "tests/shared/tips_contents.h"
#include "tests/shared/tips_text_helpers.h"
#include "tips/tips_stamp.h"

namespace {

struct SplitCase {
    const char* name;
    std::string text;
    TipTexts lines;
};

// clang-format off
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
    {"line ends at every offset in a word", "0\r\n\r\na\r\nab\r\nabc\r\nabcd\r\nabcde\r\n",
     {"0", "", "a", "ab", "abc", "abcd", "abcde"}},
};
// clang-format on

TEST(SplitTipsLines, CasesFromRealFiles) {
    for (const SplitCase& c : kSplitCases) EXPECT_EQ(c.lines, SplitTipsLines(c.text)) << c.name;
}

TEST(BuildTipsImage, CounterLineThenEveryTipEndedByCrLf) {
    TipsListStore none;
    EXPECT_EQ("0000// current line\r\n", ImageText(none));

    TipsListStore three;
    three.ReplaceAll({"A", "", "B"});
    const std::string image = ImageText(three);
    EXPECT_EQ("0000// current line\r\nA\r\n\r\nB\r\n", image);
    EXPECT_EQ(29u, image.size());
}

TEST(BuildTipsImage, SplitsBackIntoTheSameTips) {
    TipsListStore tips;
    const TipTexts texts = {"plain", "", "with\rCR", "with\nLF", " ", "\xff\x01"};
    tips.ReplaceAll(texts);
    TipTexts lines = SplitTipsLines(ImageText(tips));
    ASSERT_FALSE(lines.empty());
    lines.erase(lines.begin());
    EXPECT_EQ(Contents(tips), Tips(lines.begin(), lines.end()));
}

TEST(TipsPartOf, EverythingAfterTheCounterLine) {
    const struct {
        std::string text;
        std::string part;
        // clang-format off
    } cases[] = {
        {"0000// current line\r\nA\r\nB", "A\r\nB"},
        {"0042// current line\r\n", ""},
        {"c\r\r\nA\r\n", "A\r\n"},
        {"", ""},
        {"no CR LF at all\n", "no CR LF at all\n"},  // nothing in it is the host's own
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(c.part, TipsPartOf(c.text)) << c.text;
}

TEST(HashTipsText, EveryBitLengthAndOrderCounts) {
    EXPECT_EQ(0u, HashTipsText(""));
    const std::string text = "0123456789abcdefghijklmnopqrstuvwxyz+-*/!";  // lanes and a tail
    const uint64_t hash = HashTipsText(text);
    for (size_t bit = 0; bit < text.size() * 8; ++bit) {
        std::string flipped = text;
        flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
        EXPECT_NE(hash, HashTipsText(flipped)) << "bit " << bit;
    }
    for (size_t length = 1; length < text.size(); ++length)
        EXPECT_NE(HashTipsText(text.substr(0, length)), HashTipsText(text.substr(0, length - 1)))
            << "length " << length;
    EXPECT_NE(HashTipsText("abcdefgh12345678"), HashTipsText("12345678abcdefgh"));
    // Read a byte off its natural alignment, the same text hashes the same.
    EXPECT_EQ(hash, HashTipsText(std::string_view(("#" + text).c_str() + 1, text.size())));
}

TEST(BuildTipsImage, HashesItsTipsPartAsItGoes) {
    TipsListStore tips;
    for (size_t tip = 0; tip < 300; ++tip) {  // past several chunks, ending off a step
        const TipsImage image = BuildTipsImage(tips);
        ASSERT_EQ(HashTipsText(TipsPartOf(image.View())), image.tipsHash) << tip << " tips";
        tips.Append(std::string(tip % 97, static_cast<char>('a' + tip % 26)));
    }
}

}  // namespace
