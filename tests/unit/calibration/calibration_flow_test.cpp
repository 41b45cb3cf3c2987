// The calibration flow's transitions as the cameras and windows see them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "CaseFile.h"
#include "calibration/CalibrationFlow.h"

namespace {
struct Log : ICalibrationCameras, ICalibrationWindows {
    std::string text;
    void Add(const std::string& s) { text += s + " "; }
    void SetCaptureControl(int v, int ms) override { Add("exp" + std::to_string(v) + "/" + std::to_string(ms)); }
    void ResetEnroll(int) override { Add("reset"); }
    void RestoreStoredCalibration() override { Add("restore"); }
    void ShowImagePosition(int camera, int count) override { Add(count > 1 ? "aim" + std::to_string(camera) : "aim"); }
    void ShowCollateDlg(int screens) override { Add("manual" + std::to_string(screens)); }
    void HideCollateDlg() override { Add("hideManual"); }
    bool autoRuns = false;  // the automatic dialog can run (a transcript's "runs" step)
    bool ShowCollateAutoDlg(int screen) override { return Add("auto" + std::to_string(screen)), autoRuns; }
    void HideCollateAutoDlg() override { Add("hideAuto"); }
    void RestartAutoCalib() override { Add("restartAuto"); }
    void BringToFront(int status) override { Add("front" + std::to_string(status)); }
    void HideAll() override { Add("hideAll"); }
    void ShowReport() override { Add("report"); }
    void NotifyDrawingProgram(int code) override { Add("draw" + std::to_string(code)); }
    void Message(const char* text) override { Add(std::string("box:") + text); }
    bool AskYesNo(const char*) override { return true; }
    void Wait(int) override {}
};

struct Rig {
    SharedWord enrollSign{0}, collate{0}, collateA{0}, searchType{1}, bgMode{2}, bgSnap{0};
    Log log;
    CCalibrationFlow flow{log, log, FlowFlags{enrollSign, collate, collateA, searchType, bgMode, bgSnap}};
    Rig() {
        flow.SetSettings({-7, 650, 2});
        flow.SetTexts({"fail", "again?", "unchanged"});
    }
    // The flags and states that matter, as "name=value" words.
    std::vector<std::string> Flags() const {
        const std::pair<const char*, int> all[] = {{"sign", enrollSign}, {"collate", collate}, {"collateA", collateA},
                                                   {"search", searchType}, {"status", flow.Status()}, {"type", flow.CalType()}};
        std::vector<std::string> words;
        for (auto [name, value] : all) words.push_back(std::string(name) + "=" + std::to_string(value));
        return words;
    }
    // One step of a transcript: "manual" or "auto" opens that flow, "menu" the manual dialog alone,
    // "lost" is the cameras going away, "two" starts a second camera, "runs" lets the automatic
    // dialog run; a number is a WM_PROC_CMD code.
    // Returns what the cameras and windows were told, then the flags that changed ("-": nothing).
    std::string Step(const std::string& step) {
        const std::vector<std::string> before = Flags();
        if (step == "manual") flow.OnShowCollate();
        else if (step == "auto") flow.OnShowCollateAuto();
        else if (step == "menu") flow.OnMenuitemColleat();
        else if (step == "lost") flow.Abandon();
        else if (step == "two") flow.SetSettings({-7, 650, 2, false, 2});
        else if (step == "runs") log.autoRuns = true;
        else flow.OnProcCmd(std::stoi(step));
        std::string out = std::exchange(log.text, {});
        const std::vector<std::string> after = Flags();
        for (size_t i = 0; i < after.size(); ++i)
            if (after[i] != before[i]) out += after[i] + " ";
        return out.empty() ? "-" : out.substr(0, out.size() - 1);
    }
};
}  // namespace

// Each case file line is a transcript: the steps, and what each of them did.
TEST(CalibrationFlow, TranscriptsOfManualAutomaticCancelledAndForeignRuns) {
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/flow_transcripts.txt", 3)) {
        Rig r;
        std::istringstream steps(c[1]);
        std::string got;
        for (std::string step; steps >> step;) got += (got.empty() ? "" : " / ") + r.Step(step);
        EXPECT_EQ(got, c[2]) << Where(c);
    }
}
