#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/shared/icon_pixels.h"
#include "tests/shared/import_wrapper.h"
#include "tray/tray_icon.h"

namespace {

// The image list calls the module makes, recorded and passed on.
struct ListCalls {
    int created = 0;
    std::vector<HIMAGELIST> made, destroyed;
    std::array<int, 5> asked{};  // the last call's cx, cy, flags, initial size and growth
};
ListCalls g_calls;

struct RecordCreate {
    static HIMAGELIST Call(decltype(&ImageList_Create) next, int cx, int cy, UINT flags,
                           int initial, int grow) {
        ++g_calls.created;
        g_calls.asked = {cx, cy, static_cast<int>(flags), initial, grow};
        HIMAGELIST list = next(cx, cy, flags, initial, grow);
        if (list) g_calls.made.push_back(list);
        return list;
    }
};

struct RecordDestroy {
    static BOOL Call(decltype(&ImageList_Destroy) next, HIMAGELIST list) {
        g_calls.destroyed.push_back(list);
        return next(list);
    }
};

constexpr COLORREF kInk = RGB(0x20, 0x90, 0xE0);
constexpr COLORREF kPaper = RGB(0xFF, 0x00, 0xFF);

// A picture whose left half shows the ink and whose right half is transparent
// (black in the colour bitmap, as icons want it).
struct PictureBitmaps {
    HBITMAP colour, mask;
    PictureBitmaps(int cx, int cy, COLORREF ink) {
        HDC screen = GetDC(nullptr);
        colour = CreateCompatibleBitmap(screen, cx, cy);
        mask = CreateBitmap(cx, cy, 1, 1, nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(dc, colour);
        HBRUSH brush = CreateSolidBrush(ink);
        RECT left{0, 0, cx / 2, cy};
        FillRect(dc, &left, brush);
        DeleteObject(brush);
        PatBlt(dc, cx / 2, 0, cx - cx / 2, cy, BLACKNESS);
        SelectObject(dc, mask);
        PatBlt(dc, 0, 0, cx / 2, cy, BLACKNESS);
        PatBlt(dc, cx / 2, 0, cx - cx / 2, cy, WHITENESS);
        SelectObject(dc, old);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }
    ~PictureBitmaps() {
        DeleteObject(colour);
        DeleteObject(mask);
    }
};

// An icon of edge by edge pixels from PictureBitmaps: the ink on its left, the
// paper through its right.
void ExpectInkLeftPaperRightThenDestroy(HICON icon, int edge) {
    ASSERT_TRUE(icon);
    EXPECT_EQ(edge, IconSize(icon).cx);
    EXPECT_EQ(edge, IconSize(icon).cy);
    const std::vector<COLORREF> drawn = IconDrawnOn(icon, edge, kPaper);
    const int middleRow = edge / 2 * edge;
    EXPECT_EQ(kInk, drawn[middleRow + edge / 8]);
    EXPECT_EQ(kPaper, drawn[middleRow + edge * 7 / 8]);
    EXPECT_TRUE(DestroyIcon(icon));
}

PictureRecord Picture(int32_t kind, HANDLE a, UINT_PTR b, int32_t cx, int32_t cy) {
    return {kind, reinterpret_cast<uint32_t>(a), b, cx, cy, {}, 0, {}};
}

bool StillABitmap(HBITMAP bitmap) {
    BITMAP info{};
    return GetObjectA(bitmap, sizeof info, &info) == sizeof info;
}

class TrayIconImage : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(create.bound && destroy.bound) << "the image list calls are not imported";
        g_calls = {};
    }

    const ScopedWrapper<ImportWrapper<ImageList_Create, RecordCreate>> create{
        GetModuleHandleA(nullptr), "comctl32.dll", "ImageList_Create"};
    const ScopedWrapper<ImportWrapper<ImageList_Destroy, RecordDestroy>> destroy{
        GetModuleHandleA(nullptr), "comctl32.dll", "ImageList_Destroy"};
    PictureRecord picture{};
};

