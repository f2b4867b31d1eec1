#pragma once
// What the window tests read from pixels: an icon's size, and a screenshot of a part of the
// screen saved as a PNG (what a person would have seen).
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/gdi_selection.h"
#include "training/win32/png_encode.h"

namespace ostrel::win32 {

inline int IconWidth(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bits = {};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bits, &bits);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bits.bmWidth;
}

inline bool SaveScreenPng(const RECT& area, const std::string& path) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::string rgb;
    if (memory && bitmap && bits) {
        const GdiSelection selected(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY)) {
            GdiFlush();
            // DIB rows are BGR and padded to four bytes.
            const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
            const auto* pixels = static_cast<const unsigned char*>(bits);
            rgb.reserve(static_cast<size_t>(width) * 3 * height);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const unsigned char* p = pixels + stride * y + 3 * x;
                    rgb += static_cast<char>(p[2]);
                    rgb += static_cast<char>(p[1]);
                    rgb += static_cast<char>(p[0]);
                }
            }
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rgb.empty()) return false;
    const std::string png = training::EncodePng(width, height, rgb);
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return file && std::fclose(file) == 0 && written;
}

}  // namespace ostrel::win32
