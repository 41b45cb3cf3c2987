#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "CaseFile.h"
#include "output/DesktopLayout.h"
#include "output/MouseEmulator.h"
#include "output/PointRouting.h"

namespace {
class FakeOutput : public IMouseOutput {
public:
    uint32_t now = 100000;
    bool drawInFront = false;
    std::string sent;

    uint32_t Now() override { return now; }
    void Send(int x, int y, int action, int owner) override {
        static const char* const kNames[] = {"move", "down", "up", "rdown", "rup"};
        sent += std::string(sent.empty() ? "" : " ") + kNames[action] + " " + std::to_string(x) + "," +
                std::to_string(y) + (owner ? "@" + std::to_string(owner) : "");
    }
    bool IsDrawForeground() override { return drawInFront; }
};

// Plays one script of mouse_scripts.txt (its steps and options are described there); returns what
// reached the desktop.
std::string Play(const std::string& options, const std::string& script) {
    FakeOutput out;
    MouseSettings settings;
    std::istringstream opts(options);
    for (std::string o; opts >> o;) {
        if (o == "draw") out.drawInFront = true;
        else if (o.rfind("ignore=", 0) == 0) settings.ignoreMove = std::stoi(o.substr(7));
        else if (o.rfind("start=", 0) == 0) out.now = static_cast<uint32_t>(std::stoul(o.substr(6)));
        else ADD_FAILURE() << "unknown option " << o;
    }
    CMouseEmulator mouse(out);
    std::istringstream steps(script);
    for (std::string step; steps >> step;) {
        const size_t at = step.find('@');
        const int screen = at == std::string::npos ? 0 : std::stoi(step.substr(at + 1));
        if (step[0] == '+') {
            out.now += static_cast<uint32_t>(std::stoul(step.substr(1)));
        } else if (step == "stop") {
            mouse.ReleaseButtons();
        } else if (step[0] == '-') {
            mouse.OnMousePoint(screen, false, 0, 0, settings);
        } else {
            const size_t comma = step.find(',');
            mouse.OnMousePoint(screen, true, std::stoi(step), std::stoi(step.substr(comma + 1)), settings);
        }
    }
    return out.sent;
}
}  // namespace

TEST(MouseEmulation, ScriptsOfPenPointsBecomeTheExpectedMouseInput) {
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/mouse_scripts.txt", 4)) EXPECT_EQ(Play(c[1], c[2]), c[3]) << Where(c);
}

// Every pixel comes back as itself, whichever way the input system maps absolute coordinates back,
// on a desktop that starts left of the primary monitor too; off the desktop stays at its edge. The
// primary monitor is screen 0 wherever the system lists it, one left of it screen 1.
TEST(DesktopToAbsolute, EveryPixelMapsBackToItself) {
    const MonitorArea primary{{0, 0, 1920, 1080}, {60, 0, 1860, 1080}, true}, left{{-1024, 200, 1024, 768}, {-1024, 200, 1024, 768}, false};
    const std::vector<MonitorArea> screens = OrderScreens({left, primary});
    EXPECT_TRUE(screens.size() == 2 && screens[0].work == primary.work && ScreenArea(screens, 3)->monitor == left.monitor);
    EXPECT_EQ(DesktopBounds(screens), (DesktopRect{-1024, 0, 2944, 1080}));
    for (int width : {800, 1080, 1366, 1920, 3840}) {
        const DesktopRect desktop{-width / 3, 0, width, width};
        int wrong = 0;
        for (int x = desktop.left; x < desktop.left + width; ++x) {
            const uint64_t a = DesktopToAbsolute(x, 0, desktop).x;
            wrong += desktop.left + static_cast<int>(a * static_cast<uint64_t>(width) / 65536) != x;
            wrong += desktop.left + static_cast<int>((a * static_cast<uint64_t>(width) + 32767) / 65535) != x;
        }
        EXPECT_EQ(wrong, 0) << width;
    }
    EXPECT_EQ(DesktopToAbsolute(-5000, 99999, {0, 0, 1920, 1080}).x, 8u);
    EXPECT_EQ(DesktopToAbsolute(-5000, 99999, {0, 0, 1920, 1080}).y, 65490u);
    EXPECT_EQ(DesktopToAbsolute(960, 540, {}).x, 0u);  // no desktop: no division by zero
}

TEST(PointRouting, StatusAndSearchTypeDecideWhereAPointGoes) {
    const char* const kRoutes[] = {"Ignore", "MousePoint", "MouseNoPoint", "ManualDialog", "FrameDialog"};
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/point_routes.txt", 5))
        EXPECT_EQ(kRoutes[static_cast<int>(RoutePoint(c[0] == "1", std::stoi(c[1]), std::stoi(c[2]), std::stoi(c[3])))], c[4])
            << "line " << c.line;
}
