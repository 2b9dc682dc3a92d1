#include "tests/shared/picture_files.h"

#include <cstdint>

namespace {

void Put16(std::string& out, uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, static_cast<uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

void PutInfoHeader(std::string& out, int width, int height, uint16_t bits, uint32_t imageSize) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, bits);
    Put32(out, BI_RGB);
    Put32(out, imageSize);
    for (int unset = 0; unset < 4; ++unset) Put32(out, 0);  // resolution and palette
}

bool OnEdge(int x, int y, int width, int height) {
    return x == 0 || y == 0 || x == width - 1 || y == height - 1;
}

void PutPixel(std::string& out, COLORREF colour) {
    out += static_cast<char>(GetBValue(colour));
    out += static_cast<char>(GetGValue(colour));
    out += static_cast<char>(GetRValue(colour));
}

}  // namespace

std::string BitmapFile(int width, int height) {
    const int stride = (width * 3 + 3) & ~3;
    const uint32_t imageSize = static_cast<uint32_t>(stride * height);
    std::string out = "BM";
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40);
    PutInfoHeader(out, width, height, 24, imageSize);
    for (int y = height - 1; y >= 0; --y) {  // bottom-up rows
        for (int x = 0; x < width; ++x)
            PutPixel(out, OnEdge(x, y, width, height) ? kCornerColour : kInkColour);
        out.append(static_cast<size_t>(stride - width * 3), '\0');
    }
    return out;
}

std::string IconFile(int edge) {
    const int maskStride = ((edge + 31) / 32) * 4;
    const uint32_t imageSize = static_cast<uint32_t>(edge * edge * 4 + maskStride * edge);
    std::string out;
    Put16(out, 0);
    Put16(out, 1);  // icon
    Put16(out, 1);  // one image
    out += static_cast<char>(edge);
    out += static_cast<char>(edge);
    out += '\0';  // no palette
    out += '\0';
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 40 + imageSize);
    Put32(out, 6 + 16);
    PutInfoHeader(out, edge, edge * 2, 32, imageSize);  // colour and mask halves
    for (int y = edge - 1; y >= 0; --y)
        for (int x = 0; x < edge; ++x) {
            const bool clear = OnEdge(x, y, edge, edge);
            PutPixel(out, clear ? RGB(0, 0, 0) : kInkColour);
            out += static_cast<char>(clear ? 0 : 0xFF);
        }
    for (int y = edge - 1; y >= 0; --y) {
        std::string row(static_cast<size_t>(maskStride), '\0');
        for (int x = 0; x < edge; ++x)
            if (OnEdge(x, y, edge, edge))
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        out += row;
    }
    return out;
}
