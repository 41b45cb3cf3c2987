// Puts the real program's windows on the screen one after another for the user guide's pictures.
// It drives; the caller photographs. For every window it prints
//     SHOT <name> <left> <top> <width> <height>
// and waits for a line on standard input (the picture is taken) before it moves on; a window that
// does not come up prints MISSING <name>. Windows that do not exist yet are simply missing, so the
// table below can name windows before they are written.
//   guideshots program <folder>   Tavori.exe in <folder>: tray menu, dialogs, messages
//   guideshots installer <setup>  the installer's pages, clicking Next through them, then the
//                                 uninstaller's pages, which leave the program installed
// The last line is END.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../ScreenGrab.h"
#include "../WineTray.h"
#include "win/Messages.h"
#include "res/resource.h"

namespace {
constexpr char kMainWindow[] = "Tavori Driver window";

struct Scene {
    UINT command;            // posted to the main window; 0 = open the tray menu
    const char* shots[3];    // the windows that follow one another, each left with OK; null = no picture
    int child = 0;           // a control of the first window photographed on its own as well
    const char* childShot = nullptr;
};
constexpr int kAimPicture = 1032, kAutoFrame = 1013, kOutputGroup = 1034, kReportPicture = 1051;
// The tray menu, then each command of the tray menu or of the main window that opens windows. Both
// calibrations begin with the aiming view; the automatic one is followed to its squares on its own,
// and on to the report that ends it.
const Scene kScenes[] = {
    {0, {"tray-menu"}},
    {ID_MENU_ABOUT, {"about"}},
    {ID_MENU_OPTIONS, {"calibrations"}, kOutputGroup, "output-choice"},
    {ID_MENU_LASERWRITE, {"laser-writing"}},
    {ID_MENU_CALIBRATE, {"aiming-view", "calibrate-manual"}, 1033, "aiming-instruction"},
    {ID_MENU_CALIBRATE_AUTO, {"calibrate-auto", "calibration-report"}},
};

void Shot(const char* name, HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&r, &r, &screen);
    std::printf("SHOT %s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);
    char line[16];
    std::fgets(line, sizeof(line), stdin);
}

void Missing(const char* name) {
    std::printf("MISSING %s\n", name);
    std::fflush(stdout);
}

// A command that is not written yet answers with a message box saying so: that window is missing.
bool Placeholder(HWND window) {
    char text[256] = {};
    GetDlgItemTextA(window, 0xFFFF, text, sizeof(text));
    return std::strstr(text, "not available") != nullptr;
}

struct Search {
    DWORD pid;
    const char* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND h, LPARAM lp) {
    auto* search = reinterpret_cast<Search*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    char name[64] = {}, title[64] = {};
    GetClassNameA(h, name, sizeof(name));
    GetWindowTextA(h, title, sizeof(title));
    bool match = search->cls ? std::strcmp(name, search->cls) == 0 : owner == search->pid;
    if (match && IsWindowVisible(h) && std::strcmp(title, kMainWindow) != 0) search->found.push_back(h);
    return TRUE;
}

// The visible top-level windows of one process, or of a class when pid is 0.
std::vector<HWND> Visible(DWORD pid, const char* cls = nullptr) {
    Search search{pid, cls, {}};
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK UntickCheckBox(HWND child, LPARAM) {
    if ((GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) SendMessageA(child, BM_SETCHECK, BST_UNCHECKED, 0);
    return TRUE;
}

// The notification area's balloon: under Wine a balloon-style tooltip of the shell's.
BOOL CALLBACK FindBalloon(HWND h, LPARAM out) {
    char cls[32] = {};
    GetClassNameA(h, cls, sizeof cls);
    if (!std::strcmp(cls, TOOLTIPS_CLASSA) && IsWindowVisible(h) && (GetWindowLongA(h, GWL_STYLE) & TTS_BALLOON))
        *reinterpret_cast<HWND*>(out) = h;
    return TRUE;
}
HWND WaitForBalloon(DWORD ms) {
    HWND found = nullptr;
    for (DWORD t0 = GetTickCount(); !found && GetTickCount() - t0 < ms; Sleep(100))
        EnumWindows(FindBalloon, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND WaitForWindow(DWORD pid, const char* cls, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 50, Sleep(50)) {
        auto found = Visible(pid, cls);
        if (!found.empty()) {
            Sleep(400);  // let it finish painting
            return found.front();
        }
    }
    return nullptr;
}

bool Launch(const std::string& exe, const char* dir, PROCESS_INFORMATION& pi) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = "\"" + exe + "\"";
    return CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir, &si, &pi) != FALSE;
}

void Click(int x, int y) {
    SetCursorPos(x, y);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

class Program {
public:
    explicit Program(const std::string& folder) : m_folder(folder) {}
    ~Program() { Stop(); }
    bool Start() {
        if (!Launch(m_folder + "\\Tavori.exe", m_folder.c_str(), m_pi)) return false;
        WaitForInputIdle(m_pi.hProcess, 5000);
        return true;
    }
    HWND Main(DWORD ms = 10000) const {
        for (DWORD waited = 0; waited < ms; waited += 50, Sleep(50))
            if (HWND h = FindWindowA(nullptr, kMainWindow)) return h;
        return nullptr;
    }
    DWORD Pid() const { return m_pi.dwProcessId; }
    void Stop() {
        if (!m_pi.hProcess) return;
        if (HWND main = FindWindowA(nullptr, kMainWindow)) PostMessageA(main, WM_COMMAND, ID_MENU_QUIT, 0);
        if (WaitForSingleObject(m_pi.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(m_pi.hProcess, 1);
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
        m_pi = {};
    }

private:
    std::string m_folder;
    PROCESS_INFORMATION m_pi{};
};

bool WaitForCamera() {
    // The calibration commands work only while the camera runs, which its point buffer shows.
    for (int i = 0; i < 200; ++i, Sleep(50)) {
        if (HANDLE points = OpenFileMappingA(FILE_MAP_READ, FALSE, "Multi_Lumora_Mappfile_1")) {
            CloseHandle(points);
            Sleep(500);
            return true;
        }
    }
    return false;
}

// The largest visible window of the program other than `except` (a calibration measures the screen
// with a small window before it shows its own), once it has had time to paint; full-screen
// calibration windows draw their first target a moment after they appear.
HWND NextWindow(const Program& program, HWND except, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 50, Sleep(50)) {
        auto shown = Visible(program.Pid());
        if (shown.empty() || (shown.size() == 1 && shown[0] == except)) continue;
        Sleep(400);
        HWND best = nullptr;
        long bestArea = -1;
        for (HWND h : Visible(program.Pid())) {
            RECT r{};
            GetWindowRect(h, &r);
            long area = (r.right - r.left) * (r.bottom - r.top);
            if (h != except && area > bestArea) best = h, bestArea = area;
        }
        if (!best) continue;
        RECT r{};
        GetWindowRect(best, &r);
        if (r.right - r.left >= GetSystemMetrics(SM_CXSCREEN)) Sleep(1600);
        return best;
    }
    return nullptr;
}

// Closes every window the program shows; a cancelled calibration says so in a box that comes a moment
// later and is closed on a later round. A window that will not close costs a restart of the program.
bool CloseAll(Program& program) {
    for (int i = 0; i < 100 && !Visible(program.Pid()).empty(); ++i, Sleep(50)) {
        if (i % 10) continue;
        for (HWND h : Visible(program.Pid())) {
            PostMessageA(h, WM_COMMAND, Placeholder(h) ? IDOK : IDCANCEL, 0);
            PostMessageA(h, WM_CLOSE, 0, 0);
        }
    }
    if (Visible(program.Pid()).empty()) return true;
    program.Stop();
    return program.Start() && program.Main() && WaitForCamera();
}

// Suspends or resumes every thread of the process.
void Freeze(DWORD pid, bool freeze) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid) continue;
        if (HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
            freeze ? SuspendThread(thread) : ResumeThread(thread);
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
}

// Whether the window shows white on its black (the automatic calibration's squares come and go).
bool ShowsWhite(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    const std::vector<uint8_t> px = GrabScreen(r.left, r.top, r.right - r.left, r.bottom - r.top);
    int white = 0;
    for (size_t i = 0; i < px.size(); i += 4) white += px[i] == 255 && px[i + 1] == 255 && px[i + 2] == 255;
    return white > 400;
}

// The automatic calibration once it shows its squares, then the report it ends with. The program runs
// as the device variant without the laser prompt, whose pen check a picture cannot pass; OK in the
// aiming view starts the squares.
void ShootAutoCalibration(Program& program, const std::string& folder, const char* name, const char* reportName) {
    const std::string ini = folder + "\\Tavori.ini";
    WritePrivateProfileStringA("System", "ApplicationVersion", "1", ini.c_str());
    program.Stop();
    if (program.Start() && program.Main() && WaitForCamera()) {
        Sleep(2500);  // the detector learns the scene before a calibration can see anything
        PostMessageA(program.Main(), WM_COMMAND, ID_MENU_CALIBRATE_AUTO, 0);
        for (DWORD waited = 0; waited < 15000 && name; waited += 50, Sleep(50))
            for (HWND h : Visible(program.Pid())) {
                if (GetDlgItem(h, kAutoFrame) && ShowsWhite(h)) {
                    // A square shows for a moment only: the program stands still while it is photographed.
                    Freeze(program.Pid(), true);
                    Shot(name, h);
                    Freeze(program.Pid(), false);
                    name = nullptr;
                    break;
                }
                if (GetDlgItem(h, kAimPicture)) PostMessageA(h, WM_COMMAND, IDOK, 0), Sleep(500);
            }
    }
    if (name) Missing(name);
    // The report, once its figures are in the file and the window has read them.
    const std::string reports = folder + "\\CalibrationReport.ini";
    for (DWORD waited = 0; waited < 20000 && reportName; waited += 50, Sleep(50)) {
        char verdict[32] = {};
        GetPrivateProfileStringA("Calibration", "Verdict", "", verdict, sizeof(verdict), reports.c_str());
        for (HWND h : Visible(program.Pid()))
            if (GetDlgItem(h, kReportPicture) && *verdict && std::strcmp(verdict, "judging") != 0) {
                Sleep(600);
                Shot(reportName, h);
                reportName = nullptr;
                break;
            }
    }
    if (reportName) Missing(reportName);
    WritePrivateProfileStringA("System", "ApplicationVersion", nullptr, ini.c_str());
}

// Clicks the default button through the pages of a wizard that `find` shows, photographing each.
template <class Find>
void ShootPages(const std::vector<const char*>& pages, Find find) {
    for (const char* page : pages) {
        HWND window = find();
        if (!window) return Missing(page);
        Sleep(page == pages.back() ? 1500 : 0);  // the work runs before the last page
        Shot(page, window);
        if (page == pages.back()) EnumChildWindows(window, UntickCheckBox, 0);  // finishing starts nothing
        PostMessageA(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
        Sleep(800);
    }
}

int ShootProgram(const std::string& folder) {
    // Without a camera the program says so and ends: the first troubleshooting picture.
    std::string cameras = folder + "\\VirtualCamera.ini", aside = cameras + ".aside";
    MoveFileA(cameras.c_str(), aside.c_str());
    {
        Program bare(folder);
        HWND box = bare.Start() ? WaitForWindow(bare.Pid(), nullptr, 10000) : nullptr;
        box ? Shot("no-camera", box) : Missing("no-camera");
        if (box) PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    MoveFileA(aside.c_str(), cameras.c_str());

    Program program(folder);
    if (!program.Start() || !program.Main()) return 1;
    WaitForCamera();
    for (const Scene& scene : kScenes) {
        if (scene.command == 0) {
            Click(WineTrayFirstIcon().x, WineTrayFirstIcon().y);
            HWND menu = WaitForWindow(0, "#32768", 3000);
            menu ? Shot(scene.shots[0], menu) : Missing(scene.shots[0]);
            Click(GetSystemMetrics(SM_CXSCREEN) - 50, GetSystemMetrics(SM_CYSCREEN) - 50);  // closes the menu
            Sleep(300);
            continue;
        }
        if (scene.command == ID_MENU_CALIBRATE_AUTO) {
            ShootAutoCalibration(program, folder, scene.shots[0], scene.shots[1]);
            if (!CloseAll(program)) break;
            continue;
        }
        PostMessageA(program.Main(), WM_COMMAND, scene.command, 0);
        HWND window = NextWindow(program, nullptr, 8000);
        size_t last = 2;
        while (!scene.shots[last]) --last;
        for (size_t i = 0; i <= last; ++i) {
            if (window && Placeholder(window)) window = nullptr;
            if (!window && !scene.shots[i]) Missing(scene.shots[last]);
            if (scene.shots[i]) window ? Shot(scene.shots[i], window) : Missing(scene.shots[i]);
            if (i == 0 && scene.childShot && window) Shot(scene.childShot, GetDlgItem(window, scene.child));
            if (!window || i == last) break;
            // On to the next window of the chain; the calibration prompt's OK button is 1004.
            PostMessageA(window, WM_COMMAND, GetDlgItem(window, 1004) ? 1004 : IDOK, 0);
            window = NextWindow(program, window, 8000);
        }
        if (!CloseAll(program)) break;
    }
    // The balloon of a camera knocked after its calibration, asked for as its listener does.
    PostMessageA(program.Main(), WM_CAMERA_MOVED, 0, 0);
    Sleep(1500);  // the shell shows it after a moment, and grows it
    HWND balloon = WaitForBalloon(8000);
    balloon ? Shot("camera-moved", balloon) : Missing("camera-moved");
    return 0;
}

int ShootInstaller(const std::string& setup) {
    PROCESS_INFORMATION pi{};
    if (!Launch(setup, nullptr, pi)) return 1;
    ShootPages({"setup-welcome", "setup-components", "setup-folder", "setup-finish"},
               [&] { return WaitForWindow(pi.dwProcessId, nullptr, 10000); });
    if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    // The uninstaller hands over to a copy of itself: its pages are found by their class. Its last
    // page is the choice of what to remove; pressing on there would uninstall.
    char local[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("LOCALAPPDATA", local, sizeof(local)) ||
        !Launch(std::string(local) + "\\Programs\\Tavori\\Uninstall.exe", nullptr, pi))
        return Missing("uninstall-confirm"), 1;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    ShootPages({"uninstall-confirm"}, [] { return WaitForWindow(0, "#32770", 10000); });
    HWND choice = WaitForWindow(0, "#32770", 5000);
    choice ? Shot("uninstall-components", choice) : Missing("uninstall-components");
    if (choice) PostMessageA(GetDlgItem(choice, IDCANCEL), BM_CLICK, 0, 0);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    int result = 2;
    if (argc == 3 && std::strcmp(argv[1], "program") == 0) {
        result = ShootProgram(argv[2]);
    } else if (argc == 3 && std::strcmp(argv[1], "installer") == 0) {
        result = ShootInstaller(argv[2]);
    } else {
        std::fprintf(stderr, "usage: guideshots program <folder> | installer <setup.exe>\n");
    }
    // The caller reads until this line: a program started from here may hold the output open.
    std::printf("END\n");
    std::fflush(stdout);
    return result;
}
