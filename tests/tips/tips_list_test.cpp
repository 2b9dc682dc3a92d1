#include "tips/tips_list.h"

#include <gtest/gtest.h>

#include "tests/shared/tips_contents.h"

namespace {

TEST(TipsList, StartsEmptyAtLoad) {
    TipsListStore fresh;
    EXPECT_EQ(0u, fresh.Count());
}

TEST(TipsList, AppendAddsAtTheEndAndAtGivesTheTextWithItsZero) {
    TipsListStore list;
    list.Append("first");
    list.Append("");
    list.Append("third");
    EXPECT_EQ((Tips{"first", "", "third"}), Contents(list));
    EXPECT_STREQ("", list.At(1));
}

TEST(TipsList, ReplaceAtWithEmptyTextKeepsThePosition) {
    TipsListStore list;
    list.ReplaceAll({"a", "b", "c"});
    list.ReplaceAt(1, "");
    EXPECT_EQ(3u, list.Count());
    EXPECT_EQ((Tips{"a", "", "c"}), Contents(list));
}

TEST(TipsList, EraseAtMovesLaterTipsUp) {
    TipsListStore list;
    list.ReplaceAll({"a", "b", "c"});
    list.EraseAt(0);
    EXPECT_EQ((Tips{"b", "c"}), Contents(list));

    list.ReplaceAll({"a", "b", "c", "d", "e"});
    list.EraseAt(3);  // highest first keeps the lower positions valid
    list.EraseAt(1);
    EXPECT_EQ((Tips{"a", "c", "e"}), Contents(list));
}

TEST(TipsList, ReplaceAllDropsWhatWasThere) {
    TipsListStore list;
    list.ReplaceAll({"old", "older"});
    list.ReplaceAll({});
    EXPECT_EQ(0u, list.Count());
    list.Append("z");
    list.ReplaceAll({"x", "y"});
    EXPECT_EQ((Tips{"x", "y"}), Contents(list));
}

TEST(TipsList, KeepsAnyByteButZero) {
    TipsListStore list;
    list.Append("cr\rinside\nand \xff");
    EXPECT_STREQ("cr\rinside\nand \xff", list.At(0));
}

}  // namespace
