// Loads the picture file that GetCFGPic described: a bitmap (.bmp) or an icon
// (.ico). A bitmap has no mask of its own, so its top-left pixel names the
// transparent colour, as LR_LOADTRANSPARENT takes it.
#include <windows.h>

#include <commctrl.h>

#include "records/starter_api.h"
#include "starter/heap_text.h"
#include "starter/picture_slots.h"

namespace {

// Larger requests are refused rather than handed to GDI.
constexpr int kLargestEdge = 1024;

struct Bitmaps {
    HBITMAP colour = nullptr;
    HBITMAP mask = nullptr;
};

// A memory DC with one bitmap selected, restored and deleted at scope exit.
struct SelectedBitmap {
    HDC dc;
    HGDIOBJ previous;
    explicit SelectedBitmap(HBITMAP bitmap)
        : dc(CreateCompatibleDC(nullptr)),
          previous(dc ? SelectObject(dc, bitmap) : nullptr) {}
    ~SelectedBitmap() {
        if (!dc) return;
        if (previous) SelectObject(dc, previous);
        DeleteDC(dc);
    }
    bool ok() const { return dc && previous; }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;
};

void Delete(Bitmaps& bitmaps) {
    if (bitmaps.colour) DeleteObject(bitmaps.colour);
    if (bitmaps.mask) DeleteObject(bitmaps.mask);
    bitmaps = Bitmaps{};
}

// Edges of 0 ask for the picture's natural size.
bool RequestedSize(const PictureRecord& picture, int& cx, int& cy) {
    cx = cy = 0;
    if (!(picture.flags & kPictureFlagUseSize)) return true;
    if (picture.cx > kLargestEdge || picture.cy > kLargestEdge) return false;
    cx = picture.cx > 0 ? picture.cx : 0;
    cy = picture.cy > 0 ? picture.cy : 0;
    return true;
}

// Pixels of the corner's colour become transparent: set in the mask and black
// in the colour bitmap, which is what both icons and image lists expect.
bool MaskByCorner(Bitmaps& bitmaps) {
    BITMAP info;
    if (!GetObjectA(bitmaps.colour, sizeof info, &info)) return false;
    bitmaps.mask = CreateBitmap(info.bmWidth, info.bmHeight, 1, 1, nullptr);
    if (!bitmaps.mask) return false;
    SelectedBitmap colour(bitmaps.colour);
    SelectedBitmap mask(bitmaps.mask);
    if (!colour.ok() || !mask.ok()) return false;
    // Colour to monochrome: pixels of the source's background colour turn white.
    SetBkColor(colour.dc, GetPixel(colour.dc, 0, 0));
    if (!BitBlt(mask.dc, 0, 0, info.bmWidth, info.bmHeight, colour.dc, 0, 0, SRCCOPY))
        return false;
    // Monochrome to colour: white bits take the background colour, black the text colour.
    SetBkColor(colour.dc, RGB(0, 0, 0));
    SetTextColor(colour.dc, RGB(255, 255, 255));
    return BitBlt(colour.dc, 0, 0, info.bmWidth, info.bmHeight, mask.dc, 0, 0, SRCAND);
}

bool LoadBitmapFile(const char* path, int cx, int cy, Bitmaps& bitmaps) {
    bitmaps.colour = static_cast<HBITMAP>(
        LoadImageA(nullptr, path, IMAGE_BITMAP, cx, cy, LR_LOADFROMFILE));
    if (!bitmaps.colour) return false;
    if (MaskByCorner(bitmaps)) return true;
    Delete(bitmaps);
    return false;
}

bool LoadIconFile(const char* path, int cx, int cy, Bitmaps& bitmaps) {
    HICON icon = static_cast<HICON>(
        LoadImageA(nullptr, path, IMAGE_ICON, cx, cy, LR_LOADFROMFILE));
    if (!icon) return false;
    ICONINFO info = {};
    const BOOL got = GetIconInfo(icon, &info);
    DestroyIcon(icon);
    if (!got) return false;
    bitmaps.colour = info.hbmColor;
    bitmaps.mask = info.hbmMask;
    // A monochrome icon keeps both halves in one double-height mask.
    if (bitmaps.colour && bitmaps.mask) return true;
    Delete(bitmaps);
    return false;
}

// The list copies the bitmaps, so they go either way.
bool AddToNewList(Bitmaps& bitmaps, HIMAGELIST& list, int& index) {
    BITMAP info;
    list = nullptr;
    if (GetObjectA(bitmaps.colour, sizeof info, &info))
        list = ImageList_Create(info.bmWidth, info.bmHeight, ILC_COLOR32 | ILC_MASK, 1, 0);
    index = list ? ImageList_Add(list, bitmaps.colour, bitmaps.mask) : -1;
    Delete(bitmaps);
    if (index >= 0) return true;
    if (list) ImageList_Destroy(list);
    list = nullptr;
    return false;
}

// Releases what an earlier LoadImageEx made in this record; true if there was any.
bool ReleaseMade(PictureRecord& picture) {
    const int32_t kind = picture_slots::MadeKind(picture);
    const uint32_t a = picture_slots::MadeA(picture);
    const uint32_t b = picture_slots::MadeB(picture);
    switch (kind) {
    case kPictureBitmaps:
    case kPictureListBitmaps:
        DeleteObject(reinterpret_cast<HGDIOBJ>(a));
        DeleteObject(reinterpret_cast<HGDIOBJ>(b));
        break;
    case kPictureImageList:
        ImageList_Destroy(reinterpret_cast<HIMAGELIST>(a));
        break;
    default:
        return false;
    }
    picture_slots::SetMade(picture, kPictureNone, 0, 0);
    return true;
}

void ClearPublicHandles(PictureRecord& picture) {
    picture.kind = kPictureNone;
    picture.handleA = 0;
    picture.handleB = 0;
}

}  // namespace

// Loading again replaces the previous picture; on any failure kind is 0.
int WINAPI LoadImageEx(PictureRecord* picture) {
    if (!picture) return 0;
    ReleaseMade(*picture);
    ClearPublicHandles(*picture);
    const char* path = picture_slots::Path(*picture);
    int cx, cy;
    if (!path || !RequestedSize(*picture, cx, cy)) return 0;
    Bitmaps bitmaps;
    if (!LoadBitmapFile(path, cx, cy, bitmaps) && !LoadIconFile(path, cx, cy, bitmaps))
        return 0;

    const int32_t form = picture_slots::Form(*picture);
    uint32_t a, b;
    if (form == kPictureImageList) {
        HIMAGELIST list;
        int index;
        if (!AddToNewList(bitmaps, list, index)) return 0;
        a = reinterpret_cast<uint32_t>(list);
        b = static_cast<uint32_t>(index);
    } else {
        a = reinterpret_cast<uint32_t>(bitmaps.colour);
        b = reinterpret_cast<uint32_t>(bitmaps.mask);
    }
    picture->kind = form;
    picture->handleA = a;
    picture->handleB = b;
    picture_slots::SetMade(*picture, form, a, b);
    return 1;
}

// Safe on an all-zero record and when called twice; handles this library did
// not make are left alone.
int WINAPI FreePicture(PictureRecord* picture) {
    if (!picture) return 0;
    const bool released = ReleaseMade(*picture);
    heap_text::Free(picture_slots::Path(*picture));
    picture_slots::Forget(*picture);
    ClearPublicHandles(*picture);
    return released ? 1 : 0;
}
