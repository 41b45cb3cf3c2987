// Where the crosses are, in which order they are visited, and which frames count for them.
#include <gtest/gtest.h>

#include "calibration/CollatePoints.h"

using namespace collate;

TEST(CollateGrid, PointCountsVisitingOrderAndPositions) {
    struct {
        int setting, usable;
    } counts[] = {{4, 4}, {9, 9}, {36, 36}, {0, 25}, {10, 25}, {49, 25}, {-4, 25}};
    for (auto c : counts) EXPECT_EQ(UsablePointCount(c.setting), c.usable) << c.setting;
    EXPECT_EQ(GridSide(4), 2);
    EXPECT_EQ(GridSide(36), 6);

    // Row by row, right to left on odd rows.
    EXPECT_EQ(VisitCell(5, 5).column, 4);
    EXPECT_EQ(VisitCell(9, 5).column, 0);
    EXPECT_EQ(VisitCell(10, 5).row, 2);
    // 1920 x 1080, 5 x 5: u = 564, v = 317; first at a tenth, then steps of eight tenths.
    GridPoint first = TargetPosition({0, 0}, 5, 1920, 1080);
    GridPoint last = TargetPosition({4, 4}, 5, 1920, 1080);
    EXPECT_EQ(first.x, 56);
    EXPECT_EQ(first.y, 31);
    EXPECT_EQ(last.x, 1861);
    EXPECT_EQ(last.y, 1046);
}

namespace {
// Feeds `frames` frames of one camera at one position; returns the last result.
AddResult Hold(CollatePoints& c, int camera, int x, int y, int frames) {
    AddResult r = AddResult::Ignored;
    for (int i = 0; i < frames; ++i) r = c.AddPoint(camera, x, y);
    return r;
}
}  // namespace

TEST(CollatePoints, ThirteenFramesPerCrossAndTheTwelfthIsRecorded) {
    CollatePoints c;
    c.Start(4);
    EXPECT_EQ(c.AddPoint(3, 0, 0), AddResult::Joined);  // first sighting only opens a slot
    EXPECT_EQ(Hold(c, 3, 100, 100, 12), AddResult::Sampled);
    EXPECT_EQ(c.AddPoint(3, 999, 999), AddResult::TargetDone);
    EXPECT_EQ(c.Target(), 1);
    EXPECT_EQ(c.Slot(0).x[0], 100);

    // Light still where the first cross completed: ignored until it moves 5 pixels.
    EXPECT_EQ(Hold(c, 3, 997, 1003, 20), AddResult::Ignored);
    EXPECT_EQ(Hold(c, 3, 300, 50, 13), AddResult::TargetDone);
    // Visit order 2 is row 1, column 1 (right to left), stored at grid index 3.
    EXPECT_EQ(Hold(c, 3, 310, 310, 13), AddResult::TargetDone);
    EXPECT_EQ(c.Slot(0).x[3], 310);
    EXPECT_EQ(Hold(c, 3, 50, 300, 13), AddResult::ScreenDone);

    EXPECT_EQ(c.TakeCompleteSlot(), 0);
    EXPECT_EQ(c.TakeCompleteSlot(), -1);  // posted once
    _SCalibration record{};
    c.FillRecord(0, record);
    EXPECT_EQ(record.lPtCount, 4u);
    const uint32_t xs[] = {100, 300, 50, 310}, ys[] = {100, 50, 300, 310};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(record.x[i], xs[i]) << i;
        EXPECT_EQ(record.y[i], ys[i]) << i;
    }
    EXPECT_EQ(c.AddPoint(3, 1, 1), AddResult::Ignored);  // screen done
}

TEST(CollatePoints, CamerasJoinOnlyAtTheFirstCrossAndAtMostFive) {
    CollatePoints c;
    c.Start(9);
    for (int cam = 0; cam < 6; ++cam) c.AddPoint(cam, 0, 0);
    EXPECT_EQ(c.CameraCount(), 5);
    // Camera 1 saw enough of the first cross (7 frames) when camera 0 completed it: it counts too.
    Hold(c, 1, 40, 40, 7);
    Hold(c, 0, 20, 20, 13);
    EXPECT_EQ(c.Slot(0).count, 1);
    EXPECT_EQ(c.Slot(1).count, 1);
    EXPECT_EQ(c.Slot(2).count, 0);
    // Camera 2 missed the first cross: it is never counted afterwards.
    EXPECT_EQ(Hold(c, 2, 500, 500, 13), AddResult::Ignored);
    // Between screens, the posted slot stays posted and the others forget their camera.
    c.ClearUnfinishedSlots();
    EXPECT_EQ(c.Target(), 0);
    EXPECT_EQ(c.Slot(1).count, 0);
}

TEST(CollatePoints, EachScreensRecordNamesTheCameraThatFilmedIt) {
    // Camera 7 films the left screen, camera 4 the right one; camera 4 is seen first but idle.
    CollatePoints c;
    c.Start(4);
    c.AddPoint(4, 0, 0);
    c.AddPoint(7, 0, 0);
    auto crosses = [&](int camera) {
        AddResult r = AddResult::Ignored;
        for (int k = 0; k < 4; ++k) r = Hold(c, camera, 100 + 50 * k, 100, 13);
        return r;
    };
    ASSERT_EQ(crosses(7), AddResult::ScreenDone);
    const int left = c.TakeCompleteSlot();
    c.ClearUnfinishedSlots();
    c.AddPoint(4, 0, 0);
    ASSERT_EQ(crosses(4), AddResult::ScreenDone);
    const int right = c.TakeCompleteSlot();
    EXPECT_EQ(c.PostedCamera(left), 7);
    EXPECT_EQ(c.PostedCamera(right), 4);
    EXPECT_NE(right, 4);  // a slot index is not a camera index
    for (int slot : {-1, 3, 5, 1000}) EXPECT_EQ(c.PostedCamera(slot), -1) << slot;
}
