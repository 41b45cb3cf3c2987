#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/MouseEmulator.h"

namespace {
struct Event {
    int x, y, action, owner;
    bool operator==(const Event&) const = default;
};

class FakeOutput : public IMouseOutput {
public:
    uint32_t now = 100000;
    bool drawInFront = false;
    std::vector<Event> sent;

    uint32_t Now() override { return now; }
    void Send(int x, int y, int action, int owner) override { sent.push_back({x, y, action, owner}); }
    bool IsDrawForeground() override { return drawInFront; }
    std::vector<int> Actions() const {
        std::vector<int> a;
        for (const Event& e : sent) a.push_back(e.action);
        return a;
    }
};

class MouseTest : public ::testing::Test {
protected:
    void Point(int x, int y, int screen = 0) { mouse.OnMousePoint(screen, true, x, y, settings); }
    void NoPoint(int screen = 0) { mouse.OnMousePoint(screen, false, 0, 0, settings); }
    void After(uint32_t ms) { out.now += ms; }

    FakeOutput out;
    MouseSettings settings;
    CMouseEmulator mouse{out};
};
}  // namespace

TEST_F(MouseTest, TouchDragAndLiftPressMoveAndRelease) {
    Point(100, 200);
    After(16);
    Point(110, 205);
    After(16);
    NoPoint();
    EXPECT_EQ(out.Actions(), (std::vector<int>{kLeftDown, kMouseMove}));  // a short gap keeps the button down
    After(50);
    NoPoint();
    ASSERT_EQ(out.sent.size(), 3u);
    EXPECT_EQ(out.sent[2], (Event{110, 205, kLeftUp, 0}));
    EXPECT_FALSE(mouse.Pressed());
}

TEST_F(MouseTest, ReleaseWaitsForAGapLongerThanTimeRight) {
    Point(100, 200);
    After(50);
    NoPoint();
    EXPECT_TRUE(mouse.Pressed());
    After(10);  // 60 ms since the last point: not yet longer than TimeRight
    NoPoint();
    EXPECT_TRUE(mouse.Pressed());
    After(1);
    NoPoint();
    EXPECT_FALSE(mouse.Pressed());
}

TEST_F(MouseTest, HoldingStillBecomesARightClickUnlessTheDrawingProgramIsInFront) {
    Point(300, 300);
    After(1000);
    Point(303, 302);  // exactly the hold time: not yet
    EXPECT_EQ(out.Actions(), (std::vector<int>{kLeftDown, kMouseMove}));
    After(1);
    Point(305, 305);  // 5 px: still holding still
    EXPECT_EQ(out.Actions(), (std::vector<int>{kLeftDown, kMouseMove, kLeftUp, kRightDown, kRightUp}));
    After(16);
    Point(320, 305);  // the same touch goes on: it moves, and its end sends one more left up
    After(100);
    NoPoint();
    EXPECT_EQ(out.Actions().back(), kLeftUp);

    FakeOutput drawing;
    drawing.drawInFront = true;
    CMouseEmulator inking(drawing);
    inking.OnMousePoint(0, true, 300, 300, settings);
    drawing.now += 2000;
    inking.OnMousePoint(0, true, 301, 300, settings);
    EXPECT_EQ(drawing.Actions(), (std::vector<int>{kLeftDown, kMouseMove}));
    EXPECT_TRUE(inking.Pressed());
}

TEST_F(MouseTest, MovingBeyondTheStepCancelsTheRightClick) {
    Point(300, 300);
    After(100);
    Point(306, 300);  // 6 px from the press point
    After(100);
    Point(300, 300);  // back, but this touch can no longer right-click
    After(2000);
    Point(301, 300);
    for (int a : out.Actions()) EXPECT_NE(a, kRightDown);
}

TEST_F(MouseTest, QuickSecondTouchDoubleClicksAtTheFirstPlaceThenIgnoresPoints) {
    Point(500, 400);
    After(16);
    NoPoint();
    After(100);
    NoPoint();  // released
    After(300);  // 400 ms after its last point
    Point(503, 397);
    std::vector<Event> expected = {{500, 400, kLeftDown, 0}, {500, 400, kLeftUp, 0}, {500, 400, kLeftDown, 0},
                                   {500, 400, kLeftUp, 0}, {500, 400, kLeftDown, 0}, {500, 400, kLeftUp, 0}};
    EXPECT_EQ(out.sent, expected);
    After(800);
    Point(900, 900);  // within the quiet time
    EXPECT_EQ(out.sent.size(), expected.size());
    After(1);
    Point(900, 900);
    EXPECT_EQ(out.sent.back(), (Event{900, 900, kLeftDown, 0}));
}

TEST_F(MouseTest, SecondTouchTooLateOrTooFarIsAFreshPress) {
    Point(500, 400);
    After(100);
    NoPoint();
    After(500);  // 600 ms after the last point
    Point(500, 400);
    EXPECT_EQ(out.Actions(), (std::vector<int>{kLeftDown, kLeftUp, kLeftDown}));

    FakeOutput o2;
    CMouseEmulator m2(o2);
    m2.OnMousePoint(0, true, 500, 400, settings);
    o2.now += 100;
    m2.OnMousePoint(0, false, 0, 0, settings);
    o2.now += 100;
    m2.OnMousePoint(0, true, 506, 400, settings);
    EXPECT_EQ(o2.Actions(), (std::vector<int>{kLeftDown, kLeftUp, kLeftDown}));
}

