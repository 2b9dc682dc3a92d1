#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "records/starter_api.h"
#include "tests/shared/picture_files.h"
#include "tests/starter/starter_fixture.h"
#include "tests/shared/temp_folder.h"

namespace {

// A bitmap's width, height and bits a pixel.
using Shape = std::array<LONG, 3>;
Shape ShapeOf(uint32_t handle) {
    BITMAP info = {};
    GetObjectA(reinterpret_cast<HBITMAP>(handle), sizeof info, &info);
    return {info.bmWidth, info.bmHeight, info.bmBitsPixel};
}

bool IsBitmap(uint32_t handle) {
    return GetObjectType(reinterpret_cast<HGDIOBJ>(handle)) == OBJ_BITMAP;
}

HIMAGELIST AsList(uint32_t handle) {
    return reinterpret_cast<HIMAGELIST>(handle);
}

COLORREF PixelOf(uint32_t bitmap, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HBITMAP>(bitmap));
    const COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return colour;
}

class Picture : public testing::Test, protected StarterFiles {
protected:
    PictureRecord picture{};

    void TearDown() override { FreePicture(&picture); }

    // Configures the picture file under the given form and describes it.
    void Configure(const std::string& file, const std::string& bytes, int form) {
        WriteBytes(folder.File(file), bytes);
        WriteConfig("[Calvorin]\r\nIcon=" + file + "\r\nIconForm=" + std::to_string(form) + "\r\n");
        ASSERT_EQ(1, ReadPicture(picture));
    }
};

struct FormCase {
    const char* file;
    int form;
    int kind;  // what the record says was made
};

// A form the library does not know falls back to bitmaps.
// clang-format off
const FormCase kFormCases[] = {
    {"tray.bmp", 1, 1}, {"tray.bmp", 2, 2}, {"tray.bmp", 4, 4}, {"tray.bmp", 3, 1},
    {"tray.ico", 1, 1}, {"tray.ico", 2, 2}, {"tray.ico", 4, 4},
};
// clang-format on

std::string FileFor(const char* name) {
    return std::string(name).find(".ico") != std::string::npos ? IconFile(32) : BitmapFile(40, 30);
}

TEST_F(Picture, EachFormLoadsAtTheAskedSizeAndFreesWhatItMade) {
    for (const FormCase& c : kFormCases) {
        SCOPED_TRACE(std::string(c.file) + " form " + std::to_string(c.form));
        Configure(c.file, FileFor(c.file), c.form);
        ASSERT_EQ(1, LoadAtEdge(picture, 24));
        ASSERT_EQ(c.kind, picture.kind);
        const uint32_t a = picture.handleA, b = picture.handleB;
        if (c.kind == kPictureImageList) {
            int cx = 0, cy = 0;
            EXPECT_TRUE(ImageList_GetIconSize(AsList(a), &cx, &cy));
            EXPECT_EQ(24, cx);
            EXPECT_EQ(24, cy);
            EXPECT_EQ(1, ImageList_GetImageCount(AsList(a)));
            EXPECT_EQ(0u, b) << "index of the one image";
            HICON icon = ImageList_GetIcon(AsList(a), static_cast<int>(b), ILD_TRANSPARENT);
            EXPECT_NE(nullptr, icon);
            DestroyIcon(icon);
        } else {
            EXPECT_EQ(24, ShapeOf(a)[0]);
            EXPECT_EQ(24, ShapeOf(a)[1]);
            EXPECT_GT(ShapeOf(a)[2], 1);
            EXPECT_EQ((Shape{24, 24, 1}), ShapeOf(b));
            // A bitmap's corner colour and an icon's own mask are transparent.
            EXPECT_EQ(RGB(255, 255, 255), PixelOf(b, 0, 0));
            EXPECT_EQ(RGB(0, 0, 0), PixelOf(b, 12, 12));
        }

        EXPECT_EQ(1, FreePicture(&picture));
        EXPECT_EQ(kPictureNone, picture.kind);
        EXPECT_EQ(0u, picture.handleA);
        EXPECT_EQ(0u, picture.handleB);
        if (c.kind == kPictureImageList) {
            EXPECT_EQ(0, ImageList_GetImageCount(AsList(a))) << "list destroyed";
        } else {
            EXPECT_FALSE(IsBitmap(a)) << "colour bitmap deleted";
            EXPECT_FALSE(IsBitmap(b)) << "mask bitmap deleted";
        }
        EXPECT_EQ(0, FreePicture(&picture)) << "a second call finds nothing";
    }
}

