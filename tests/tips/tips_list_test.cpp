#include "tips/tips_list.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/shared/tips_contents.h"
#include "tips/tips_text.h"

namespace {

using List = TipsListStore;

// Each row's edits on a fresh list, and the tips they leave in order.
TEST(TipsList, EditsLeaveTheTipsInOrder) {
    const struct {
        const char* name;
        void (*edit)(List&);
        Tips left;
        // clang-format off
    } cases[] = {
        {"a fresh list is empty", [](List&) {}, {}},
        {"Append adds at the end, an empty tip too",
         [](List& l) { l.Append("first"); l.Append(""); l.Append("third"); },
         {"first", "", "third"}},
        {"ReplaceAt with empty text keeps the position",
         [](List& l) { l.ReplaceAll({"a", "b", "c"}); l.ReplaceAt(1, ""); }, {"a", "", "c"}},
        {"EraseAt moves later tips up",
         [](List& l) { l.ReplaceAll({"a", "b", "c"}); l.EraseAt(0); }, {"b", "c"}},
        {"EraseAt highest first keeps the lower positions valid",
         [](List& l) { l.ReplaceAll({"a", "b", "c", "d", "e"}); l.EraseAt(3); l.EraseAt(1); },
         {"a", "c", "e"}},
        {"ReplaceAll with nothing empties the list",
         [](List& l) { l.ReplaceAll({"old", "older"}); l.ReplaceAll({}); }, {}},
        {"ReplaceAll drops what was there",
         [](List& l) { l.Append("z"); l.ReplaceAll({"x", "y"}); }, {"x", "y"}},
        {"any byte but zero is kept", [](List& l) { l.Append("cr\rinside\nand \xff"); },
         {"cr\rinside\nand \xff"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        List list;
        c.edit(list);
        EXPECT_EQ(c.left, Contents(list));
        EXPECT_EQ(c.left.size(), list.Count());
        // Each tip's text ends with its zero, an empty one too.
        for (uint32_t i = 0; i < list.Count(); ++i)
            EXPECT_EQ(c.left[i].size(), std::strlen(list.At(i)));
    }
}

TEST(TipsList, EraseSortedDropsEveryGivenPosition) {
    struct Case {
        std::vector<int32_t> positions;
        Tips left;
    } const cases[] = {
        {{}, {"a", "b", "c", "d", "e"}}, {{1, 3}, {"a", "c", "e"}}, {{0}, {"b", "c", "d", "e"}},
        {{4}, {"a", "b", "c", "d"}},     {{0, 1, 2, 3, 4}, {}},
    };
    for (const Case& c : cases) {
        TipsListStore list;
        list.ReplaceAll({"a", "b", "c", "d", "e"});
        list.EraseSorted(c.positions);
        EXPECT_EQ(c.left, Contents(list)) << c.positions.size() << " positions";
    }
}

// Blocks handed to the list come from new[] here; the list must give each
// back exactly once, and never free a tip inside one on its own.
int g_blocksReleased = 0;
void ReleaseTestBlock(char* block) {
    ++g_blocksReleased;
    delete[] block;
}

// Hands the list the tips of a file's text the way the reader does.
void TakeText(TipsListStore& list, std::string_view text) {
    char* block = new char[text.size() + 1];
    text.copy(block, text.size());
    block[text.size()] = '\0';
    list.TakeBlock(block, text.size() + 1, ReleaseTestBlock, CutTipsLines(block, text.size()).tips);
}

TEST(TipsList, TipsTakenInABlockTakeEditsLikeAnyOthers) {
    g_blocksReleased = 0;
    {
        TipsListStore list;
        list.Append("before");
        TakeText(list, TipsFileText({"A", "B\rb", "", "D"}) + "tail");
        EXPECT_EQ((Tips{"A", "B\rb", "", "D"}), Contents(list));

        list.ReplaceAt(1, "edited");
        list.Append("added");
        list.EraseAt(0);
        EXPECT_EQ((Tips{"edited", "", "D", "added"}), Contents(list));
        list.ReplaceAt(2, std::string(1000, 'x'));
        list.EraseSorted({0, 3});
        EXPECT_EQ((Tips{"", std::string(1000, 'x')}), Contents(list));
        EXPECT_EQ(0, g_blocksReleased);

        TakeText(list, "c\r\nnext\r\n");  // a second read drops the first block
        EXPECT_EQ(1, g_blocksReleased);
        EXPECT_EQ((Tips{"next"}), Contents(list));
        list.ReplaceAt(0, "");
        EXPECT_STREQ("", list.At(0));
    }
    EXPECT_EQ(2, g_blocksReleased);  // the list's end gives back the block it held
}

}  // namespace
