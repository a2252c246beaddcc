#include "tools/workbench/WindowPicture.h"

#include <stdio.h>

namespace {

bool WriteBitmapFile(const std::string& path, const BITMAPINFOHEADER& info, const void* bits)
{
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(&file, sizeof file, 1, f) == 1 && fwrite(&info, sizeof info, 1, f) == 1 &&
              fwrite(bits, info.biSizeImage, 1, f) == 1;
    ok = fclose(f) == 0 && ok;
    return ok;
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::string& path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return false;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFO picture = {};
    BITMAPINFOHEADER& info = picture.bmiHeader;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = ((static_cast<DWORD>(width) * 3 + 3) & ~3u) * static_cast<DWORD>(height);

    // Copied from the window's own surface: asking it to print itself gives
    // a blank picture under Wine.
    HDC windowDc = GetWindowDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &picture, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memoryDc, bitmap);
    const BOOL copied = BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    const bool written = copied && bits && WriteBitmapFile(path, info, bits);
    SelectObject(memoryDc, old);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    return written;
}