TEST_F(Picture, WithoutTheSizeFlagABitmapKeepsItsOwnSizeAndLosesItsCornerColour) {
    Configure("tray.bmp", BitmapFile(8, 6), 1);
    picture.cx = picture.cy = 24;
    ASSERT_EQ(1, LoadImageEx(&picture));
    EXPECT_EQ(8, ShapeOf(picture.handleA)[0]);
    EXPECT_EQ(6, ShapeOf(picture.handleA)[1]);
    EXPECT_EQ(8, ShapeOf(picture.handleB)[0]);
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
    EXPECT_EQ(white, PixelOf(picture.handleB, 0, 0)) << "corner masked";
    EXPECT_EQ(white, PixelOf(picture.handleB, 7, 3)) << "edge masked";
    EXPECT_EQ(black, PixelOf(picture.handleB, 3, 3)) << "ink shows";
    EXPECT_EQ(black, PixelOf(picture.handleA, 0, 0)) << "masked colour is black";
    EXPECT_EQ(kInkColour, PixelOf(picture.handleA, 3, 3));
}

TEST_F(Picture, LoadingAgainReplacesThePreviousPicture) {
    Configure("tray.bmp", BitmapFile(16, 16), 1);
    ASSERT_EQ(1, LoadAtEdge(picture, 16));
    const uint32_t firstColour = picture.handleA, firstMask = picture.handleB;
    ASSERT_EQ(1, LoadAtEdge(picture, 32));
    EXPECT_EQ(32, ShapeOf(picture.handleA)[0]);
    // Handle values may come back for the new bitmaps; only then are they alive.
    for (const uint32_t first : {firstColour, firstMask})
        EXPECT_TRUE(first == picture.handleA || first == picture.handleB || !IsBitmap(first));
}

TEST_F(Picture, ReadingTheSettingAgainReleasesTheLoadedPicture) {
    Configure("tray.bmp", BitmapFile(16, 16), 4);
    ASSERT_EQ(1, LoadAtEdge(picture, 16));
    const HIMAGELIST list = AsList(picture.handleA);
    ASSERT_EQ(1, ReadPicture(picture));
    EXPECT_EQ(kPictureNone, picture.kind);
    EXPECT_EQ(0, ImageList_GetImageCount(list));
}

TEST_F(Picture, HandlesTheLibraryDidNotMakeAreLeftAlone) {
    HBITMAP colour = CreateBitmap(16, 16, 1, 32, nullptr);
    HBITMAP mask = CreateBitmap(16, 16, 1, 1, nullptr);
    picture.kind = kPictureBitmaps;
    picture.handleA = reinterpret_cast<uint32_t>(colour);
    picture.handleB = reinterpret_cast<uint32_t>(mask);
    EXPECT_EQ(0, FreePicture(&picture));
    EXPECT_EQ(kPictureNone, picture.kind);
    EXPECT_TRUE(IsBitmap(reinterpret_cast<uint32_t>(colour)));
    EXPECT_TRUE(IsBitmap(reinterpret_cast<uint32_t>(mask)));
    DeleteObject(colour);
    DeleteObject(mask);
}

struct BadCase {
    const char* name;
    const char* file;
    std::string bytes;
    int edge;
};

TEST_F(Picture, UnloadablePictureLeavesNoPicture) {
    CreateDirectoryA(folder.File("folder.bmp").c_str(), nullptr);
    // clang-format off
    const BadCase cases[] = {
        {"missing file", "gone.bmp", "", 16},
        {"a folder", "folder.bmp", "", 16},
        {"text named .bmp", "text.bmp", "not a picture\r\n", 16},
        {"empty file", "empty.ico", "", 16},
        {"size beyond reason", "huge.bmp", BitmapFile(16, 16), 5000},
    };
    // clang-format on
    int round = 0;
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.bytes.empty() || std::string(c.name) == "empty file")
            WriteBytes(folder.File(c.file), c.bytes);
        config = folder.File("velmo" + std::to_string(++round) + ".ini");
        WriteConfig(std::string("[Calvorin]\r\nIcon=") + c.file + "\r\n");
        ASSERT_EQ(1, ReadPicture(picture));
        EXPECT_EQ(0, LoadAtEdge(picture, c.edge));
        EXPECT_EQ(kPictureNone, picture.kind);
        EXPECT_EQ(0u, picture.handleA);
        EXPECT_EQ(0u, picture.handleB);
    }
    RemoveDirectoryA(folder.File("folder.bmp").c_str());
}

TEST_F(Picture, EmptyAndNullRecordsAreRefused) {
    EXPECT_EQ(0, LoadImageEx(nullptr));
    EXPECT_EQ(0, FreePicture(nullptr));
    EXPECT_EQ(0, LoadAtEdge(picture, 16));
    EXPECT_EQ(kPictureNone, picture.kind);
    EXPECT_EQ(0, FreePicture(&picture));
}

}  // namespace
