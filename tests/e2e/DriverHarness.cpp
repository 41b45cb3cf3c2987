#include "DriverHarness.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace e2e {

std::string WinPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string E2eDir() { return WinPath(TAVORI_E2E_DIR); }

static void RemoveTree(const std::string& dir) {
    std::string from = dir + '\0';
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationA(&op);
}

static void CopyTree(const std::string& from, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((from + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        CopyFileA((from + "\\" + fd.cFileName).c_str(), (to + "\\" + fd.cFileName).c_str(), FALSE);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

ProgramFolder::ProgramFolder(const std::string& exeName, bool withLang) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "case";
    CreateDirectoryA(E2eDir().c_str(), nullptr);
    dir = E2eDir() + "\\" + name;
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    exe = Path(exeName);
    EXPECT_TRUE(CopyFileA(WinPath(TAVORI_EXE).c_str(), exe.c_str(), FALSE)) << exe;
    if (withLang) CopyTree(WinPath(TAVORI_LANG_DIR), Path("Lang"));
    Write("VirtualCamera.ini", "[Camera0]\r\n");
}

void ProgramFolder::Write(const std::string& file, const std::string& bytes) const {
    std::ofstream out(Path(file), std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool ProgramFolder::Exists(const std::string& file) const {
    return GetFileAttributesA(Path(file).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ProgramFolder::ReadKey(const std::string& file, const char* section, const char* key) const {
    char buf[512] = {};
    GetPrivateProfileStringA(section, key, "<missing>", buf, sizeof(buf), Path(file).c_str());
    return buf;
}

Driver::~Driver() {
    if (m_pi.hProcess) {
        if (Running()) {
            TerminateProcess(m_pi.hProcess, 99);
            WaitForSingleObject(m_pi.hProcess, 5000);
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

bool Driver::Start(const ProgramFolder& folder, const std::vector<std::pair<std::string, std::string>>& env) {
    std::string block;
    if (!env.empty()) {
        char* current = GetEnvironmentStringsA();
        for (const char* p = current; *p; p += strlen(p) + 1) {
            std::string entry = p;
            bool replaced = false;
            for (const auto& kv : env)
                if (_strnicmp(entry.c_str(), (kv.first + "=").c_str(), kv.first.size() + 1) == 0) replaced = true;
            if (!replaced) block += entry + '\0';
        }
        FreeEnvironmentStringsA(current);
        for (const auto& kv : env) block += kv.first + "=" + kv.second + '\0';
        block += '\0';
    }
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = "\"" + folder.exe + "\"";
    return CreateProcessA(folder.exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0,
                          block.empty() ? nullptr : block.data(), folder.dir.c_str(), &si, &m_pi) != FALSE;
}

bool Driver::Running() const {
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

bool Driver::WaitForExit(DWORD timeoutMs) const {
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

std::vector<HWND> Driver::Windows(bool visibleOnly) const {
    struct Ctx { DWORD pid; bool visibleOnly; std::vector<HWND> found; } ctx{Pid(), visibleOnly, {}};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == c->pid && (!c->visibleOnly || IsWindowVisible(h))) c->found.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

static HWND WaitForWindow(const Driver& d, DWORD timeoutMs, bool (*match)(HWND)) {
    DWORD start = GetTickCount();
    do {
        for (HWND h : d.Windows(false))
            if (match(h)) return h;
        if (!d.Running()) return nullptr;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND Driver::WaitForMainWindow(DWORD timeoutMs) const {
    return WaitForWindow(*this, timeoutMs, [](HWND h) {
        char title[64] = {};
        GetWindowTextA(h, title, sizeof(title));
        return strcmp(title, "Tavori Driver window") == 0;
    });
}

static bool IsMessageBox(HWND h) {
    char cls[32] = {}, title[64] = {};
    GetClassNameA(h, cls, sizeof(cls));
    GetWindowTextA(h, title, sizeof(title));
    return strcmp(cls, "#32770") == 0 && IsWindowVisible(h) && strcmp(title, "Tavori Driver window") != 0;
}

HWND Driver::WaitForMessageBox(DWORD timeoutMs) const { return WaitForWindow(*this, timeoutMs, IsMessageBox); }

std::vector<HWND> Driver::MessageBoxes() const {
    std::vector<HWND> boxes;
    for (HWND h : Windows(true))
        if (IsMessageBox(h)) boxes.push_back(h);
    return boxes;
}

int Driver::WaitForExitCountingBoxes(DWORD timeoutMs) const {
    std::vector<HWND> seen;
    DWORD start = GetTickCount();
    while (!WaitForExit(20)) {
        if (GetTickCount() - start > timeoutMs) return -1;
        for (HWND box : MessageBoxes()) {
            if (std::find(seen.begin(), seen.end(), box) == seen.end()) seen.push_back(box);
            PressOk(box);
        }
    }
    return static_cast<int>(seen.size());
}

std::wstring MessageBoxText(HWND box) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    return text;
}

void PressOk(HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); }

bool MappingExists(const char* name) {
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (h) CloseHandle(h);
    return h != nullptr;
}

std::wstring FromCodePage(const std::string& bytes, UINT codePage) {
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
    return w;
}

std::string LanguageFileText(const std::string& file, const std::string& key) {
    std::ifstream in(WinPath(TAVORI_LANG_DIR) + "\\" + file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return {};
}

bool SaveScreenshot(const std::string& pngPath) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    bool ok = false;
    {
        int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        Gdiplus::Bitmap image(bmp, nullptr);
        CLSID png;
        CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &png);
        std::wstring wpath = FromCodePage(pngPath, CP_ACP);
        ok = image.Save(wpath.c_str(), &png, nullptr) == Gdiplus::Ok;
        DeleteObject(bmp);
        DeleteDC(mem);
        ReleaseDC(nullptr, screen);
    }
    Gdiplus::GdiplusShutdown(token);
    return ok;
}

TrayPicture ReadTrayPicture() {
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    if (!tray) return TrayPicture::None;
    // The icons only: the tray's title bar turns blue whenever the tray window is active.
    RECT rc{};
    GetClientRect(tray, &rc);
    MapWindowPoints(tray, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    HDC screen = GetDC(nullptr);
    int blue = 0, red = 0;
    for (int y = rc.top; y < rc.bottom; y += 1)
        for (int x = rc.left; x < rc.right && x < rc.left + 64; x += 1) {
            COLORREF c = GetPixel(screen, x, y);
            int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
            if (b > 150 && r < 100 && g < 160) ++blue;
            if (r > 150 && g < 80 && b < 80) ++red;
        }
    ReleaseDC(nullptr, screen);
    // Bluish pixels stand beside the disconnected picture too (its edge, the tray's own marks): the
    // picture is the colour that clearly dominates (measured: 42 red to 5..11 blue, 0..8 red to 104..147 blue).
    if (red > 20 && red > 2 * blue) return TrayPicture::Disconnected;
    if (blue > 60 && blue > 4 * red) return TrayPicture::Running;
    return TrayPicture::None;
}

bool WaitForTrayPicture(TrayPicture wanted, DWORD timeoutMs) {
    return WaitFor([&] { return ReadTrayPicture() == wanted; }, timeoutMs);
}

}  // namespace e2e
