// How long the user waits: from a pen move to the cursor's move, from a touch to the button press,
// and what the driver costs the processor meanwhile (its virtual camera's filming left out), under
// Wine on the end-to-end rig (`./run latency`). Figures, not checks: it prints them and writes them
// to e2e/latency.json. gtest is only the rig's runner (a program folder per case, its ASSERTs).
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DriverHarness.h"
#include "VirtualRig.h"

using namespace e2e;

namespace {

double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Median, 95th percentile and maximum.
std::array<double, 3> Spread(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 95 / 100)], v.back()};
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The driver's Linux process in /proc, through Wine's Z: drive ("" when not found): Wine does not
// report the times of another process. The driver is the Tavori.exe of our prefix (other Wine
// prefixes may run one too).
std::string DriverProcDir() {
    const char* prefix = getenv("WINEPREFIX");
    WIN32_FIND_DATAA f;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &f);
    std::string found;
    for (BOOL more = find != INVALID_HANDLE_VALUE; more && found.empty(); more = FindNextFileA(find, &f)) {
        if (!isdigit(static_cast<unsigned char>(f.cFileName[0]))) continue;
        const std::string dir = std::string("Z:\\proc\\") + f.cFileName;
        if (ReadText(dir + "\\comm").rfind("Tavori.exe", 0) != 0) continue;
        if (prefix && ReadText(dir + "\\environ").find(std::string("WINEPREFIX=") + prefix + '\0') == std::string::npos) continue;
        found = dir;
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return found;
}

// User and system time (ms) of a process's or thread's stat: fields 14 and 15, after the command's
// closing parenthesis, in ticks of 1/100 s.
double StatMs(const std::string& stat) {
    unsigned long long user = 0, system = 0;
    const size_t close = stat.rfind(')');
    if (close != std::string::npos &&
        sscanf(stat.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) == 2)
        return static_cast<double>(user + system) * 10.0;
    return 0;
}

// Processor time (ms) of the driver's Linux process.
double DriverCpuMs() {
    const std::string dir = DriverProcDir();
    return dir.empty() ? 0 : StatMs(ReadText(dir + "\\stat"));
}

// One thread of the driver's process: its Linux id (Wine names none), processor time (ms) and the
// times it went to sleep or was put off the processor.
struct ThreadUse {
    std::string tid;
    double ms = 0;
    long long switches = 0;
};

std::vector<ThreadUse> DriverThreads(const std::string& dir) {
    std::vector<ThreadUse> out;
    WIN32_FIND_DATAA f;
    HANDLE find = FindFirstFileA((dir + "\\task\\*").c_str(), &f);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &f)) {
        if (!isdigit(static_cast<unsigned char>(f.cFileName[0]))) continue;
        const std::string task = dir + "\\task\\" + f.cFileName;
        ThreadUse t{f.cFileName, StatMs(ReadText(task + "\\stat"))};
        const std::string status = ReadText(task + "\\status");
        for (const char* key : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"})
            if (const size_t at = status.find(key); at != std::string::npos) t.switches += atoll(status.c_str() + at + strlen(key));
        out.push_back(t);
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return out;
}

// What the virtual camera spent filming (ms).
double FilmingMs() {
    tavori::dev::PenBlockMapping block;
    if (!block.Open()) return 0;
    return static_cast<const volatile tavori::vcam::PenBlock*>(block.View())->filmingUs[0] / 1000.0;
}

// The driver's own share of one core over `ms`, while `activity` runs in steps.
template <class Step>
double DriverShare(DWORD ms, Step step) {
    const double cpu0 = DriverCpuMs(), film0 = FilmingMs(), t0 = NowMs();
    while (NowMs() - t0 < ms) step();
    const double wall = NowMs() - t0;
    return (DriverCpuMs() - cpu0 - (FilmingMs() - film0)) / wall;
}

}  // namespace

