// The touch and pen outputs driven by pen scripts, the system's injection functions replaced by a
// recorder (Wine has none of them).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CaseFile.h"
#include "output/ContactOutput.h"

namespace {
struct Recorder {
    std::string log;
    int busy = 0, refuse = 0;
    DWORD error = 0;
    std::vector<uint32_t> injectedAt;  // clock of every injection that reached the system
    uint32_t now = 0;
} g_rec;

void Log(const std::string& s) {
    if (!g_rec.log.empty()) g_rec.log += ' ';
    g_rec.log += s;
}

bool Fails() {
    if (g_rec.busy > 0) return --g_rec.busy, g_rec.error = ERROR_NOT_READY, Log("busy"), true;
    if (g_rec.refuse > 0) return --g_rec.refuse, g_rec.error = ERROR_INVALID_PARAMETER, Log("refused"), true;
    g_rec.injectedAt.push_back(g_rec.now);
    return false;
}

// A contact as "ID FLAG X,Y"; a flag set the system would refuse, or a time stamp, shows as '?'.
std::string Contact(const POINTER_INFO& p, bool withId) {
    const uint32_t live = POINTER_FLAG_INRANGE | POINTER_FLAG_INCONTACT;
    const uint32_t f = p.pointerFlags;
    char flag = f == (live | POINTER_FLAG_DOWN) ? 'd' : f == (live | POINTER_FLAG_UPDATE) ? 'u'
              : f == POINTER_FLAG_UP ? 'U' : f == (POINTER_FLAG_UP | POINTER_FLAG_CANCELED) ? 'c' : '?';
    if (p.dwTime || p.PerformanceCount) flag = '?';
    return (withId ? std::to_string(p.pointerId) : "") + flag + std::to_string(p.ptPixelLocation.x) + "," +
           std::to_string(p.ptPixelLocation.y);
}

BOOL WINAPI Init(UINT32 n, DWORD) { return Log("init" + std::to_string(n)), TRUE; }
BOOL WINAPI Touch(UINT32 n, const POINTER_TOUCH_INFO* c) {
    if (Fails()) return FALSE;
    std::string s = "t:";
    for (UINT32 i = 0; i < n; ++i) {
        if (i) s += '/';
        s += Contact(c[i].pointerInfo, true);
        if (c[i].pointerInfo.pointerType != PT_TOUCH) s += '?';
    }
    return Log(s), TRUE;
}
HSYNTHETICPOINTERDEVICE WINAPI Create(POINTER_INPUT_TYPE type, ULONG n, int) {
    return Log(type == PT_PEN && n == 1 ? "pen+" : "pen?"), reinterpret_cast<HSYNTHETICPOINTERDEVICE>(1);
}
BOOL WINAPI Pen(HSYNTHETICPOINTERDEVICE, const POINTER_TYPE_INFO* info, UINT32 n) {
    if (Fails()) return FALSE;
    return Log("p:" + Contact(info->penInfo.pointerInfo, false) + (n == 1 && info->type == PT_PEN ? "" : "?")), TRUE;
}
void WINAPI Destroy(HSYNTHETICPOINTERDEVICE) { Log("pen-"); }
DWORD WINAPI Error() { return g_rec.error; }
void WINAPI Pause(DWORD) {}

PointerApi Recording() { return {Init, Touch, Create, Pen, Destroy, Error, Pause}; }
const DesktopRect kDesktop{0, 0, 1920, 1080};

// Plays one script of contact_scripts.txt; returns the injections after the output's start.
std::string Play(const std::string& options, const std::string& script) {
    g_rec = {};
    CContactOutput out(Recording());
    EXPECT_TRUE(out.Start(options.find("pen") != std::string::npos ? OutputKind::Pen : OutputKind::Touch, kDesktop));
    g_rec.log.clear();
    std::istringstream opts(options);
    for (std::string o; opts >> o;)
        if (o.rfind("busy=", 0) == 0) g_rec.busy = std::stoi(o.substr(5));
        else if (o.rfind("refuse=", 0) == 0) g_rec.refuse = std::stoi(o.substr(7));
    std::istringstream steps(script);
    for (std::string step; steps >> step;) {
        if (step[0] == '+') g_rec.now += static_cast<uint32_t>(std::stoul(step.substr(1)));
        else if (step == "tick") out.OnTick(g_rec.now);
        else if (step == "display") out.CancelAll(kDesktop);
        else if (step == "stop") out.ReleaseAll();
        else {
            std::vector<_SDetectPoint> pens;
            std::istringstream frame(step == "-" ? "" : step);
            for (std::string pen; std::getline(frame, pen, '/');) {
                const size_t colon = pen.find(':'), comma = pen.find(',');
                const int id = colon == std::string::npos ? 1 : std::stoi(pen);
                const size_t from = colon == std::string::npos ? 0 : colon + 1;
                pens.push_back({id, std::stoi(pen.substr(from)), std::stoi(pen.substr(comma + 1)), 1});
            }
            out.OnFrame(0, pens.data(), static_cast<int>(pens.size()), g_rec.now, MouseSettings{});
        }
    }
    return g_rec.log;
}
}  // namespace

TEST(ContactOutput, PenScriptsBecomeTheExpectedInjections) {
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/contact_scripts.txt", 4)) EXPECT_EQ(Play(c[1], c[2]), c[3]) << Where(c);
}

// A camera at five frames a second and a pen held still for 2 s: the timer keeps the contact alive,
// never more than 100 ms between injections, and it comes down and goes up once.
TEST(ContactOutput, AContactHeldStillTwoSecondsIsNeverDropped) {
    g_rec = {};
    CContactOutput out(Recording());
    ASSERT_TRUE(out.Start(OutputKind::Touch, kDesktop));
    g_rec.log.clear();
    const _SDetectPoint pen{1, 500, 500, 1};
    for (; g_rec.now <= 2000; g_rec.now += 16) {
        if (g_rec.now % 200 < 16) out.OnFrame(0, &pen, 1, g_rec.now, MouseSettings{});
        if (g_rec.now % 32 == 0) out.OnTick(g_rec.now);
    }
    out.OnFrame(0, nullptr, 0, g_rec.now + 100, MouseSettings{});
    for (size_t i = 1; i < g_rec.injectedAt.size(); ++i) EXPECT_LE(g_rec.injectedAt[i] - g_rec.injectedAt[i - 1], 100u);
    const std::string& log = g_rec.log;
    EXPECT_TRUE(log.rfind('d') == 3 && log.find('U') == log.size() - 8) << log;
}

// Touch injection starts first; where a function is missing (Windows 7, Wine, Windows 8 for the
// pen) the output says so and sends nothing; the pen device goes with the output.
TEST(ContactOutput, StartsOnlyWithEveryFunctionItNeeds) {
    g_rec = {};
    PointerApi touchOnly = Recording();
    touchOnly.createSyntheticPointerDevice = nullptr;
    CContactOutput none(PointerApi{}), older(touchOnly), full(Recording());
    EXPECT_FALSE(none.Start(OutputKind::Touch, kDesktop) || none.Active());
    EXPECT_FALSE(older.Start(OutputKind::Pen, kDesktop) || older.Active());
    EXPECT_TRUE(older.Start(OutputKind::Touch, kDesktop) && older.Active());
    EXPECT_TRUE(full.Start(OutputKind::Pen, kDesktop) && full.Active());
    full.Stop();
    EXPECT_EQ(g_rec.log, "init64 init64 pen+ pen-");
}
