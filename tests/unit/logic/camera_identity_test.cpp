#include <gtest/gtest.h>

#include "CaseFile.h"
#include "capture/CameraIdentity.h"

TEST(CameraIdentity, OnlyKnownVendorAndProductPairsAreAccepted) {
    const char* const kinds[] = {"Unknown", "SF", "LF"};
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/camera_paths.txt", 2))
        EXPECT_EQ(kinds[static_cast<int>(MatchKnownCamera(c[0].c_str()).kind)], c[1]) << Where(c);
    CameraMatch m = MatchKnownCamera("\\\\?\\usb#vid_0ac8&pid_3016#x");
    EXPECT_EQ(m.pid, "3016");
    EXPECT_EQ(m.vid, "0ac8");
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
