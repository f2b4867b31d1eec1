#pragma once
// A part of the screen as RGB pixels, for kt4r_remote's screenshots and the window tests'.
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/win32/gdi_selection.h"

namespace ostrel::training {

// The screen's pixels in the rectangle, as rows of RGB, top row first.
inline bool CaptureScreen(const RECT& area, std::string& rgb) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;

    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (memory && bitmap && bits) {
        const ::ostrel::win32::GdiSelection selected(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != 0;
        GdiFlush();
    }
    if (copied) {
        // DIB rows are BGR and padded to four bytes.
        const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
        const auto* pixels = static_cast<const unsigned char*>(bits);
        rgb.resize(static_cast<size_t>(width) * 3 * height);
        for (int y = 0; y < height; ++y) {
            const unsigned char* from = pixels + stride * y;
            char* to = &rgb[static_cast<size_t>(width) * 3 * y];
            for (int x = 0; x < width; ++x) {
                to[3 * x] = static_cast<char>(from[3 * x + 2]);
                to[3 * x + 1] = static_cast<char>(from[3 * x + 1]);
                to[3 * x + 2] = static_cast<char>(from[3 * x]);
            }
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied;
}

}  // namespace ostrel::training
