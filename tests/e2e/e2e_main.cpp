// A failing scenario leaves a picture of the whole screen in the build's e2e/screenshots folder.
#include <gtest/gtest.h>

#include "DriverHarness.h"

namespace {
class ScreenshotOnFailure : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& info) override {
        if (!info.result()->Failed()) return;
        std::string dir = e2e::E2eDir() + "\\screenshots";
        CreateDirectoryA(e2e::E2eDir().c_str(), nullptr);
        CreateDirectoryA(dir.c_str(), nullptr);
        std::string file = dir + "\\" + info.test_suite_name() + "." + info.name() + ".png";
        if (e2e::SaveScreenshot(file)) printf("screenshot: %s\n", file.c_str());
    }
};
}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ScreenshotOnFailure);
    return RUN_ALL_TESTS();
}
