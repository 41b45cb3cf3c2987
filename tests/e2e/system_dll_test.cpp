// The driver takes only the system's own DLLs: it runs on where Windows lacks Media Foundation (an N
// edition without the Media Feature Pack), and no DLL it loads after start comes from its folder.
#include <gtest/gtest.h>

#include <string>

#include "SystemDll.h"
#include "VirtualRig.h"

// Run as e2e.NoMediaFoundation and e2e.PlantedDlls: Wine's overrides, which every program of the run
// inherits, disable Media Foundation or prefer a copy of it, gdiplus and winmm from the program's own
// folder, where this case plants them. (user32 and shcore, also asked for by name, are loaded before
// the driver runs: a planted copy preferred would be taken by Wine as an import, not the path tested.)
TEST(SystemDlls, WithoutMediaFoundationOrWithDllsPlantedInTheFolderThePenWorksAndNoPlantLoads) {
    char overrides[256] = "";
    if (!GetEnvironmentVariableA("TAVORI_WINEDLLOVERRIDES", overrides, sizeof overrides)) GTEST_SKIP() << "run as e2e.NoMediaFoundation or e2e.PlantedDlls";
    const bool plant = std::string(overrides).find("=n") != std::string::npos;
    e2e::CanvasRig rig;
    for (const std::string dll : {"mfplat", "mf", "mfreadwrite", "gdiplus", "winmm"})
        if (plant) CopyFileA(e2e::WinPath(TAVORI_PLANTED_DLL).c_str(), rig.folder.Path(dll + ".dll").c_str(), FALSE);
    ASSERT_TRUE(rig.Start());
    HWND box = plant ? nullptr : rig.driver.WaitForMessageBox();
    EXPECT_TRUE(plant || (box && e2e::MessageBoxText(box).find(L"Media Feature Pack") != std::wstring::npos)) << "not said";
    if (box) e2e::PressOk(box);
    rig.Touch(900, 500, 150);
    EXPECT_TRUE(rig.WaitForButtons("down up"));
    // The canvas lies on top of everything, the tray too, whichever showed last.
    rig.canvas.reset();
    EXPECT_TRUE(e2e::WaitForTrayPicture(e2e::TrayPicture::Running));
    rig.Quit();
    EXPECT_EQ(rig.driver.WaitForExitCountingBoxes(), 0) << "a second box, or no end";
    WIN32_FIND_DATAA found;
    EXPECT_EQ(FindFirstFileA(rig.folder.Path("*.loaded").c_str(), &found), INVALID_HANDLE_VALUE) << found.cFileName;
}

// planted.dll and control.dll lie beside this program. Where the search flags are missing (Windows 7
// without KB2533623) a system DLL is taken by its path; a load by bare name reaches the program's
// folder until the search is restricted.
TEST(SystemDlls, NoWayOfLoadingBySystemNameReachesTheProgramFolder) {
    EXPECT_EQ(tavori::sysdll::LoadSystemDllByPath("planted.dll"), nullptr);
    EXPECT_NE(tavori::sysdll::LoadSystemDllByPath("winmm.dll"), nullptr);
    ASSERT_NE(LoadLibraryA("control.dll"), nullptr);
    tavori::sysdll::RestrictDllSearch();
    EXPECT_EQ(LoadLibraryA("planted.dll"), nullptr);
}
