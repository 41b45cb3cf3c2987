#include <gtest/gtest.h>

#include "ui/TrayMenuLayout.h"

TEST(TrayMenuLayout, ItemsAndIconsScaleWithTheMonitorDpi) {
    struct Case {
        int dpi, width, height, icon, plainIcon, highlightedIcon, textLeft;
    };
    // plainIcon / highlightedIcon / textLeft: offsets from the item's left edge.
    const Case cases[] = {
        {96, 150, 22, 16, 13, 12, 43},
        {120, 188, 28, 20, 17, 16, 54},
        {144, 225, 33, 24, 20, 18, 65},
        {192, 300, 44, 32, 26, 24, 86},
        {0, 150, 22, 16, 13, 12, 43},  // a DPI the system could not tell reads as 96
    };
    for (const Case& c : cases) {
        int w = 0, h = 0;
        TrayMenuItemSize(c.dpi, w, h);
        EXPECT_EQ(w * 1000 + h, c.width * 1000 + c.height) << c.dpi;
        const MenuRect item{100, 200, 100 + w, 200 + h};
        MenuItemLayout plain = LayoutTrayMenuItem(item, false, c.dpi);
        MenuItemLayout lit = LayoutTrayMenuItem(item, true, c.dpi);
        EXPECT_EQ(plain.iconSize, c.icon) << c.dpi;
        EXPECT_EQ(plain.iconX - item.left, c.plainIcon) << c.dpi;
        EXPECT_EQ(lit.iconX - item.left, c.highlightedIcon) << c.dpi;
        EXPECT_EQ(plain.text.left - item.left, c.textLeft) << c.dpi;
        // Nothing is clipped: the icon stays inside the icon column and the item's height.
        for (const MenuItemLayout* l : {&plain, &lit}) {
            EXPECT_LE(l->iconY + l->iconSize, item.bottom) << c.dpi;
            EXPECT_LE(l->iconX + l->iconSize, plain.iconBox.right) << c.dpi;
            EXPECT_EQ(l->text.right, item.right) << c.dpi;
        }
    }
}
