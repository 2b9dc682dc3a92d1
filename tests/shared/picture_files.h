// Picture files written byte by byte, so the tests know every pixel the
// library loads.
#pragma once

#include <windows.h>

#include <string>

// The transparent colour by our convention: the bitmap's top-left pixel.
constexpr COLORREF kCornerColour = RGB(255, 0, 255);
constexpr COLORREF kInkColour = RGB(0, 0, 255);

// A 24-bit bitmap of the corner colour with an ink rectangle inside, one pixel
// in from every edge.
std::string BitmapFile(int width, int height);

// An icon file with one 32-bit image of the given edge: ink inside, the
// outermost ring transparent by its AND mask.
std::string IconFile(int edge);
