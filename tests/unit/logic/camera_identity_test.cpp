#include <gtest/gtest.h>

#include "capture/CameraIdentity.h"

TEST(CameraIdentity, KnownVendorAndProductPairsAreAccepted) {
    const char* sf[] = {"\\\\?\\usb#vid_0ac8&pid_3610&mi_00#7&1", "\\\\?\\usb#VID_1216&PID_2013#x",
                        "\\\\?\\usb#vid_0ac8&pid_3016#x", "\\\\?\\virtual#vid_0AC8&pid_3610#0"};
    for (const char* p : sf) EXPECT_EQ(MatchKnownCamera(p).kind, CameraKind::SF) << p;
    EXPECT_EQ(MatchKnownCamera("\\\\?\\usb#vid_0ac8&pid_3450#x").kind, CameraKind::LF);

    CameraMatch m = MatchKnownCamera("\\\\?\\usb#vid_0ac8&pid_3016#x");
    EXPECT_EQ(m.pid, "3016");
    EXPECT_EQ(m.vid, "0ac8");
}

TEST(CameraIdentity, OtherCamerasAndOddPathsAreRejected) {
    const char* rejected[] = {
        "\\\\?\\usb#vid_1216&pid_3450#x",  // LF product with an SF-only vendor
        "\\\\?\\usb#vid_046d&pid_0825#x",  // an ordinary webcam
        "pid_3610&vid_0ac8",               // tag at the very start of the path
        "\\\\?\\usb#vid_0ac8&pid_36",      // ids cut short
        "", "vid_pid_",
    };
    for (const char* p : rejected) EXPECT_EQ(MatchKnownCamera(p).kind, CameraKind::Unknown) << p;
}

TEST(CameraIdentity, PresenceMatchesTheIdsIgnoringCase) {
    EXPECT_TRUE(PathNamesCamera("\\\\?\\usb#VID_0AC8&PID_3610#x", "3610", "0ac8"));
    EXPECT_FALSE(PathNamesCamera("\\\\?\\usb#vid_0ac8&pid_3016#x", "3610", "0ac8"));
    EXPECT_FALSE(PathNamesCamera("", "3610", "0ac8"));
}

TEST(CameraIdentity, ModelChoosesPointCountAndExposure) {
    CameraModelSettings s{0, 0, -7, -9, -5};
    EXPECT_EQ(ChooseCameraModel(CameraKind::SF, s).pointCount, 25);
    EXPECT_EQ(ChooseCameraModel(CameraKind::SF, s).exposure, -7);
    EXPECT_EQ(ChooseCameraModel(CameraKind::LF, s).pointCount, 4);
    EXPECT_EQ(ChooseCameraModel(CameraKind::LF, s).exposure, -5);
    s.applicationVersion = 3;
    EXPECT_EQ(ChooseCameraModel(CameraKind::SF, s).exposure, -9);
    s.applicationVersion = 4;
    EXPECT_EQ(ChooseCameraModel(CameraKind::SF, s).pointCount, 4);
    s.ptCount = 9;
    EXPECT_EQ(ChooseCameraModel(CameraKind::SF, s).pointCount, 9);
    EXPECT_EQ(ChooseCameraModel(CameraKind::LF, s).pointCount, 9);
}
