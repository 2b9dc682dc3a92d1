#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/shared/import_patch.h"
#include "tray/tray_icon.h"

namespace {

// The image list calls the module makes, recorded and passed on.
struct ListCalls {
    int created = 0;
    std::vector<HIMAGELIST> made;
    std::vector<HIMAGELIST> destroyed;
    int cx = 0, cy = 0;
    UINT flags = 0;
    int initial = 0, grow = 0;
};
ListCalls g_calls;

using CreateFn = HIMAGELIST(WINAPI*)(int, int, UINT, int, int);
using DestroyFn = BOOL(WINAPI*)(HIMAGELIST);
CreateFn g_realCreate;
DestroyFn g_realDestroy;

HIMAGELIST WINAPI RecordingCreate(int cx, int cy, UINT flags, int initial, int grow) {
    ++g_calls.created;
    g_calls.cx = cx;
    g_calls.cy = cy;
    g_calls.flags = flags;
    g_calls.initial = initial;
    g_calls.grow = grow;
    HIMAGELIST list = g_realCreate(cx, cy, flags, initial, grow);
    if (list) g_calls.made.push_back(list);
    return list;
}

BOOL WINAPI RecordingDestroy(HIMAGELIST list) {
    g_calls.destroyed.push_back(list);
    return g_realDestroy(list);
}

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

SIZE IconSize(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return {0, 0};
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return {bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

// The icon drawn on paper: what shows at the given pixels.
std::vector<COLORREF> Drawn(HICON icon, int cx, int cy, std::vector<POINT> at) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old = SelectObject(dc, canvas);
    HBRUSH brush = CreateSolidBrush(kPaper);
    RECT all{0, 0, cx, cy};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    DrawIconEx(dc, 0, 0, icon, cx, cy, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> colours;
    for (POINT p : at) colours.push_back(GetPixel(dc, p.x, p.y));
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return colours;
}

PictureRecord Picture(int32_t kind, HANDLE a, UINT_PTR b, int32_t cx, int32_t cy) {
    PictureRecord picture{};
    picture.kind = kind;
    picture.handleA = reinterpret_cast<uint32_t>(a);
    picture.handleB = b;
    picture.cx = cx;
    picture.cy = cy;
    return picture;
}

UINT_PTR Handle(HBITMAP bitmap) { return reinterpret_cast<UINT_PTR>(bitmap); }

bool StillABitmap(HBITMAP bitmap) {
    BITMAP info{};
    return GetObjectA(bitmap, sizeof info, &info) == sizeof info;
}

class TrayIconImage : public testing::Test {
protected:
    static void SetUpTestSuite() {
        HMODULE exe = GetModuleHandleA(nullptr);
        g_realCreate = reinterpret_cast<CreateFn>(PatchImport(
            exe, "comctl32.dll", "ImageList_Create", reinterpret_cast<void*>(&RecordingCreate)));
        g_realDestroy = reinterpret_cast<DestroyFn>(PatchImport(
            exe, "comctl32.dll", "ImageList_Destroy", reinterpret_cast<void*>(&RecordingDestroy)));
    }
    void SetUp() override {
        ASSERT_TRUE(g_realCreate && g_realDestroy) << "the image list calls are not imported";
        g_calls = {};
    }

    PictureRecord picture{};
};

TEST_F(TrayIconImage, BitmapsMakeAnIconOfTheirOwnSize) {
    PictureBitmaps bitmaps(20, 20, kInk);
    picture = Picture(kPictureBitmaps, bitmaps.colour, Handle(bitmaps.mask), 32, 32);
    HICON icon = IconFromPicture(&picture);
    ASSERT_TRUE(icon);
    EXPECT_EQ(20, IconSize(icon).cx);
    EXPECT_EQ(20, IconSize(icon).cy);
    EXPECT_EQ((std::vector<COLORREF>{kInk, kPaper}), Drawn(icon, 20, 20, {{2, 10}, {17, 10}}));
    EXPECT_EQ(0, g_calls.created);
    // The picture's bitmaps stay the picture's.
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_TRUE(StillABitmap(bitmaps.colour));
    EXPECT_TRUE(StillABitmap(bitmaps.mask));
}

TEST_F(TrayIconImage, BitmapsWithoutAMaskMakeNone) {
    PictureBitmaps bitmaps(16, 16, kInk);
    picture = Picture(kPictureBitmaps, bitmaps.colour, 0, 16, 16);
    EXPECT_EQ(nullptr, IconFromPicture(&picture));
}

TEST_F(TrayIconImage, ListBitmapsPassThroughATemporaryListOfTheTraySize) {
    PictureBitmaps bitmaps(24, 24, kInk);
    picture = Picture(kPictureListBitmaps, bitmaps.colour, Handle(bitmaps.mask), 24, 24);
    HICON icon = IconFromPicture(&picture);
    ASSERT_TRUE(icon);
    EXPECT_EQ(24, IconSize(icon).cx);
    EXPECT_EQ(24, IconSize(icon).cy);
    EXPECT_EQ((std::vector<COLORREF>{kInk, kPaper}), Drawn(icon, 24, 24, {{3, 12}, {20, 12}}));
    EXPECT_TRUE(DestroyIcon(icon));

    EXPECT_EQ(1, g_calls.created);
    EXPECT_EQ(24, g_calls.cx);
    EXPECT_EQ(24, g_calls.cy);
    EXPECT_EQ(0xFFu, g_calls.flags);
    EXPECT_EQ(1, g_calls.initial);
    EXPECT_EQ(0, g_calls.grow);
    EXPECT_EQ(g_calls.made, g_calls.destroyed);
    EXPECT_TRUE(StillABitmap(bitmaps.colour));
    EXPECT_TRUE(StillABitmap(bitmaps.mask));
}

TEST_F(TrayIconImage, ListBitmapsThatCannotBeAddedStillFreeTheList) {
    picture = Picture(kPictureListBitmaps, nullptr, 0, 24, 24);
    EXPECT_EQ(nullptr, IconFromPicture(&picture));
    EXPECT_EQ(1, g_calls.created);
    ASSERT_EQ(1u, g_calls.made.size());
    EXPECT_EQ(g_calls.made, g_calls.destroyed);
}

TEST_F(TrayIconImage, ListThatCannotBeMadeGivesNone) {
    PictureBitmaps bitmaps(16, 16, kInk);
    picture = Picture(kPictureListBitmaps, bitmaps.colour, Handle(bitmaps.mask), -1, -1);
    EXPECT_EQ(nullptr, IconFromPicture(&picture));
    EXPECT_EQ(1, g_calls.created);
    EXPECT_TRUE(g_calls.made.empty());
    EXPECT_TRUE(g_calls.destroyed.empty());
}

TEST_F(TrayIconImage, AnImageListGivesTheIndexedImageAndSurvives) {
    HIMAGELIST list = ImageList_Create(32, 32, ILC_MASK | ILC_COLORDDB, 2, 0);
    ASSERT_TRUE(list);
    PictureBitmaps first(32, 32, RGB(0xFF, 0, 0)), second(32, 32, kInk);
    ASSERT_EQ(0, ImageList_Add(list, first.colour, first.mask));
    ASSERT_EQ(1, ImageList_Add(list, second.colour, second.mask));
    g_calls = {};

    picture = Picture(kPictureImageList, list, 1, 16, 16);
    HICON icon = IconFromPicture(&picture);
    ASSERT_TRUE(icon);
    EXPECT_EQ(32, IconSize(icon).cx);
    EXPECT_EQ((std::vector<COLORREF>{kInk, kPaper}), Drawn(icon, 32, 32, {{4, 16}, {28, 16}}));
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_EQ(0, g_calls.created);
    EXPECT_TRUE(g_calls.destroyed.empty());
    EXPECT_EQ(2, ImageList_GetImageCount(list));

    picture.handleB = 2;   // past the end
    EXPECT_EQ(nullptr, IconFromPicture(&picture));
    ImageList_Destroy(list);
}

TEST_F(TrayIconImage, OtherKindsGiveNone) {
    // Valid bitmaps throughout, so a bit test on the kind would make an icon.
    PictureBitmaps bitmaps(16, 16, kInk);
    for (int32_t kind : {0, 3, 5, 6, 7, 0x101, 0x102, 0x104, -1}) {
        SCOPED_TRACE(kind);
        picture = Picture(kind, bitmaps.colour, Handle(bitmaps.mask), 16, 16);
        EXPECT_EQ(nullptr, IconFromPicture(&picture));
    }
    EXPECT_EQ(0, g_calls.created);
}

}  // namespace
