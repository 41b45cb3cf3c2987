// Starting Tavori.exe in a program folder of its own and looking at it from outside.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>
#include "res/resource.h"

namespace e2e {

template <class Pred>
bool WaitFor(Pred pred, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

std::string WinPath(std::string path);  // forward slashes to backslashes
std::string E2eDir();                    // the build's e2e folder (case folders, screenshots)

// Starts `exe` with `args` after its quoted name, in `dir` (null: this process's folder).
bool StartProcess(const std::string& exe, const std::string& args, const char* dir, PROCESS_INFORMATION& pi);
// Runs it to its end: its exit code, or -1 when it did not start or end within timeoutMs.
long RunProcess(const std::string& exe, const std::string& args, DWORD timeoutMs);
// Starts a program of the Linux host (Wine's start /unix), which runs on without being waited for.
void RunOnHost(const std::string& hostCommand);
// The host's path of a Z:\ path (Z: is the host's root).
std::string HostPath(const std::string& winPath);
// Removes a folder with all it holds, asking nothing.
void RemoveFolder(const std::string& dir);

// A fresh folder named after the running test: the executable (under any name), Lang unless told
// otherwise, and one virtual camera (VirtualCamera.ini with [Camera0] at its defaults).
class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& exeName = "Tavori.exe", bool withLang = true);
    void Remove(const std::string& file) const { DeleteFileA(Path(file).c_str()); }
    std::string Path(const std::string& file) const { return dir + "\\" + file; }
    void Write(const std::string& file, const std::string& bytes) const;
    bool Exists(const std::string& file) const;
    std::string ReadKey(const std::string& file, const char* section, const char* key) const;

    std::string dir;
    std::string exe;
};

class Driver {
public:
    Driver() = default;
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    bool Start(const ProgramFolder& folder);
    // Starts it and waits for its main window; null when none comes.
    HWND Launch(const ProgramFolder& folder) { return Start(folder) ? WaitForMainWindow() : nullptr; }
    // Quit, as chosen in the tray menu.
    void Quit() const { PostMessageA(WaitForMainWindow(0), WM_COMMAND, ID_MENU_QUIT, 0); }
    HWND WaitForMainWindow(DWORD timeoutMs = 15000) const;
    HWND WaitForMessageBox(DWORD timeoutMs = 15000) const;
    // The driver's message boxes open now.
    std::vector<HWND> MessageBoxes() const;
    // Waits for the process to end, pressing OK on every box that shows meanwhile; the count of
    // boxes pressed, or -1 when it did not end in time.
    int WaitForExitCountingBoxes(DWORD timeoutMs = 15000) const;
    bool WaitForExit(DWORD timeoutMs = 15000) const;
    bool Running() const;
    DWORD Pid() const { return m_pi.dwProcessId; }
    SIZE_T Memory() const;  // bytes committed
    // Top-level windows of the process; visibleOnly leaves out hidden ones.
    std::vector<HWND> Windows(bool visibleOnly) const;

private:
    PROCESS_INFORMATION m_pi{};
};

// A window of another program, answering on a thread of its own; closed with the object.
class ThreadWindow {
public:
    ThreadWindow(const char* className, WNDPROC proc, DWORD exStyle, DWORD style, RECT r, int brush = NULL_BRUSH);
    ~ThreadWindow() { Close(); }
    void Close();
    HWND Hwnd() const { return m_hwnd.load(); }

private:
    std::atomic<HWND> m_hwnd{nullptr};
    std::thread m_thread;
};

// A shared memory as the drawing program sees it.
class SharedView {
public:
    SharedView(const char* name, DWORD size);
    ~SharedView() { Close(); }
    // Our own handle keeps a mapping alive: close it before looking whether the driver's is gone.
    void Close();
    template <class T> T* As() const { return static_cast<T*>(m_view); }
    bool Ok() const { return m_view != nullptr; }

private:
    HANDLE m_map = nullptr;
    void* m_view = nullptr;
};

std::wstring MessageBoxText(HWND box);
void PressOk(HWND box);
bool MappingExists(const char* name);
std::wstring FromCodePage(const std::string& bytes, UINT codePage);
// The value of one text of a language file, read as raw bytes (no code-page conversion).
std::string LanguageFileText(const std::string& file, const std::string& key);
// One grab of the desktop (or of a part from its top left), 32-bit top-down.
struct Screen {
    int left, top, w, h;
    std::vector<uint8_t> px;
    explicit Screen(int left = 0, int top = 0, int width = GetSystemMetrics(SM_CXSCREEN),
                    int height = GetSystemMetrics(SM_CYSCREEN));
    const uint8_t* At(int x, int y) const { return &px[(static_cast<size_t>(y) * w + x) * 4]; }
    bool Red(int x, int y) const { return At(x, y)[2] > 200 && At(x, y)[1] < 60 && At(x, y)[0] < 60; }
    // The centre of the red cross: the middle of the rows holding a red run of 58 pixels or more.
    bool FindCross(POINT& c) const;
};
bool SaveScreenshot(const std::string& pngPath);

// What the notification area shows of the driver's icon, told apart by colour: the running icon is
// blue, the disconnected one grey with a red bar. Wine shows the area as a window of its own.
enum class TrayPicture { None, Running, Disconnected };
TrayPicture ReadTrayPicture();
// The area is painted by another process some time after the driver changes its icon: a picture is
// waited for, never read once.
bool WaitForTrayPicture(TrayPicture wanted, DWORD timeoutMs = 2000);

}  // namespace e2e
