#include <gtest/gtest.h>

#include <sstream>
#include <string>

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

// Runs a script of steps: "X,Y" a pen point (on screen S with "X,Y@S"), "-" no pen ("-@S"), "+MS"
// the clock moves on, "stop" the cameras stop. Returns what reached the desktop.
std::string Play(const std::string& script, MouseSettings settings = {}, bool drawInFront = false,
                uint32_t start = 100000) {
    FakeOutput out;
    out.now = start;
    out.drawInFront = drawInFront;
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
    MouseSettings ignore3;
    ignore3.ignoreMove = 3;
    const struct {
        const char* name;
        const char* script;
        const char* expected;
        MouseSettings settings = {};
        bool drawInFront = false;
        uint32_t start = 100000;
    } cases[] = {
        {"touch, drag, lift; a short gap keeps the button down", "100,200 +16 110,205 +16 - +50 -",
         "down 100,200 move 110,205 up 110,205"},
        {"release only after a gap longer than TimeRight", "100,200 +50 - +10 - +1 -", "down 100,200 up 100,200"},
        {"held still past the hold time: right click, and the touch ends with one more up",
         "300,300 +1000 303,302 +1 305,305 +16 320,305 +100 -",
         "down 300,300 move 303,302 up 305,305 rdown 305,305 rup 305,305 move 320,305 up 320,305"},
        {"no right click over the drawing program", "300,300 +2000 301,300", "down 300,300 move 301,300", {}, true},
        {"moving beyond the step cancels the right click", "300,300 +100 306,300 +100 300,300 +2000 301,300",
         "down 300,300 move 306,300 move 300,300 move 301,300"},
        {"a quick second touch double-clicks at the first place, then points are ignored a while",
         "500,400 +16 - +100 - +300 503,397 +800 900,900 +1 900,900",
         "down 500,400 up 500,400 down 500,400 up 500,400 down 500,400 up 500,400 down 900,900"},
        {"a second touch too late is a fresh press", "500,400 +100 - +500 500,400",
         "down 500,400 up 500,400 down 500,400"},
        {"a second touch too far is a fresh press", "500,400 +100 - +100 506,400",
         "down 500,400 up 500,400 down 506,400"},
        {"moves up to IgnoreMove send nothing", "100,100 +16 103,97 +16 104,100", "down 100,100 move 104,100", ignore3},
        {"another screen is ignored while one holds the lock", "100,100@0 +16 900,900@1 +200 -@1 -@0 +1000 50,60@1",
         "down 100,100 up 100,100 down 50,60@1"},
        {"a drag onto x = 0 and y = 0 keeps the button down", "100,100 +16 0,50 +100 40,0 +100 - +1000 0,0",
         "down 100,100 move 0,50 move 40,0 up 40,0 down 0,0"},
        {"stopping the cameras lets go of a held button, once", "100,100 stop stop", "down 100,100 up 100,100"},
        {"the tick count wrapping keeps the release gap", "100,100 +32 - +40 -", "down 100,100 up 100,100", {}, false,
         0xFFFFFFF0u},
        {"the tick count wrapping keeps the hold time", "700,700 +1200 701,700",
         "down 700,700 up 701,700 rdown 701,700 rup 701,700", {}, false, 0xFFFFFF00u},
    };
    for (const auto& c : cases) EXPECT_EQ(Play(c.script, c.settings, c.drawInFront, c.start), c.expected) << c.name;
}

// Every pixel comes back as itself, whichever way the input system maps absolute coordinates back.
TEST(NormaliseMousePoint, EveryPixelMapsBackToItselfAndScreensShiftByWholeRanges) {
    for (int width : {800, 1080, 1366, 1920, 3840}) {
        int wrong = 0;
        for (int x = 0; x < width; ++x) {
            const uint64_t a = NormaliseMousePoint(x, x, 0, width, width).x;
            wrong += static_cast<int>(a * static_cast<uint64_t>(width) / 65536) != x;
            wrong += static_cast<int>((a * static_cast<uint64_t>(width) + 32767) / 65535) != x;
        }
        EXPECT_EQ(wrong, 0) << width;
    }
    EXPECT_EQ(NormaliseMousePoint(1, 0, 1, 1920, 1080).x, 65535u + NormaliseMousePoint(1, 0, 0, 1920, 1080).x);
    EXPECT_EQ(NormaliseMousePoint(960, 540, 0, 0, 0).x, 0u);  // no screen size: no division by zero
}

TEST(PointRouting, StatusAndSearchTypeDecideWhereAPointGoes) {
    const struct {
        bool running;
        int status, searchType, state;
        PointRoute route;
    } cases[] = {
        {false, 0, 0, 1, PointRoute::Ignore},        {false, 1, 0, 1, PointRoute::Ignore},
        {true, 0, 0, 1, PointRoute::MousePoint},     {true, 0, 0, 0, PointRoute::MouseNoPoint},
        {true, 0, 0, 7, PointRoute::MouseNoPoint},   {true, 0, 1, 1, PointRoute::MousePoint},
        {true, 0, 1, 0, PointRoute::MouseNoPoint},   {true, 0, 1, 7, PointRoute::Ignore},
        {true, 1, 0, 0, PointRoute::ManualDialog},   {true, 2, 0, 0, PointRoute::FrameDialog},
        {true, 3, 1, 1, PointRoute::FrameDialog},    {true, 9, 0, 1, PointRoute::Ignore},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoutePoint(c.running, c.status, c.searchType, c.state), c.route)
            << c.running << " " << c.status << " " << c.searchType << " " << c.state;
}
