// Camera streams that fail while the camera stays listed: a stream that dies, and one that stops
// delivering frames for a while, with the pen down and while quitting.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>
#include <mmsystem.h>

#include <memory>

#include "Canvas.h"
#include "DriverHarness.h"
#include "VirtualRig.h"

using namespace e2e;

namespace {

// The fault masks of the pen control block, as penctl die/revive/stall-on/stall-off write them.
class Faults {
public:
    Faults() {
        EXPECT_TRUE(m_block.Open());
        Set(&tavori::vcam::PenBlock::deadStream, false);
        Set(&tavori::vcam::PenBlock::stalled, false);
    }
    ~Faults() {
        Set(&tavori::vcam::PenBlock::deadStream, false);
        Set(&tavori::vcam::PenBlock::stalled, false);
    }
    void Die(bool on) { Set(&tavori::vcam::PenBlock::deadStream, on); }
    void Stall(bool on) { Set(&tavori::vcam::PenBlock::stalled, on); }

private:
    void Set(uint32_t tavori::vcam::PenBlock::*mask, bool on) {
        auto* block = static_cast<tavori::vcam::PenBlock*>(m_block.View());
        if (!block) return;
        block->*mask = on ? (block->*mask | 1u) : (block->*mask & ~1u);
        block->sequence = block->sequence + 1;
        MemoryBarrier();
    }
    tavori::dev::PenBlockMapping m_block;
};

struct Rig {
    Faults faults;
    PenControl pen;
    CalibratedDriver d;
    std::unique_ptr<Canvas> canvas;

    bool Start() {
        if (!d.Start("[System]\r\nSetPtCount=25\r\n")) return false;
        // A drawing program's title: holding still never turns into a right click.
        canvas = std::make_unique<Canvas>(d.folder.Path("canvas.log"), "Inkora window");
        return canvas->Ready() && d.WaitUntilDetecting();
    }
    std::string Buttons() const { return Canvas::Buttons(canvas->Events()); }
    // timeGetTime of the first event `what`, or 0.
    unsigned long FirstEvent(const char* what) const {
        for (const CanvasEvent& e : canvas->Events())
            if (e.what == what) return e.t;
        return 0;
    }
};

}  // namespace

TEST(Stall, PenDownDuringAStallIsReleasedAtOnceAndNothingRepeats) {
    Rig rig;
    ASSERT_TRUE(rig.Start());
    rig.pen.Down(900, 500);
    ASSERT_TRUE(WaitFor([&] { return rig.FirstEvent("down") != 0; }, 3000));
    Sleep(300);
    const unsigned long stalled = timeGetTime();
    rig.faults.Stall(true);
    ASSERT_TRUE(WaitFor([&] { return rig.FirstEvent("up") != 0; }, 2000)) << "the button stayed down";
    const unsigned long releasedAfter = rig.FirstEvent("up") - stalled;
    printf("button released %lu ms after the stall began\n", releasedAfter);
    EXPECT_LE(releasedAfter, 500u);
    Sleep(2000 - (timeGetTime() - stalled));
    EXPECT_EQ(rig.Buttons(), "down up") << "the stalled frame was used again";
    rig.pen.Up();
    rig.faults.Stall(false);
    Sleep(500);
    EXPECT_EQ(rig.Buttons(), "down up");
    EXPECT_TRUE(rig.d.driver.MessageBoxes().empty()) << "a 2 s stall is not a lost camera";

    // Frames flow again: the pen works as before.
    rig.pen.Down(700, 400);
    EXPECT_TRUE(WaitFor([&] { return rig.Buttons() == "down up down"; }, 3000));
    rig.pen.Up();
    rig.d.Quit();
    EXPECT_TRUE(rig.d.driver.WaitForExit());
}

TEST(Stall, StreamThatDiesWhileListedIsReportedAndReopened) {
    Rig rig;
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(MappingExists("Multi_Lumora_Mappfile_1"));
    rig.faults.Die(true);
    HWND box = rig.d.driver.WaitForMessageBox(5000);
    ASSERT_NE(box, nullptr) << "no disconnection message";
    EXPECT_FALSE(MappingExists("Multi_Lumora_Mappfile_1"));
    rig.faults.Die(false);
    const DWORD revived = GetTickCount();
    PressOk(box);
    // A camera interface arrives: the camera is reopened without waiting for the 5 s poll.
    DEV_BROADCAST_DEVICEINTERFACE_A arrival{};
    arrival.dbcc_size = sizeof arrival;
    arrival.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(rig.d.main, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival),
                        SMTO_ABORTIFHUNG, 2000, &result);
    ASSERT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 2500))
        << "not reopened at the device arrival";
    printf("reopened %lu ms after the stream could run again\n", GetTickCount() - revived);
    ASSERT_TRUE(rig.d.WaitUntilDetecting());
    rig.pen.Down(800, 450);
    EXPECT_TRUE(WaitFor([&] { return rig.FirstEvent("down") != 0; }, 3000)) << "no pen after the reopening";
    rig.pen.Up();
    rig.d.Quit();
    EXPECT_TRUE(rig.d.driver.WaitForExit());
}

TEST(Stall, QuittingDuringAStallReturnsWithinTwoSeconds) {
    Rig rig;
    ASSERT_TRUE(rig.Start());
    rig.faults.Stall(true);
    Sleep(1000);
    const DWORD t0 = GetTickCount();
    rig.d.Quit();
    EXPECT_TRUE(rig.d.driver.WaitForExit(2000));
    printf("quit during a stall took %lu ms\n", GetTickCount() - t0);
    EXPECT_TRUE(rig.d.driver.MessageBoxes().empty());
}