// Each row's picture is made of fresh bitmaps, handed over or not as the row
// says. The other kinds come with valid bitmaps throughout, so a bit test on
// the kind would make an icon.
struct PictureCase {
    std::string name;
    int32_t kind;
    int edge = 16;                    // of the bitmaps
    bool colour = true, mask = true;  // handed over in the picture
    int32_t asked = 16;               // the picture's cx and cy: the tray's icon size
    int icon = 0;                     // the icon's edge; 0: no icon
    int listsCreated = 0;             // temporary image lists, asked for at the tray's size
    size_t listsMade = 0;             // of those, the ones made; each is destroyed again
};

std::vector<PictureCase> PictureCases() {
    std::vector<PictureCase> cases = {
        {"bitmaps make an icon of their own size", kPictureBitmaps, 20, true, true, 32, 20},
        {"bitmaps without a mask make none", kPictureBitmaps, 16, true, false},
        {"list bitmaps pass through a temporary list of the tray size", kPictureListBitmaps, 24,
         true, true, 24, 24, 1, 1},
        {"list bitmaps that cannot be added still free the list", kPictureListBitmaps, 24, false,
         false, 24, 0, 1, 1},
        {"a list that cannot be made gives none", kPictureListBitmaps, 16, true, true, -1, 0, 1},
    };
    for (int32_t kind : {0, 3, 5, 6, 7, 0x101, 0x102, 0x104, -1})
        cases.push_back({"kind " + std::to_string(kind), kind});
    return cases;
}

TEST_F(TrayIconImage, PictureKindsMakeTheirIconsOrNone) {
    for (const PictureCase& c : PictureCases()) {
        SCOPED_TRACE(c.name);
        g_calls = {};
        PictureBitmaps bitmaps(c.edge, c.edge, kInk);
        picture = Picture(c.kind, c.colour ? bitmaps.colour : nullptr,
                          c.mask ? reinterpret_cast<UINT_PTR>(bitmaps.mask) : 0, c.asked, c.asked);
        HICON icon = IconFromPicture(&picture);
        EXPECT_EQ(c.listsCreated, g_calls.created);
        if (c.listsCreated) {
            EXPECT_EQ((std::array<int, 5>{c.asked, c.asked, 0xFF, 1, 0}), g_calls.asked);
        }
        EXPECT_EQ(c.listsMade, g_calls.made.size());
        EXPECT_EQ(g_calls.made, g_calls.destroyed);
        if (c.icon)
            ExpectInkLeftPaperRightThenDestroy(icon, c.icon);
        else
            EXPECT_EQ(nullptr, icon);
        // The picture's bitmaps stay the picture's, even once the icon is gone.
        EXPECT_TRUE(StillABitmap(bitmaps.colour));
        EXPECT_TRUE(StillABitmap(bitmaps.mask));
    }
}

TEST_F(TrayIconImage, AnImageListGivesTheIndexedImageAndSurvives) {
    HIMAGELIST list = ImageList_Create(32, 32, ILC_MASK | ILC_COLORDDB, 2, 0);
    ASSERT_TRUE(list);
    PictureBitmaps first(32, 32, RGB(0xFF, 0, 0)), second(32, 32, kInk);
    ASSERT_EQ(0, ImageList_Add(list, first.colour, first.mask));
    ASSERT_EQ(1, ImageList_Add(list, second.colour, second.mask));
    g_calls = {};

    picture = Picture(kPictureImageList, list, 1, 16, 16);
    ExpectInkLeftPaperRightThenDestroy(IconFromPicture(&picture), 32);
    EXPECT_EQ(0, g_calls.created);
    EXPECT_TRUE(g_calls.destroyed.empty());
    EXPECT_EQ(2, ImageList_GetImageCount(list));

    picture.handleB = 2;  // past the end
    EXPECT_EQ(nullptr, IconFromPicture(&picture));
    ImageList_Destroy(list);
}

}  // namespace
