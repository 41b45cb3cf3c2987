#include "VirtualCamera.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "PenBlockWin.h"

namespace tavori::dev {
namespace {

constexpr DWORD kDesktopPeriodMs = 50;  // the desktop copy is refreshed at about 20 Hz
constexpr double kStallMs = 500;         // no new frame for this long is reported as a stall

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return ".";
    std::string s(path, n);
    const size_t slash = s.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

double NowMs() {
    static const double freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / freq;
}

// The calling thread's processor time. Its clock may tick coarsely (10 ms under Wine), but the
// differences summed over many calls still add up to the time spent.
double ThreadCpuMs() {
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user)) return 0;
    auto ms = [](FILETIME f) { return ((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4; };
    return ms(kernel) + ms(user);
}

class VirtualCamera final : public DevCamera {
public:
    VirtualCamera(int number, const vcam::Config& cfg) : number_(number), fps_(cfg.fps), cfg_(cfg) {
        composerOk_ = composer_.Configure(cfg);
        block_.Open();
    }
    ~VirtualCamera() override { Stop(); }

    bool Usable() const { return composerOk_; }

    bool Init() override { return !Unplugged(); }

    bool SetControl(const SCapControl& c) override {
        if (c.nProperty != DEV_PROP_EXPOSURE) return false;
        if (c.nFlags != DEV_FLAG_AUTO && c.nFlags != DEV_FLAG_MANUAL) return false;
        std::lock_guard<std::mutex> lock(composeMutex_);
        // Automatic exposure settles where the screen shows at its nominal gain.
        composer_.SetExposure(c.nFlags == DEV_FLAG_AUTO ? -8 : c.nValue);
        block_.WriteExposure(number_, c.nValue, c.nFlags);
        return true;
    }

    bool Play() override {
        if (playing_) return true;
        if (Unplugged()) return false;
        CaptureDesktop();  // the first frame already shows the desktop
        stopDesktop_ = false;
        desktopThread_ = std::thread([this] { DesktopLoop(); });
        nextDue_ = NowMs();
        lastFrameMs_ = nextDue_;
        streamEnded_ = false;
        playing_ = true;
        return true;
    }

    bool GetFrame(unsigned char* data, long* size) override {
        if (!BufferFits(data, size, composer_.FrameBytes()) || !playing_) return false;
        Pace();
        const vcam::PenState pens = block_.Read();
        const uint32_t bit = 1u << number_;
        // A dead stream stays dead until it is stopped, whatever the mask does meanwhile.
        if (pens.deadStream & bit) streamEnded_ = true;
        if (streamEnded_) {
            *size = DEV_FRAME_ENDED;
            return false;
        }
        if (pens.stalled & bit) {
            *size = NowMs() - lastFrameMs_ >= kStallMs ? DEV_FRAME_STALLED : DEV_FRAME_NONE;
            return false;
        }
        if (pens.unplugged & bit) {
            // A lost camera keeps streaming black until it is stopped.
            std::memset(data, 0, composer_.FrameBytes());
        } else {
            std::lock_guard<std::mutex> lock(composeMutex_);
            const double cpu0 = ThreadCpuMs();
            if (number_ < vcam::kExposureSlots) Knock(pens.shift[number_]);
            composer_.Frame(pens, data);
            block_.AddFilmingTime(number_, ThreadCpuMs() - cpu0);
        }
        lastFrameMs_ = NowMs();
        *size = static_cast<long>(composer_.FrameBytes());
        block_.CountFrame(number_);
        return true;
    }

    void Stop() override {
        if (!playing_) return;
        stopDesktop_ = true;
        if (desktopThread_.joinable()) desktopThread_.join();
        playing_ = false;
    }

private:
    bool Unplugged() const { return (block_.Read().unplugged >> number_) & 1u; }

    // A new shift of the view: the lens model again, from the configured one. The view is filmed
    // again from the next desktop copy (a frame or two show the screen black meanwhile).
    void Knock(const vcam::ViewShift& s) {
        if (s.dx == shift_.dx && s.dy == shift_.dy && s.degrees == shift_.degrees) return;
        shift_ = s;
        const int exposure = composer_.Exposure();
        if (composer_.Configure(vcam::Shifted(cfg_, s.dx, s.dy, s.degrees))) composer_.SetExposure(exposure);
    }

    // The newest frame at the camera's rate: wait for the next frame time, at most one period.
    void Pace() {
        const double period = 1000.0 / fps_;
        double now = NowMs();
        if (nextDue_ < now - period) nextDue_ = now;  // fell behind: no burst of catch-up frames
        while (now < nextDue_) {
            const double left = nextDue_ - now;
            Sleep(left > 2 ? static_cast<DWORD>(left - 1) : 1);
            now = NowMs();
        }
        nextDue_ += period;
    }

    void DesktopLoop() {
        while (!stopDesktop_) {
            const double t0 = NowMs(), cpu0 = ThreadCpuMs();
            CaptureDesktop();
            const double spent = NowMs() - t0;
            block_.AddFilmingTime(number_, ThreadCpuMs() - cpu0);
            const DWORD wait = spent < kDesktopPeriodMs ? kDesktopPeriodMs - static_cast<DWORD>(spent) : 1;
            for (DWORD waited = 0; waited < wait && !stopDesktop_; waited += 5) Sleep(5);
        }
    }

    // Copies the screen rectangle and films it through the lens; frames use it from then on.
    void CaptureDesktop() {
        const vcam::Config& c = cfg_;  // its rectangle, whatever shift the lens has
        const int w = c.rect[2], h = c.rect[3];
        if (desktop_.w != w || desktop_.h != h) desktop_.Resize(w, h);

        HDC screen = GetDC(nullptr);
        if (!screen) return;
        HDC mem = CreateCompatibleDC(screen);
        BITMAPINFO bi;
        std::memset(&bi, 0, sizeof bi);
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;  // top row first
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP dib = mem ? CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
        bool ok = false;
        if (dib && bits) {
            HGDIOBJ old = SelectObject(mem, dib);
            ok = BitBlt(mem, 0, 0, w, h, screen, c.rect[0], c.rect[1], SRCCOPY) != 0;
            GdiFlush();
            SelectObject(mem, old);
            if (ok) {
                // What an IR-filtered camera sees of the projection: its brightness, no colour.
                const uint8_t* src = static_cast<const uint8_t*>(bits);
                for (int y = 0; y < h; ++y) {
                    const uint8_t* s = src + static_cast<size_t>(y) * static_cast<size_t>(w) * 4;
                    uint8_t* d = desktop_.Row(y);
                    for (int x = 0; x < w; ++x, s += 4)
                        d[x] = static_cast<uint8_t>((29u * s[0] + 150u * s[1] + 77u * s[2] + 128u) >> 8);
                }
            }
        }
        if (dib) DeleteObject(dib);
        if (mem) DeleteDC(mem);
        ReleaseDC(nullptr, screen);
        if (!ok) return;
        std::lock_guard<std::mutex> lock(composeMutex_);
        composer_.Film(&desktop_);
    }

    const int number_;
    const int fps_;
    const vcam::Config cfg_;
    vcam::ViewShift shift_{};
    vcam::Composer composer_;
    bool composerOk_ = false;
    PenBlockMapping block_;
    std::mutex composeMutex_;

    vcam::ScreenImage desktop_;  // touched by Play, then by the desktop thread only

    std::thread desktopThread_;
    std::atomic<bool> stopDesktop_{false};
    bool playing_ = false;
    bool streamEnded_ = false;
    double nextDue_ = 0;
    double lastFrameMs_ = 0;
};

}  // namespace

std::vector<VirtualDesc> ReadVirtualCameras() {
    std::vector<VirtualDesc> out;
    const std::string ini = ProgramFolder() + "\\VirtualCamera.ini";
    if (GetFileAttributesA(ini.c_str()) == INVALID_FILE_ATTRIBUTES) return out;
    std::vector<char> names(32768, '\0');
    const DWORD n = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), ini.c_str());
    for (const char* p = names.data(); p < names.data() + n && *p; p += std::strlen(p) + 1) {
        // [Camera0] .. [Camera31]: one bit each in the unplugged mask.
        if (_strnicmp(p, "Camera", 6) != 0) continue;
        const char* digits = p + 6;
        const size_t len = std::strlen(digits);
        if (len < 1 || len > 2 || !std::all_of(digits, digits + len, [](char ch) { return ch >= '0' && ch <= '9'; }))
            continue;
        const int number = std::atoi(digits);
        if (number > 31 || (len == 2 && digits[0] == '0')) continue;
        if (std::any_of(out.begin(), out.end(), [&](const VirtualDesc& d) { return d.number == number; })) continue;
        const std::string section = p;
        VirtualDesc d;
        d.number = number;
        d.cfg = vcam::ReadConfig([&](const char* key, std::string& value) {
            char buf[512];
            GetPrivateProfileStringA(section.c_str(), key, "\x01", buf, sizeof buf, ini.c_str());
            if (buf[0] == '\x01' && buf[1] == '\0') return false;
            value = buf;
            return true;
        });
        out.push_back(d);
    }
    std::sort(out.begin(), out.end(), [](const VirtualDesc& a, const VirtualDesc& b) { return a.number < b.number; });
    return out;
}

