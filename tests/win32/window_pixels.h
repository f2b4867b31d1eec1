#pragma once
// What the window tests read from pixels: an icon's size, and a screenshot of a part of the
// screen saved as a PNG (what a person would have seen).
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/gdi_selection.h"
#include "training/win32/png_encode.h"
#include "training/win32/screen_capture.h"

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
    std::string rgb;
    if (area.right <= area.left || area.bottom <= area.top || !training::CaptureScreen(area, rgb))
        return false;
    const std::string png =
        training::EncodePng(area.right - area.left, area.bottom - area.top, rgb);
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return file && std::fclose(file) == 0 && written;
}

}  // namespace ostrel::win32
