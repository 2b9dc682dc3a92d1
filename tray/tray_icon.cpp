#include "tray/tray_icon.h"

#include <shellapi.h>
#include <commctrl.h>

#include <cstring>

#include "records/module_state.h"
#include "resources/resource_ids.h"
#include "win/handles.h"

namespace {

using ImageList = Owned<HIMAGELIST, &ImageList_Destroy>;

constexpr char kTrayTip[] = "Calvorin";
// The module's own icon is always its small image, whatever the tray's size.
constexpr int kFallbackIconSize = 16;

HBITMAP AsBitmap(uint32_t handle) {
    return reinterpret_cast<HBITMAP>(handle);
}

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
    const ImageList list(ImageList_Create(picture.cx, picture.cy, ILC_MASK | ILC_COLORDDB, 1, 0));
    if (!list.Get()) return nullptr;
    const int index =
        ImageList_Add(list.Get(), AsBitmap(picture.handleA), AsBitmap(picture.handleB));
    if (index == -1) return nullptr;
    return ImageList_GetIcon(list.Get(), index, ILD_TRANSPARENT);
}

HICON IconFromImageList(const PictureRecord& picture) {
    return ImageList_GetIcon(reinterpret_cast<HIMAGELIST>(picture.handleA),
                             static_cast<int>(picture.handleB), ILD_TRANSPARENT);
}

}  // namespace

HICON IconFromPicture(const PictureRecord* picture) {
    switch (picture->kind) {
    case kPictureBitmaps: return IconFromBitmaps(*picture);
    case kPictureListBitmaps: return IconThroughImageList(*picture);
    case kPictureImageList: return IconFromImageList(*picture);
    default: return nullptr;
    }
}

// The host copies the icon while its add-icon routine runs, so an icon built
// here is the module's to destroy as soon as the routine returns.
uint32_t AddTrayIcon() {
    g_trayIcon = {};
    g_trayIcon.cbSize = kTrayIconRecordSize;
    g_trayIcon.hWnd = NotifyWindow;
    g_trayIcon.uID = kTrayIconId;
    g_trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    g_trayIcon.uCallbackMessage = TrayCallbackMessage;
    HICON built = IconFromPicture(&g_picture);
    g_trayIcon.hIcon =
        built ? built
              : static_cast<HICON>(LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_PLUGIN), IMAGE_ICON,
                                              kFallbackIconSize, kFallbackIconSize, LR_SHARED));
    std::memcpy(g_trayIcon.szTip, kTrayTip, sizeof kTrayTip);
    TrayIconId = g_hostInfo.addIcon(&g_trayIcon);
    // InitGlobalModule returns this value to the host once the icon is in.
    // When an icon was built from the picture, hosts have always been given
    // DestroyIcon's result (1 when it succeeds), not the icon id, so that stays.
    if (built) return DestroyIcon(built);
    return TrayIconId;
}
