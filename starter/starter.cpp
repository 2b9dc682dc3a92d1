#include "plugin/starter_api.h"

int WINAPI OpenCFGr(DWORD, CfgReader*) { return 0; }
int WINAPI FindSection(const char*, int, CfgReader*) { return 0; }
int WINAPI GetCFGPic(const char*, PictureRecord*, CfgReader*) { return 0; }
int WINAPI CloseCFGr(CfgReader*) { return 0; }
int WINAPI LoadImageEx(PictureRecord*) { return 0; }
int WINAPI FreePicture(PictureRecord*) { return 0; }
int WINAPI FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }
int WINAPI SetForeWndFix(HWND window, DWORD) { return SetForegroundWindow(window); }
