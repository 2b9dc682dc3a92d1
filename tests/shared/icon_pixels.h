// An icon's size and the colours it draws, read back through GDI.
#pragma once

#include <windows.h>

#include <vector>

// The icon's width and height; none for a handle that names no icon.
inline SIZE IconSize(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return {0, 0};
    BITMAP mask{};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    // A mask without a colour bitmap holds both halves, one above the other.
    const SIZE size = {mask.bmWidth, info.hbmColor ? mask.bmHeight : mask.bmHeight / 2};
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}

// Every pixel, row by row, of the icon drawn at edge by edge pixels over the background.
inline std::vector<COLORREF> IconDrawnOn(HICON icon, int edge, COLORREF background) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, edge, edge);
    HGDIOBJ old = SelectObject(dc, canvas);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, edge, edge};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    DrawIconEx(dc, 0, 0, icon, edge, edge, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < edge; ++y)
        for (int x = 0; x < edge; ++x) pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}
