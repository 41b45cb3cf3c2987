// What the desktop shows in a screen rectangle, seen from another program: 32-bit pixels (blue,
// green, red, unused), top row first. Uncovered desktop reads black.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

inline std::vector<uint8_t> GrabScreen(int left, int top, int w, int h) {
    std::vector<uint8_t> px(static_cast<size_t>(w > 0 ? w : 0) * static_cast<size_t>(h > 0 ? h : 0) * 4);
    if (px.empty()) return px;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    if (bits && BitBlt(mem, 0, 0, w, h, screen, left, top, SRCCOPY)) {
        GdiFlush();
        std::memcpy(px.data(), bits, px.size());
    }
    SelectObject(mem, old), DeleteObject(bmp), DeleteDC(mem), ReleaseDC(nullptr, screen);
    return px;
}
