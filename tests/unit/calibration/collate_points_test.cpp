// How many crosses a setting gives, in which order they are visited and which frames count for them.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "CaseFile.h"
#include "calibration/CollatePoints.h"

using namespace collate;

TEST(CollateGrid, UnusablePointCountsFallBackTo25) {
    struct {
        int setting, usable;
    } counts[] = {{4, 4}, {9, 9}, {36, 36}, {0, 25}, {10, 25}, {49, 25}, {-4, 25}};
    for (auto c : counts) EXPECT_EQ(UsablePointCount(c.setting), c.usable) << c.setting;
}

namespace {
// One step of a transcript of collate_transcripts.txt (the steps are described there); what it gave.
std::string Step(CollatePoints& c, const std::string& step) {
    static const char* const kResults[] = {"ignored", "joined", "sampled", "done", "screen"};
    std::istringstream in(step);
    std::string word;
    int n = 0;
    in >> word >> n;
    if (word == "start") return c.Start(n), "-";
    if (word == "take") return std::to_string(c.TakeCompleteSlot());
    if (word == "clear") return c.ClearUnfinishedSlots(), "-";
    if (word == "target") return std::to_string(c.Target());
    if (word == "cameras") return std::to_string(c.CameraCount());
    if (word == "count") return std::to_string(c.Slot(n).count);
    if (word == "posted") return std::to_string(c.PostedCamera(n));
    if (word == "record") {
        _SCalibration r{};
        c.FillRecord(n, r);
        std::string out = std::to_string(r.lPtCount) + ":";
        for (uint32_t i = 0; i < r.lPtCount; ++i) out += " " + std::to_string(r.x[i]) + "," + std::to_string(r.y[i]);
        return out;
    }
    int camera = 0, x = 0, y = 0, frames = 1;  // camera@x,y*frames
    if (std::sscanf(step.c_str(), "%d@%d,%d*%d", &camera, &x, &y, &frames) < 3) return "bad step " + step;
    AddResult r = AddResult::Ignored;
    for (int i = 0; i < frames; ++i) r = c.AddPoint(camera, x, y);
    return kResults[static_cast<int>(r)];
}
}  // namespace

TEST(CollatePoints, Transcripts) {
    for (const CaseLine& t : ReadCases(TAVORI_CASES_DIR "/collate_transcripts.txt", 3)) {
        CollatePoints c;
        std::istringstream steps(t[1]);
        std::string got;
        for (std::string step; std::getline(steps, step, '/');) got += (got.empty() ? "" : " / ") + Step(c, step);
        EXPECT_EQ(got, t[2]) << Where(t);
    }
}
