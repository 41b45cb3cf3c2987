// Starting Tavori.exe in a program folder of its own and looking at it from outside.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

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

    // Extra environment variables (e.g. LANG) on top of this process's environment.
    bool Start(const ProgramFolder& folder, const std::vector<std::pair<std::string, std::string>>& env = {});
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
    // Top-level windows of the process; visibleOnly leaves out hidden ones.
    std::vector<HWND> Windows(bool visibleOnly) const;

private:
    PROCESS_INFORMATION m_pi{};
};

std::wstring MessageBoxText(HWND box);
void PressOk(HWND box);
bool MappingExists(const char* name);
std::wstring FromCodePage(const std::string& bytes, UINT codePage);
// The value of one text of a language file, read as raw bytes (no code-page conversion).
std::string LanguageFileText(const std::string& file, const std::string& key);
bool SaveScreenshot(const std::string& pngPath);

// What the notification area shows of the driver's icon, told apart by colour: the running icon is
// blue, the disconnected one grey with a red bar. Wine shows the area as a window of its own.
enum class TrayPicture { None, Running, Disconnected };
TrayPicture ReadTrayPicture();
// The area is painted by another process some time after the driver changes its icon: a picture is
// waited for, never read once.
bool WaitForTrayPicture(TrayPicture wanted, DWORD timeoutMs = 2000);

}  // namespace e2e
