// The shipped language files as a user of this locale sees them: the driver reads the file that
// LangMatch.ini names for the locale and shows its texts in the file's code page, not as mojibake.
// Wine takes the locale from LANG of the whole test process (for locales generated on Linux), so
// ctest runs this once per language with TAVORI_EXPECT_LANGUAGE naming the file it must reach.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <vector>

#include "DriverHarness.h"
#include "res/resource.h"
#include "ui/TrayMenuLayout.h"

using namespace e2e;

namespace {
// The code page a language file declares on its first line ("; codepage N").
UINT DeclaredCodePage(const std::string& file) {
    std::ifstream in(WinPath(TAVORI_LANG_DIR) + "\\" + file, std::ios::binary);
    std::string line;
    std::getline(in, line);
    return line.rfind("; codepage ", 0) == 0 ? static_cast<UINT>(std::atoi(line.c_str() + 11)) : 0;
}

// Where the driver puts language texts in its dialogs; the other controls keep the template's text.
// Two dialogs lay their buttons out in pixels when they open, whatever the scaling.
struct Placed {
    int dialog, control;
    std::vector<const char*> keys;  // the texts that take turns in the control
    int pixelWidth = 0, pixelHeight = 0;
};
const Placed kPlaced[] = {
    {IDD_ABOUTBOX, IDOK, {"IDS_OK"}},
    {IDD_LASERWRITE, ID_CHECK_LASERWRITE, {"IDS_LASERWRIT"}},
    {IDD_OPTIONS, IDC_STATIC_LIST, {"IDS_CALIBRATIONLIST"}},
    {IDD_OPTIONS, IDC_BUTTON_RENAME, {"IDS_RENAME", "IDS_SAVE"}},
    {IDD_OPTIONS, IDC_BUTTON_NEW, {"IDS_NEW"}},
    {IDD_OPTIONS, IDC_BUTTON_SETACTIVE, {"IDS_SETACTIVE"}},
    {IDD_OPTIONS, IDCANCEL, {"IDS_CANCEL"}},
    {IDD_COLLATE, IDC_COLLATE_OK, {"IDS_OK"}, 100, 25},
    {IDD_COLLATE, IDCANCEL, {"IDS_CANCEL"}, 100, 25},
    {IDD_IMAGE_POSITION, IDOK, {"IDS_OK"}, 100, 25},
    {IDD_IMAGE_POSITION, IDCANCEL, {"IDS_CANCEL"}, 100, 25},
};

struct Control {
    int id, kind;  // the class's ordinal: 0x80 button, 0x82 static
    DWORD style;
    std::wstring text;
    int cx, cy;  // dialog units
};
struct Template {
    std::wstring face;
    int points = 0;
    std::vector<Control> controls;
};

// A name or an ordinal of an extended dialog template; past its end.
const WORD* NameOrOrdinal(const WORD* p, std::wstring* name = nullptr, int* ordinal = nullptr) {
    if (*p == 0xFFFF) {
        if (ordinal) *ordinal = p[1];
        return p + 2;
    }
    if (name) *name = reinterpret_cast<const wchar_t*>(p);
    return p + std::wcslen(reinterpret_cast<const wchar_t*>(p)) + 1;
}

Template LoadTemplate(HMODULE exe, int id) {
    Template t;
    const auto* p = static_cast<const WORD*>(LockResource(LoadResource(exe, FindResourceA(exe, MAKEINTRESOURCEA(id), RT_DIALOG))));
    if (!p || p[1] != 0xFFFF) return t;
    const int count = p[8];
    p = NameOrOrdinal(NameOrOrdinal(NameOrOrdinal(p + 13)));  // menu, class, caption
    t.points = p[0];
    p = NameOrOrdinal(p + 3, &t.face);  // after the size: weight, italic and character set
    for (int i = 0; i < count; ++i) {
        const auto* item = reinterpret_cast<const BYTE*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t{3});
        Control c{};
        short size[2];
        std::memcpy(&c.style, item + 8, 4), std::memcpy(size, item + 16, 4), std::memcpy(&c.id, item + 20, 4);
        c.cx = size[0], c.cy = size[1];
        p = NameOrOrdinal(NameOrOrdinal(reinterpret_cast<const WORD*>(item + 24), nullptr, &c.kind), &c.text);
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);  // creation data
        t.controls.push_back(c);
    }
    return t;
}

// Pixels a text needs in a control of the given kind and size (pixels): the check box's box and the
// button's frame take their room first; a static text wraps at its width.
::testing::AssertionResult Fits(HDC dc, const Control& c, const std::wstring& text, int w, int h, int dpi) {
    const bool checkBox = c.kind == 0x80 && ((c.style & BS_TYPEMASK) == BS_CHECKBOX || (c.style & BS_TYPEMASK) == BS_AUTOCHECKBOX);
    const int room = c.kind == 0x82 ? w : w - ScaleForDpi(checkBox ? 17 : 8, dpi);
    RECT need{0, 0, room, 0};
    const UINT wrap = c.kind == 0x82 ? DT_WORDBREAK : DT_SINGLELINE;
    DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | wrap | ((c.style & SS_NOPREFIX) && c.kind == 0x82 ? DT_NOPREFIX : 0));
    const int height = c.kind == 0x82 ? h : h - ScaleForDpi(4, dpi);
    if (need.right <= room && need.bottom <= height) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << need.right << " x " << need.bottom << " pixels in " << room << " x " << height;
}
}  // namespace