TEST(Latency, PenToCursorAndTouchToPressAndTheDriversProcessorShare) {
    CanvasRig rig;
    ASSERT_TRUE(rig.Start());
    timeBeginPeriod(1);
    ASSERT_GT(DriverCpuMs(), 0) << "the driver's process is not found in /proc";
    const double period = 1000.0 / DefaultCamera().fps;

    // Pen moves: the pen held down jumps 40 px; the time until the cursor leaves its place (the
    // first response) and until it is within 3 px of the pen (arrived: the calibration holds the cursor within 2–3 px of the pen). A random wait between moves
    // spreads them over the camera's frame period.
    std::vector<double> first, arrived;
    double x = 500, y = 400;
    rig.pen.Down(x, y);
    ASSERT_TRUE(WaitFor([&] { POINT c; return GetCursorPos(&c) && std::hypot(c.x - x, c.y - y) <= 3; }, 3000));
    srand(7);
    for (int i = 0; i < 500; ++i) {
        POINT from;
        GetCursorPos(&from);
        x = 400 + (i % 2) * 40 + (i / 2 % 5) * 30;
        y = 350 + (i % 3) * 40;
        const double t0 = NowMs();
        rig.pen.Down(x, y);
        double moved = -1;
        POINT c{};
        while (NowMs() - t0 < 1000) {
            GetCursorPos(&c);
            if (moved < 0 && (c.x != from.x || c.y != from.y)) moved = NowMs() - t0;
            if (std::hypot(c.x - x, c.y - y) <= 3) break;
            Sleep(1);
        }
        ASSERT_LE(std::hypot(c.x - x, c.y - y), 3) << "move " << i << " never arrived";
        arrived.push_back(NowMs() - t0);
        first.push_back(moved < 0 ? arrived.back() : moved);
        Sleep(static_cast<DWORD>(rand() % static_cast<int>(period + 1)));
    }
    rig.pen.Up();
    ASSERT_TRUE(rig.WaitForEvent("up"));

    // Touches: the pen put down where it was not, long after the last lift (no double click); the
    // time until the canvas gets the press.
    std::vector<double> press;
    for (int i = 0; i < 100; ++i) {
        Sleep(600 + static_cast<DWORD>(rand() % static_cast<int>(period + 1)));
        const size_t from = rig.Events().size();
        const DWORD t0 = timeGetTime();
        rig.pen.Down(300 + (i % 10) * 60, 250 + (i / 10 % 2) * 200);
        ASSERT_TRUE(rig.WaitForEvent("down", from, 2000)) << "touch " << i;
        for (const CanvasEvent& e : rig.Events(from))
            if (e.what == "down") {
                press.push_back(static_cast<double>(e.t - t0));
                break;
            }
        rig.pen.Up();
        ASSERT_TRUE(rig.WaitForEvent("up", from, 2000));
    }

    // The processor: 10 s with the pen away, 10 s writing circles at the camera's pace. With the pen
    // away, each thread's share and how often it woke are printed too (the main thread's id is the
    // process's).
    const std::string dir = DriverProcDir();
    const auto before = DriverThreads(dir);
    const double t0 = NowMs(), idle = DriverShare(10000, [] { Sleep(50); }), wall = NowMs() - t0;
    for (const ThreadUse& a : DriverThreads(dir)) {
        ThreadUse b;
        for (const ThreadUse& x : before)
            if (x.tid == a.tid) b = x;
        printf("pen away: thread %-8s %5.1f %% of a core, %7.1f switches/s\n", a.tid.c_str(), 100 * (a.ms - b.ms) / wall,
               static_cast<double>(a.switches - b.switches) * 1000 / wall);
    }
    double angle = 0;
    const double writing = DriverShare(10000, [&] {
        rig.pen.Down(640 + 150 * std::cos(angle), 400 + 150 * std::sin(angle));
        angle += 0.05;
        Sleep(static_cast<DWORD>(period));
    });
    rig.pen.Up();
    timeEndPeriod(1);

    const auto f = Spread(first), a = Spread(arrived), p = Spread(press);
    char json[1024];
    snprintf(json, sizeof json,
             "{\"frame_period_ms\": %.2f, \"moves\": %zu, \"touches\": %zu,\n"
             " \"move_first_ms\": {\"median\": %.1f, \"p95\": %.1f, \"max\": %.1f},\n"
             " \"move_arrived_ms\": {\"median\": %.1f, \"p95\": %.1f, \"max\": %.1f},\n"
             " \"touch_press_ms\": {\"median\": %.1f, \"p95\": %.1f, \"max\": %.1f},\n"
             " \"cpu_share_of_one_core\": {\"idle\": %.3f, \"writing\": %.3f}}\n",
             period, first.size(), press.size(), f[0], f[1], f[2], a[0], a[1], a[2], p[0], p[1], p[2], idle, writing);
    printf("%s", json);
    FILE* out = fopen((E2eDir() + "\\latency.json").c_str(), "w");
    if (out) {
        fputs(json, out);
        fclose(out);
    }
}
