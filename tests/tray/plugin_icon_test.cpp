#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "records/module_state.h"
#include "resources/resource_ids.h"
#include "tests/shared/icon_pixels.h"

namespace {

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

const void* Resource(LPCSTR type, LPCSTR name, WORD language) {
    HRSRC found = FindResourceExA(g_instance, type, name, language);
    if (!found) return nullptr;
    return LockResource(LoadResource(g_instance, found));
}

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

TEST(PluginIcon, HoldsA32AndA16ImageIn16Colours) {
    auto* group = static_cast<const GroupHeader*>(
        Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_PLUGIN), kEnglishUs));
    ASSERT_TRUE(group) << "no English (US) icon group 1";
    ASSERT_EQ(2, group->count);
    auto* entries = reinterpret_cast<const GroupEntry*>(group + 1);
    std::set<int> sizes;
    for (int i = 0; i < group->count; ++i) {
        SCOPED_TRACE(i);
        const GroupEntry& entry = entries[i];
        EXPECT_EQ(entry.width, entry.height);
        EXPECT_EQ(16, entry.colours);
        EXPECT_EQ(4, entry.bitCount);
        sizes.insert(entry.width);
        // The image itself: colour bits and mask stacked, 4 bits a pixel.
        auto* image = static_cast<const BITMAPINFOHEADER*>(
            Resource(RT_ICON, MAKEINTRESOURCEA(entry.id), kEnglishUs));
        ASSERT_TRUE(image);
        EXPECT_EQ(entry.width, image->biWidth);
        EXPECT_EQ(entry.width * 2, image->biHeight);
        EXPECT_EQ(4, image->biBitCount);
        const int row = ((entry.width * 4 + 31) / 32) * 4;
        const int maskRow = ((entry.width + 31) / 32) * 4;
        EXPECT_EQ(sizeof(BITMAPINFOHEADER) + 16 * 4 + (row + maskRow) * entry.width, entry.bytes);
    }
    EXPECT_EQ((std::set<int>{16, 32}), sizes);
}

// Each pixel of the icon as drawn, or CLR_INVALID where the background shows.
std::vector<COLORREF> Pixels(HICON icon, int size) {
    const std::vector<COLORREF> on[2] = {IconDrawnOn(icon, size, RGB(0x12, 0x34, 0x56)),
                                         IconDrawnOn(icon, size, RGB(0xED, 0xCB, 0xA9))};
    std::vector<COLORREF> pixels(on[0].size());
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = on[0][i] == on[1][i] ? on[0][i] : CLR_INVALID;
    return pixels;
}

constexpr COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(0xFF, 0xFF, 0xFF),
                   kYellow = RGB(0xFF, 0xFF, 0), kBlue = RGB(0, 0, 0xFF),
                   kDarkGrey = RGB(0x80, 0x80, 0x80), kLightGrey = RGB(0xC0, 0xC0, 0xC0);

TEST(PluginIcon, ShowsACheckeredSheetWithTextLinesAndAShadow) {
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        // As start-up loads it: shared, so the system keeps it.
        HICON icon = static_cast<HICON>(LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_PLUGIN),
                                                   IMAGE_ICON, size, size, LR_SHARED));
        ASSERT_TRUE(icon);
        EXPECT_EQ(size, IconSize(icon).cx);
        EXPECT_EQ(size, IconSize(icon).cy);

        const std::vector<COLORREF> pixels = Pixels(icon, size);
        std::map<COLORREF, int> counts;
        for (COLORREF pixel : pixels) ++counts[pixel];
        for (size_t corner : {size_t(0), size_t(size - 1), pixels.size() - size, pixels.size() - 1})
            EXPECT_EQ(CLR_INVALID, pixels[corner]) << "corner " << corner;
        EXPECT_EQ((std::set<COLORREF>{CLR_INVALID, kBlack, kWhite, kYellow, kBlue, kDarkGrey,
                                      kLightGrey}),
                  std::set<COLORREF>(pixels.begin(), pixels.end()));
        // A fine checker: no two yellow pixels side by side.
        int yellowPairs = 0;
        for (size_t i = 1; i < pixels.size(); ++i)
            yellowPairs += i % size && pixels[i] == kYellow && pixels[i - 1] == kYellow;
        EXPECT_EQ(0, yellowPairs);
        EXPECT_GT(counts[kYellow], size * size / 8);
        EXPECT_GT(counts[kBlue], size);
        EXPECT_GT(counts[CLR_INVALID], size * 2);
    }
}

}  // namespace
