#include "DriverHarness.h"

#include <objidl.h>
#include <gdiplus.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "tools/ScreenGrab.h"
#include "tools/WineTray.h"

namespace e2e {

std::string WinPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string E2eDir() { return WinPath(TAVORI_E2E_DIR); }

// Every process a case starts ends with the test program, however that ends: a case killed for its
// time would otherwise leave its driver running, and the next cases could not start theirs.
static HANDLE ChildrenJob() {
    static const HANDLE job = [] {
        HANDLE j = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (j) SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return j;
    }();
    return job;
}

bool StartProcess(const std::string& exe, const std::string& args, const char* dir, PROCESS_INFORMATION& pi) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = "\"" + exe + "\" " + args;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, dir, &si, &pi)) return false;
    if (HANDLE job = ChildrenJob()) AssignProcessToJobObject(job, pi.hProcess);
    ResumeThread(pi.hThread);
    return true;
}

long RunProcess(const std::string& exe, const std::string& args, DWORD timeoutMs) {
    PROCESS_INFORMATION pi{};
    if (!StartProcess(exe, args, nullptr, pi)) return -1;
    DWORD code = 0;
    const bool ended = WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0 && GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
    return ended ? static_cast<long>(code) : -1;
}

void RunOnHost(const std::string& hostCommand) { RunProcess("start.exe", "/wait /unix " + hostCommand, 10000); }

std::string HostPath(const std::string& winPath) {
    std::string path = winPath.substr(2);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

// The shell's file operation without any user interface: FO_DELETE of `from`, or FO_COPY of `from`
// into the folder `to`, made when missing.
static void ShellFiles(UINT operation, const std::string& from, const std::string& to = {}) {
    const std::string f = from + '\0', t = to + '\0';
    SHFILEOPSTRUCTA op{};
    op.wFunc = operation;
    op.pFrom = f.c_str();
    op.pTo = to.empty() ? nullptr : t.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationA(&op);
}

void RemoveFolder(const std::string& dir) { ShellFiles(FO_DELETE, dir); }

ProgramFolder::ProgramFolder(const std::string& exeName, bool withLang) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "case";
    CreateDirectoryA(E2eDir().c_str(), nullptr);
    dir = E2eDir() + "\\" + name;
    RemoveFolder(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    exe = Path(exeName);
    EXPECT_TRUE(CopyFileA(WinPath(TAVORI_EXE).c_str(), exe.c_str(), FALSE)) << exe;
    if (withLang) ShellFiles(FO_COPY, WinPath(TAVORI_LANG_DIR) + "\\*.*", Path("Lang"));
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
            // A killed driver's tray icon stays in the tray and would take the next test's clicks.
            NOTIFYICONDATAA icon{};
            icon.cbSize = sizeof(icon);
            icon.hWnd = WaitForMainWindow(0);
            icon.uID = 0xFFFFFFFF;
            TerminateProcess(m_pi.hProcess, 99);
            WaitForSingleObject(m_pi.hProcess, 5000);
            if (icon.hWnd) Shell_NotifyIconA(NIM_DELETE, &icon);
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

SIZE_T Driver::Memory() const {
    PROCESS_MEMORY_COUNTERS counters{};
    return K32GetProcessMemoryInfo(m_pi.hProcess, &counters, sizeof(counters)) ? counters.PagefileUsage : 0;
}

bool Driver::Start(const ProgramFolder& folder) { return StartProcess(folder.exe, "", folder.dir.c_str(), m_pi); }

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
    HWND found = nullptr;
    WaitFor([&] {
        for (HWND h : d.Windows(false))
            if (match(h)) return found = h, true;
        return !d.Running();
    }, timeoutMs);
    return found;
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

ThreadWindow::ThreadWindow(const char* className, WNDPROC proc, DWORD exStyle, DWORD style, RECT r, int brush)
    : m_thread([=, this] {
          WNDCLASSA wc{};
          wc.lpfnWndProc = proc;
          wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(brush));
          wc.lpszClassName = className;
          RegisterClassA(&wc);
          HWND h = CreateWindowExA(exStyle, className, className, style, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
          UpdateWindow(h);
          m_hwnd = h;
          for (MSG msg; IsWindow(h) && GetMessageA(&msg, nullptr, 0, 0) > 0;) DispatchMessageA(&msg);
      }) {
    WaitFor([&] { return m_hwnd.load() != nullptr; }, 10000);
}

void ThreadWindow::Close() {
    if (!m_thread.joinable()) return;
    PostMessageA(m_hwnd.load(), WM_CLOSE, 0, 0);
    m_thread.join();
}

SharedView::SharedView(const char* name, DWORD size) {
    m_map = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (m_map) m_view = MapViewOfFile(m_map, FILE_MAP_ALL_ACCESS, 0, 0, size);
}

void SharedView::Close() {
    if (m_view) UnmapViewOfFile(m_view);
    if (m_map) CloseHandle(m_map);
    m_view = m_map = nullptr;
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

Screen::Screen(int left, int top, int width, int height)
    : left(left), top(top), w(width), h(height), px(GrabScreen(left, top, width, height)) {}

bool Screen::FindCross(POINT& c) const {
    int rows = 0, sx = 0, sy = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0, run = 0; x < w; ++x) {
            run = Red(x, y) ? run + 1 : 0;
            if (run < 58) continue;
            while (x + 1 < w && Red(x + 1, y)) ++x, ++run;
            sx += x - run / 2, sy += y, ++rows;
            break;
        }
    if (rows == 0) return false;
    c = {left + sx / rows, top + sy / rows};
    return true;
}

bool SaveScreenshot(const std::string& pngPath) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    Screen screen;
    bool ok = false;
    {
        Gdiplus::Bitmap image(screen.w, screen.h, screen.w * 4, PixelFormat32bppRGB, screen.px.data());
        CLSID png;
        CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &png);
        ok = image.Save(FromCodePage(pngPath, CP_ACP).c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    return ok;
}

TrayPicture ReadTrayPicture() {
    // The icons only: the tray's title bar turns blue whenever the tray window is active.
    const RECT rc = WineTrayIcons();
    if (rc.bottom <= rc.top) return TrayPicture::None;
    const Screen icons(rc.left, rc.top, std::min<int>(rc.right - rc.left, 64), rc.bottom - rc.top);
    int blue = 0, red = 0;
    for (size_t i = 0; i < icons.px.size(); i += 4) {
        const int b = icons.px[i], g = icons.px[i + 1], r = icons.px[i + 2];
        blue += b > 150 && r < 100 && g < 160;
        red += r > 150 && g < 80 && b < 80;
    }
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
