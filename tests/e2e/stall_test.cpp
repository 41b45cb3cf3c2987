// Camera streams that fail while the camera stays listed: a stream that dies, and one that stops
// delivering frames for a while, with the pen down and while quitting.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>

#include "VirtualRig.h"

using namespace e2e;

namespace {
constexpr unsigned long kStallMs = 2000;  // shorter than a lost camera's

// timeGetTime of the canvas's first event `what`, or 0.
unsigned long FirstEvent(const CanvasRig& rig, const char* what) {
    for (const CanvasEvent& e : rig.Events())
        if (e.what == what) return e.t;
    return 0;
}
}  // namespace

// A stall with the pen down releases the button at once and replays nothing; once frames flow the
// pen works as before. A stream that dies while the camera stays listed is reported and reopened at
// the next device arrival. Quitting during a stall returns within two seconds.
TEST(Stall, StalledAndDeadStreamsWithThePenDownAndWhileQuitting) {
    CanvasRig rig;
    ASSERT_TRUE(rig.Start());
    rig.pen.Down(900, 500);
    ASSERT_TRUE(rig.WaitForEvent("down"));
    WaitForNewFrames(18);  // pressed for some frames before the stall
    const unsigned long stalled = timeGetTime();
    rig.pen.Stall(true);
    ASSERT_TRUE(rig.WaitForEvent("up", 0, 2000)) << "the button stayed down";
    EXPECT_LE(FirstEvent(rig, "up") - stalled, 500u) << "ms from the stall to the release";
    Sleep(kStallMs - std::min(kStallMs, timeGetTime() - stalled));
    EXPECT_EQ(rig.Buttons(), "down up") << "the stalled frame was used again";
    rig.pen.Up();
    rig.pen.Stall(false);
    ASSERT_TRUE(WaitForNewFrames(18)) << "no frames after the stall";
    EXPECT_EQ(rig.Buttons(), "down up");
    EXPECT_TRUE(rig.driver.MessageBoxes().empty()) << "a 2 s stall is not a lost camera";
    rig.pen.Down(700, 400);
    EXPECT_TRUE(rig.WaitForButtons("down up down")) << "no pen once frames flow again";
    rig.pen.Up();
    ASSERT_TRUE(rig.WaitForButtons("down up down up"));

    rig.pen.Die(true);
    HWND box = rig.driver.WaitForMessageBox(5000);
    ASSERT_NE(box, nullptr) << "no disconnection message";
    EXPECT_FALSE(MappingExists("Multi_Lumora_Mappfile_1"));
    rig.pen.Die(false);
    PressOk(box);
    // A camera interface arrives: the camera is reopened without waiting for the 5 s poll.
    PenControl::AnnounceArrival(rig.main);
    ASSERT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 2500))
        << "not reopened at the device arrival";
    ASSERT_TRUE(rig.WaitUntilDetecting());
    rig.pen.Down(800, 450);
    EXPECT_TRUE(rig.WaitForButtons("down up down up down")) << "no pen after the reopening";
    rig.pen.Up();

    rig.pen.Stall(true);
    Sleep(1000);  // past the 500 ms after which the camera calls it a stall
    rig.Quit();
    EXPECT_TRUE(rig.driver.WaitForExit(2000)) << "quit during a stall";
    EXPECT_TRUE(rig.driver.MessageBoxes().empty());
}
