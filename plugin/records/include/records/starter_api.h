// The host support library, STARTER.DLL. The module imports it by name; the
// records live in the caller's storage and are laid out by the library.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 4, "STARTER.DLL is a 32-bit library");

// Valid from OpenCFGr to CloseCFGr; the contents are the library's.
struct CfgReader {
    uint32_t words[9];
};
static_assert(sizeof(CfgReader) == 36);

enum PictureKind : int32_t {
    kPictureNone = 0,
    kPictureBitmaps = 1,      // handleA colour bitmap, handleB mask bitmap
    kPictureListBitmaps = 2,  // the same, meant for an image list
    kPictureImageList = 4,    // handleA image list, handleB index
};

struct PictureRecord {
    int32_t kind;
    uint32_t handleA;
    uint32_t handleB;
    int32_t cx;
    int32_t cy;
    uint32_t library20[5];
    uint32_t flags;
    uint32_t library44[2];
};
static_assert(sizeof(PictureRecord) == 52);
static_assert(offsetof(PictureRecord, kind) == 0);
static_assert(offsetof(PictureRecord, handleA) == 4);
static_assert(offsetof(PictureRecord, handleB) == 8);
static_assert(offsetof(PictureRecord, cx) == 12);
static_assert(offsetof(PictureRecord, cy) == 16);
static_assert(offsetof(PictureRecord, flags) == 40);

// Asks the library to load the picture at exactly cx by cy.
constexpr uint32_t kPictureFlagUseSize = 0x10;

#ifdef STARTER_BUILDING
#define STARTER_API extern "C"  // the .def file exports the undecorated names
#else
#define STARTER_API extern "C" __declspec(dllimport)
#endif

STARTER_API int WINAPI OpenCFGr(DWORD configFile, CfgReader* reader);
STARTER_API int WINAPI FindSection(const char* section, int flags, CfgReader* reader);
STARTER_API int WINAPI GetCFGPic(const char* key, PictureRecord* picture, CfgReader* reader);
STARTER_API int WINAPI CloseCFGr(CfgReader* reader);
STARTER_API int WINAPI LoadImageEx(PictureRecord* picture);
STARTER_API int WINAPI FreePicture(PictureRecord* picture);
STARTER_API int WINAPI FileExists(const char* path);
STARTER_API int WINAPI SetForeWndFix(HWND window, DWORD value);