// The message shown when the camera-flash store cannot be opened: the first text a user may see.
TEST(Languages, TheLocaleShowsTheTextsOfItsLanguageFile) {
    char key[32], language[64] = {}, expect[64] = {};
    wsprintfA(key, "LCID_%x", GetSystemDefaultLCID());
    GetPrivateProfileStringA("Country", key, "English", language, sizeof(language),
                             (WinPath(TAVORI_LANG_DIR) + "\\LangMatch.ini").c_str());
    if (GetEnvironmentVariableA("TAVORI_EXPECT_LANGUAGE", expect, sizeof(expect))) {
        ASSERT_STREQ(language, expect) << "locale " << key << ": is the Linux locale generated (./run setup)?";
    }
    const std::string file = std::string(language) + ".ini";
    ASSERT_EQ(DeclaredCodePage(file), GetACP()) << file << " is not saved in this locale's code page";

    ProgramFolder folder;
    CreateDirectoryA(folder.Path("CameraFlash.bin").c_str(), nullptr);
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND box = driver.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    std::wstring expected = FromCodePage(LanguageFileText(file, "IDS_INSTAVORI"), GetACP());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(MessageBoxText(box), expected);
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);  // painted for the picture
    CreateDirectoryA((E2eDir() + "\\languages").c_str(), nullptr);
    SaveScreenshot(E2eDir() + "\\languages\\" + language + "-message.png");  // for a person: no boxes for glyphs
    PressOk(box);
    ASSERT_TRUE(driver.WaitForExit());
}

// Every language's texts in the dialogs' buttons, check boxes and static texts, measured with the
// dialog's own font at 100% and 150% scaling.
TEST(Languages, DialogTextsFitTheirControlsAt100And150Percent) {
    HMODULE exe = LoadLibraryExA(WinPath(TAVORI_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    for (const char* file : {"English.ini", "SimplifiedChinese.ini", "TraditionalChinese.ini", "German.ini", "French.ini",
                             "Spanish.ini", "Russian.ini", "Japanese.ini"}) {
        const UINT codePage = DeclaredCodePage(file);
        CHARSETINFO charset{};
        TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(codePage)), &charset, TCI_SRCCODEPAGE);
        for (int dpi : {96, 144})
            for (int dialog : {IDD_ABOUTBOX, IDD_LASERWRITE, IDD_OPTIONS, IDD_COLLATE, IDD_IMAGE_POSITION}) {
                const Template t = LoadTemplate(exe, dialog);
                ASSERT_FALSE(t.controls.empty()) << dialog;
                LOGFONTW lf{};
                lf.lfHeight = -MulDiv(t.points, dpi, 72);
                lf.lfCharSet = static_cast<BYTE>(charset.ciCharset);
                wcsncpy(lf.lfFaceName, t.face.c_str(), LF_FACESIZE - 1);
                HDC dc = CreateCompatibleDC(nullptr);
                HFONT font = CreateFontIndirectW(&lf);
                HGDIOBJ old = SelectObject(dc, font);
                TEXTMETRICW tm{};
                SIZE letters{};
                GetTextMetricsW(dc, &tm);
                GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
                const int baseX = (letters.cx / 26 + 1) / 2, baseY = tm.tmHeight;  // what a dialog unit is
                for (const Control& c : t.controls) {
                    const bool text = c.kind == 0x80 ? (c.style & BS_TYPEMASK) <= BS_AUTOCHECKBOX : c.kind == 0x82 && (c.style & SS_TYPEMASK) <= SS_RIGHT;
                    const Placed* placed = nullptr;
                    for (const Placed& p : kPlaced) placed = p.dialog == dialog && p.control == c.id ? &p : placed;
                    if (!text || (!placed && c.text.empty())) continue;
                    const bool pixels = placed && placed->pixelWidth;
                    const int w = pixels ? ScaleForDpi(placed->pixelWidth, dpi) : MulDiv(c.cx, baseX, 4);
                    const int h = pixels ? ScaleForDpi(placed->pixelHeight, dpi) : MulDiv(c.cy, baseY, 8);
                    for (const char* key : placed ? placed->keys : std::vector<const char*>{nullptr})
                        EXPECT_TRUE(Fits(dc, c, key ? FromCodePage(LanguageFileText(file, key), codePage) : c.text, w, h, dpi))
                            << file << " at " << dpi << " DPI, dialog " << dialog << ", control " << c.id << ": " << (key ? key : "template");
                }
                SelectObject(dc, old), DeleteObject(font), DeleteDC(dc);
            }
    }
    FreeLibrary(exe);
}
