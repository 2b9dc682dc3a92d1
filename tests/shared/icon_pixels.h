// An icon's size, and the colours it or a window draws, read back through GDI.
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

// Every pixel, row by row, of what `draw` paints on a bitmap of width by
// height pixels that holds the background before.
template <typename Draw>
inline std::vector<COLORREF> DrawnOn(int width, int height, COLORREF background, Draw draw) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, canvas);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    draw(dc);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Every pixel, row by row, of the icon drawn at edge by edge pixels over the background.
inline std::vector<COLORREF> IconDrawnOn(HICON icon, int edge, COLORREF background) {
    return DrawnOn(edge, edge, background,
                   [&](HDC dc) { DrawIconEx(dc, 0, 0, icon, edge, edge, 0, nullptr, DI_NORMAL); });
}
