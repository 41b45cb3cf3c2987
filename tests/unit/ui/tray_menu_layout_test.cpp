#include <gtest/gtest.h>

#include "CaseFile.h"
#include "ui/TrayMenuLayout.h"

using TrayMenuSizes = CaseTest;

TEST_P(TrayMenuSizes, ItemsAndIconsScaleWithTheMonitorDpi) {
    int c[7], w = 0, h = 0;
    for (int i = 0; i < 7; ++i) c[i] = std::stoi(GetParam()[i + 1]);
    TrayMenuItemSize(c[0], w, h);
    EXPECT_EQ(w, c[1]);
    EXPECT_EQ(h, c[2]);
    const MenuRect item{100, 200, 100 + w, 200 + h};
    MenuItemLayout plain = LayoutTrayMenuItem(item, false, c[0]);
    MenuItemLayout lit = LayoutTrayMenuItem(item, true, c[0]);
    EXPECT_EQ(plain.iconSize, c[3]);
    EXPECT_EQ(plain.iconX - item.left, c[4]);
    EXPECT_EQ(lit.iconX - item.left, c[5]);
    EXPECT_EQ(plain.text.left - item.left, c[6]);
    // Nothing is clipped: the icon stays inside the icon column and the item's height.
    for (const MenuItemLayout* l : {&plain, &lit}) {
        EXPECT_LE(l->iconY + l->iconSize, item.bottom);
        EXPECT_LE(l->iconX + l->iconSize, plain.iconBox.right);
        EXPECT_EQ(l->text.right, item.right);
    }
}
INSTANTIATE_TEST_SUITE_P(, TrayMenuSizes, CasesIn("tray_menu_sizes.txt", 8), ByName());
