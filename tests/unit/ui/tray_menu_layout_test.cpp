#include <gtest/gtest.h>

#include "CaseFile.h"
#include "ui/TrayMenuLayout.h"

TEST(TrayMenuLayout, ItemsAndIconsScaleWithTheMonitorDpi) {
    for (const CaseLine& row : ReadCases(TAVORI_CASES_DIR "/tray_menu_sizes.txt", 8)) {
        int c[7], w = 0, h = 0;
        for (int i = 0; i < 7; ++i) c[i] = std::stoi(row[i + 1]);
        TrayMenuItemSize(c[0], w, h);
        EXPECT_EQ(w * 1000 + h, c[1] * 1000 + c[2]) << Where(row);
        const MenuRect item{100, 200, 100 + w, 200 + h};
        MenuItemLayout plain = LayoutTrayMenuItem(item, false, c[0]);
        MenuItemLayout lit = LayoutTrayMenuItem(item, true, c[0]);
        EXPECT_EQ(plain.iconSize, c[3]) << Where(row);
        EXPECT_EQ(plain.iconX - item.left, c[4]) << Where(row);
        EXPECT_EQ(lit.iconX - item.left, c[5]) << Where(row);
        EXPECT_EQ(plain.text.left - item.left, c[6]) << Where(row);
        // Nothing is clipped: the icon stays inside the icon column and the item's height.
        for (const MenuItemLayout* l : {&plain, &lit}) {
            EXPECT_LE(l->iconY + l->iconSize, item.bottom) << Where(row);
            EXPECT_LE(l->iconX + l->iconSize, plain.iconBox.right) << Where(row);
            EXPECT_EQ(l->text.right, item.right) << Where(row);
        }
    }
}
