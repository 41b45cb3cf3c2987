// The driver takes only the system's own DLLs: it runs on where Windows lacks Media Foundation (an
// N edition without the Media Feature Pack), and a DLL planted in its folder under the name of one it
// loads is never loaded.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "DriverHarness.h"
#include "VirtualRig.h"

using namespace e2e;

namespace {
// The DLLs the driver alone loads by name. It also asks user32 and shcore by name, but those are in
// the process before it runs: user32 imported, shcore under Wine an import of its shell32 (on Windows
// both are known DLLs, never searched for), so Wine preferring a planted copy would take the plant
// as an import at start, which is not the path under test (tests/win/sysdll covers the lookup).
const char* const kMediaFoundation[] = {"mfplat", "mf", "mfreadwrite"};

// Wine's load order of those DLLs for Tavori.exe while the object lives: its per-program key, as an
// override in the environment would not reach a program started from a Windows process.
class DllOverrides {
public:
    explicit DllOverrides(const char* order) {
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &m_key, nullptr);
        for (const char* dll : kMediaFoundation)
            RegSetValueExA(m_key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), static_cast<DWORD>(strlen(order) + 1));
    }
    ~DllOverrides() {
        RegCloseKey(m_key);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Tavori.exe");
    }

private:
    static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\Tavori.exe\\DllOverrides";
    HKEY m_key = nullptr;
};

bool Loaded(const ProgramFolder& folder, const std::string& dll) { return folder.Exists(dll + ".dll.loaded"); }
}  // namespace

// Disabled, the driver says once what Windows lacks; preferred from the program folder, only the
// search order stands between the driver and the planted files. Either way the pen works throughout.
TEST(SystemDlls, WithoutMediaFoundationOrWithItPlantedInTheFolderThePenWorksAndNoPlantLoads) {
    const struct {
        const char* name;
        const char* order;  // Wine's load order; "" disables
        bool plant;
        const wchar_t* box;  // said once at start, or nothing
    } cases[] = {{"Media Foundation disabled", "", false, L"Media Feature Pack"},
                 {"planted copies preferred", "native,builtin", true, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DllOverrides overrides(c.order);
        CanvasRig rig;
        const ProgramFolder& folder = rig.d.folder;
        if (c.plant) {
            for (const std::string dll : {"control", "mfplat", "mf", "mfreadwrite"})
                ASSERT_TRUE(CopyFileA(WinPath(TAVORI_PLANTED_DLL).c_str(), folder.Path(dll + ".dll").c_str(), FALSE));
            // The plant gives itself away when it is loaded.
            FreeLibrary(LoadLibraryA(folder.Path("control.dll").c_str()));
            ASSERT_TRUE(Loaded(folder, "control"));
        }
        ASSERT_TRUE(rig.Start());
        if (c.box) {
            HWND box = rig.d.driver.WaitForMessageBox();
            ASSERT_NE(box, nullptr);
            EXPECT_NE(MessageBoxText(box).find(c.box), std::wstring::npos);
            PressOk(box);
        }
        EXPECT_TRUE(WaitForTrayPicture(TrayPicture::Running));
        rig.pen.Down(900, 500);
        EXPECT_TRUE(rig.WaitForEvent("down"));
        rig.pen.Up();
        EXPECT_TRUE(rig.WaitForEvent("up"));
        rig.d.Quit();
        EXPECT_EQ(rig.d.driver.WaitForExitCountingBoxes(), 0) << "a second box, or no end";
        for (const char* dll : kMediaFoundation) EXPECT_FALSE(Loaded(folder, dll)) << dll << " was loaded from the program folder";
    }
}