std::vector<VirtualDesc> PresentVirtualCameras() {
    std::vector<VirtualDesc> all = ReadVirtualCameras();
    if (all.empty()) return all;
    const uint32_t unplugged = ProcessPenBlock().Read().unplugged;
    all.erase(std::remove_if(all.begin(), all.end(),
                             [&](const VirtualDesc& d) { return ((unplugged >> d.number) & 1u) != 0; }),
              all.end());
    return all;
}

DeviceInfo VirtualInfo(const VirtualDesc& d) {
    char path[260];
    std::snprintf(path, sizeof path, "\\\\?\\virtual#vid_%s&pid_%s#%d", d.cfg.vendorId.c_str(),
                  d.cfg.productId.c_str(), d.number);
    char name[64];
    std::snprintf(name, sizeof name, "Tavori Virtual Camera %d", d.number);
    return DeviceInfo{name, path};
}

std::unique_ptr<DevCamera> CreateVirtualCamera(const VirtualDesc& d, int width, int height) {
    vcam::Config cfg = vcam::ScaledTo(d.cfg, width, height);
    if (!cfg.hasScreenRect) {
        // The primary monitor sits at the desktop origin.
        cfg.rect[0] = 0;
        cfg.rect[1] = 0;
        cfg.rect[2] = GetSystemMetrics(SM_CXSCREEN);
        cfg.rect[3] = GetSystemMetrics(SM_CYSCREEN);
    } else {
        // Only the desktop there is can be filmed: a rectangle far beyond it would cost gigabytes.
        const LONG vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
        const LONG vw = GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        const long long l = std::max<long long>(cfg.rect[0], vx), t = std::max<long long>(cfg.rect[1], vy);
        const long long r = std::min<long long>(static_cast<long long>(cfg.rect[0]) + cfg.rect[2], vx + vw);
        const long long b = std::min<long long>(static_cast<long long>(cfg.rect[1]) + cfg.rect[3], vy + vh);
        if (r <= l || b <= t) return nullptr;
        cfg.rect[0] = static_cast<int32_t>(l);
        cfg.rect[1] = static_cast<int32_t>(t);
        cfg.rect[2] = static_cast<int32_t>(r - l);
        cfg.rect[3] = static_cast<int32_t>(b - t);
    }
    auto cam = std::make_unique<VirtualCamera>(d.number, cfg);
    if (!cam->Usable()) return nullptr;
    return cam;
}

}  // namespace tavori::dev
