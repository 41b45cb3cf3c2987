#include "ui/TrayMenuLayout.h"

namespace {
constexpr int kItemWidth = 150, kItemHeight = 22, kIcon = 16;
constexpr int kUnpainted = 10;  // left of the item, left to the menu's own background
constexpr int kIconColumn = 25;
constexpr int kTextGap = 8;
constexpr int kPlainIconInset = 3, kHighlightedIconInset = 2;
}  // namespace

int ScaleForDpi(int length96, int dpi) {
    if (dpi < 48 || dpi > 960) dpi = 96;
    return (length96 * dpi + 48) / 96;
}

void TrayMenuItemSize(int dpi, int& width, int& height) {
    width = ScaleForDpi(kItemWidth, dpi);
    height = ScaleForDpi(kItemHeight, dpi);
}

MenuItemLayout LayoutTrayMenuItem(const MenuRect& item, bool highlighted, int dpi) {
    MenuItemLayout l;
    MenuRect r = item;
    r.left += ScaleForDpi(kUnpainted, dpi);
    const int column = r.left + ScaleForDpi(kIconColumn, dpi);
    l.iconBox = {r.left, r.top, column, r.bottom};
    l.iconSize = ScaleForDpi(kIcon, dpi);
    if (highlighted) {
        l.frame = r;
        l.fill = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        l.iconX = r.left + ScaleForDpi(kHighlightedIconInset, dpi);
        l.iconY = r.top + ScaleForDpi(kHighlightedIconInset, dpi);
    } else {
        l.textArea = {column, r.top, r.right, r.bottom};
        l.iconX = r.left + ScaleForDpi(kPlainIconInset, dpi);
        l.iconY = r.top + ScaleForDpi(kPlainIconInset, dpi);
    }
    l.text = {column + ScaleForDpi(kTextGap, dpi), r.top, r.right, r.bottom};
    return l;
}
