#include "tray/tray_icon.h"

#include <commctrl.h>

namespace {

// Local to this file: only the kind-2 picture needs an image list of its own.
struct TemporaryImageList {
    HIMAGELIST h;
    explicit TemporaryImageList(HIMAGELIST list) : h(list) {}
    ~TemporaryImageList() { if (h) ImageList_Destroy(h); }
    TemporaryImageList(const TemporaryImageList&) = delete;
    TemporaryImageList& operator=(const TemporaryImageList&) = delete;
};

HBITMAP AsBitmap(uint32_t handle) { return reinterpret_cast<HBITMAP>(handle); }

// The bitmaps stay the picture's; the icon gets copies of them.
HICON IconFromBitmaps(const PictureRecord& picture) {
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = AsBitmap(picture.handleB);
    info.hbmColor = AsBitmap(picture.handleA);
    return CreateIconIndirect(&info);
}

// Passing the bitmaps through an image list of the tray's size scales them to it.
HICON IconThroughImageList(const PictureRecord& picture) {
    TemporaryImageList list(
        ImageList_Create(picture.cx, picture.cy, ILC_MASK | ILC_COLORDDB, 1, 0));
    if (!list.h) return nullptr;
    const int index = ImageList_Add(list.h, AsBitmap(picture.handleA), AsBitmap(picture.handleB));
    if (index == -1) return nullptr;
    return ImageList_GetIcon(list.h, index, ILD_TRANSPARENT);
}

HICON IconFromImageList(const PictureRecord& picture) {
    return ImageList_GetIcon(reinterpret_cast<HIMAGELIST>(picture.handleA),
                             static_cast<int>(picture.handleB), ILD_TRANSPARENT);
}

}  // namespace

HICON IconFromPicture(const PictureRecord* picture) {
    switch (picture->kind) {
    case kPictureBitmaps:     return IconFromBitmaps(*picture);
    case kPictureListBitmaps: return IconThroughImageList(*picture);
    case kPictureImageList:   return IconFromImageList(*picture);
    default:                  return nullptr;
    }
}
