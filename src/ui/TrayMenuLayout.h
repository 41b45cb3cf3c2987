// Where the tray menu draws each part of an item, in device pixels for the DPI of the monitor
// the menu opens on: the item is 150 x 22 and the icons 16 x 16 at 96 DPI, and every distance
// scales with the DPI so that text and icons are neither clipped nor blurred at 150% or 200%.
#pragma once

struct MenuRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const MenuRect&) const = default;
};

struct MenuItemLayout {
    MenuRect frame;     // highlighted: the 1-pixel black frame; plain: unused (empty)
    MenuRect fill;      // highlighted: inside the frame
    MenuRect iconBox;   // plain: the icon column
    MenuRect textArea;  // plain: the text area's background
    int iconX = 0, iconY = 0, iconSize = 16;
    MenuRect text;      // where the item's text is drawn, vertically centred
};

// A length given at 96 DPI, in pixels at `dpi` (rounded to nearest; 96 when dpi is not sane).
int ScaleForDpi(int length96, int dpi);
void TrayMenuItemSize(int dpi, int& width, int& height);
MenuItemLayout LayoutTrayMenuItem(const MenuRect& item, bool highlighted, int dpi);
