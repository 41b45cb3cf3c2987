#include <gtest/gtest.h>

#include "CaseFile.h"
#include "capture/CameraIdentity.h"

using CameraPaths = CaseTest;

TEST_P(CameraPaths, OnlyKnownVendorAndProductPairsAreAccepted) {
    const char* const kinds[] = {"Unknown", "SF", "LF"};
    EXPECT_EQ(kinds[static_cast<int>(MatchKnownCamera(GetParam()[1]).kind)], GetParam()[2]);
}
INSTANTIATE_TEST_SUITE_P(, CameraPaths, CasesIn("camera_paths.txt", 3), ByName());

TEST(CameraIdentity, IdsAreReadAndPresenceMatchesThemIgnoringCase) {
    CameraMatch m = MatchKnownCamera("\\\\?\\usb#vid_0ac8&pid_3016#x");
    EXPECT_EQ(m.pid, "3016");
    EXPECT_EQ(m.vid, "0ac8");
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