TEST_F(MouseTest, SmallMovesUpToIgnoreMoveSendNothing) {
    settings.ignoreMove = 3;
    Point(100, 100);
    After(16);
    Point(103, 97);
    EXPECT_EQ(out.Actions(), (std::vector<int>{kLeftDown}));
    After(16);
    Point(104, 100);
    EXPECT_EQ(out.sent.back(), (Event{104, 100, kMouseMove, 0}));
}

TEST_F(MouseTest, PointsOfAnotherScreenAreIgnoredWhileOneScreenHoldsTheLock) {
    Point(100, 100, 0);
    After(16);
    Point(900, 900, 1);
    After(200);
    NoPoint(1);  // the other screen's "no point" does not release either
    EXPECT_TRUE(mouse.Pressed());
    NoPoint(0);
    EXPECT_FALSE(mouse.Pressed());
    After(1000);
    Point(50, 60, 1);
    EXPECT_EQ(out.sent.back(), (Event{50, 60, kLeftDown, 1}));
}

TEST_F(MouseTest, ADragOntoTheLeftOrTopEdgeKeepsTheButtonDown) {
    Point(100, 100);
    After(16);
    Point(0, 50);
    After(100);
    Point(40, 0);
    EXPECT_TRUE(mouse.Pressed());
    EXPECT_EQ(out.sent.back(), (Event{40, 0, kMouseMove, 0}));
    After(100);
    NoPoint();
    EXPECT_EQ(out.sent.back(), (Event{40, 0, kLeftUp, 0}));
    After(1000);
    Point(0, 0);  // a touch in the corner presses there
    EXPECT_EQ(out.sent.back(), (Event{0, 0, kLeftDown, 0}));
}

TEST_F(MouseTest, TickWrapAroundKeepsTheRules) {
    out.now = 0xFFFFFFF0u;
    Point(100, 100);
    After(32);  // the tick count wraps here
    NoPoint();
    EXPECT_TRUE(mouse.Pressed());
    After(40);
    NoPoint();
    EXPECT_FALSE(mouse.Pressed());

    out.now = 0xFFFFFF00u;
    Point(700, 700);
    After(1200);  // across the wrap
    Point(701, 700);
    EXPECT_EQ(out.Actions().back(), kRightUp);
}

TEST_F(MouseTest, StoppingTheCamerasLetsGoOfAHeldButton) {
    Point(100, 100);
    mouse.ReleaseButtons();
    EXPECT_EQ(out.sent.back(), (Event{100, 100, kLeftUp, 0}));
    EXPECT_FALSE(mouse.Pressed());
    mouse.ReleaseButtons();  // nothing more when nothing is down
    EXPECT_EQ(out.sent.size(), 2u);
}

TEST(NormaliseMousePoint, ScalesToTheInputRangeAndShiftsByScreen) {
    EXPECT_EQ(NormaliseMousePoint(1, 0, 1, 1920, 1080).x, 65535u + 34u);
    EXPECT_EQ(NormaliseMousePoint(1919, 1079, 0, 1920, 1080).x, 65500u);
    EXPECT_EQ(NormaliseMousePoint(1919, 1079, 0, 1920, 1080).y, 65474u);
    EXPECT_EQ(NormaliseMousePoint(960, 540, 0, 0, 0).x, 0u);  // no screen size: no division by zero
}

#include "output/PointRouting.h"

TEST(PointRouting, StatusAndSearchTypeDecideWhereAPointGoes) {
    EXPECT_EQ(RoutePoint(false, 0, 0, 1), PointRoute::Ignore);  // cameras stopped: nothing at all
    EXPECT_EQ(RoutePoint(false, 1, 0, 1), PointRoute::Ignore);
    EXPECT_EQ(RoutePoint(true, 0, 0, 1), PointRoute::MousePoint);
    EXPECT_EQ(RoutePoint(true, 0, 0, 0), PointRoute::MouseNoPoint);
    EXPECT_EQ(RoutePoint(true, 0, 0, 7), PointRoute::MouseNoPoint);
    EXPECT_EQ(RoutePoint(true, 0, 1, 1), PointRoute::MousePoint);
    EXPECT_EQ(RoutePoint(true, 0, 1, 0), PointRoute::MouseNoPoint);
    EXPECT_EQ(RoutePoint(true, 0, 1, 7), PointRoute::Ignore);
    EXPECT_EQ(RoutePoint(true, 1, 0, 0), PointRoute::ManualDialog);
    EXPECT_EQ(RoutePoint(true, 2, 0, 0), PointRoute::FrameDialog);
    EXPECT_EQ(RoutePoint(true, 3, 1, 1), PointRoute::FrameDialog);
    EXPECT_EQ(RoutePoint(true, 9, 0, 1), PointRoute::Ignore);
}
