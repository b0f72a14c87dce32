#include "ToolBarEx.h"

#include <algorithm>
#include <string>

#include "framework/Handles.h"
#include "resource.h"

namespace {

constexpr int TOOLBAR_IMAGE_SIZE = 32;
constexpr int COMMAND_STRING_CAPACITY = 512;

std::wstring LoadCommandString(HINSTANCE instance, UINT id)
{
    wchar_t text[COMMAND_STRING_CAPACITY] = {};
    int length = LoadStringW(instance, id, text, COMMAND_STRING_CAPACITY);
    return std::wstring(text, length > 0 ? length : 0);
}

constexpr int BYTES_PER_PIXEL = 3;
constexpr int DIB_ROW_ALIGNMENT = 4;
constexpr int FADED_BASE = 128;

// Turns a 24-bit bitmap into pale grey, leaving the transparent colour as it is, so that
// disabled buttons look disabled.
void Fade(const DIBSECTION& section, COLORREF mask)
{
    if (section.dsBm.bmBitsPixel != BYTES_PER_PIXEL * 8) return;
    int width = section.dsBm.bmWidth;
    int rows = section.dsBm.bmHeight < 0 ? -section.dsBm.bmHeight : section.dsBm.bmHeight;
    int stride = (width * BYTES_PER_PIXEL + DIB_ROW_ALIGNMENT - 1) / DIB_ROW_ALIGNMENT * DIB_ROW_ALIGNMENT;
    auto* bits = static_cast<BYTE*>(section.dsBm.bmBits);
    for (int row = 0; row < rows; ++row) {
        BYTE* pixel = bits + static_cast<std::ptrdiff_t>(row) * stride;
        for (int column = 0; column < width; ++column, pixel += BYTES_PER_PIXEL) {
            if (RGB(pixel[2], pixel[1], pixel[0]) == mask) continue;
            int grey = (pixel[2] * 30 + pixel[1] * 59 + pixel[0] * 11) / 100;
            BYTE faded = static_cast<BYTE>(FADED_BASE + grey / 2);
            pixel[0] = pixel[1] = pixel[2] = faded;
        }
    }
}

} // namespace

bool CToolBarEx::SetupLabels(HINSTANCE instance)
{
    int count = GetButtonCount();
    for (int index = count - 1; index >= 0; --index) {
        UINT command = GetCommandId(index);
        if (IsSeparator(index) || command == 0) continue;
        std::wstring text = LoadCommandString(instance, command);
        std::size_t lastBreak = text.rfind(L'\n');
        std::wstring label = lastBreak == std::wstring::npos ? text : text.substr(lastBreak + 1);
        if (!label.empty() && !SetButtonText(index, label)) return false;
    }

    // Setting the image size makes the toolbar measure its buttons again, labels included.
    SetBitmapSize(TOOLBAR_IMAGE_SIZE, TOOLBAR_IMAGE_SIZE);
    int width = 0;
    int height = 0;
    for (int index = 0; index < count; ++index) {
        RECT rect = {};
        if (IsSeparator(index) || !GetItemRect(index, rect)) continue;
        width = std::max(width, static_cast<int>(rect.right - rect.left));
        height = std::max(height, static_cast<int>(rect.bottom - rect.top));
    }
    if (width > 0 && height > 0) SetButtonSize(width, height);
    return true;
}

bool CToolBarEx::SetImages(HINSTANCE instance, UINT message)
{
    fw::BitmapHandle bitmap(static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_TOOLBAR), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) return false;
    DIBSECTION section = {};
    if (GetObjectW(bitmap.Get(), sizeof section, &section) != sizeof section || section.dsBm.bmBits == nullptr)
        return false;

    // The first stored pixel, in blue, green, red order, is the transparent colour.
    const auto* firstPixel = static_cast<const BYTE*>(section.dsBm.bmBits);
    COLORREF mask = RGB(firstPixel[2], firstPixel[1], firstPixel[0]);

    fw::ImageList* target = message == TB_SETHOTIMAGELIST        ? &hotImages
                            : message == TB_SETDISABLEDIMAGELIST ? &disabledImages
                                                                 : &normalImages;
    if (message == TB_SETDISABLEDIMAGELIST) Fade(section, mask);
    fw::ImageList images;
    int count = section.dsBm.bmWidth / TOOLBAR_IMAGE_SIZE;
    if (!images.Create(TOOLBAR_IMAGE_SIZE, TOOLBAR_IMAGE_SIZE, ILC_COLOR24 | ILC_MASK, count, 0)) return false;
    if (images.AddMasked(bitmap.Get(), mask) < 0) return false;
    SetImageList(message, images.Get());
    *target = std::move(images);
    return true;
}
