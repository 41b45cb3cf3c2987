// The calibration flow's transitions as the cameras and windows see them.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "calibration/CalibrationFlow.h"

namespace {
struct Log : ICalibrationCameras, ICalibrationWindows {
    std::string text;
    void Add(const std::string& s) { text += s + " "; }
    void SetCaptureControl(int v, int ms) override { Add("exp" + std::to_string(v) + "/" + std::to_string(ms)); }
    void ResetEnroll(int) override { Add("reset"); }
    void RestoreStoredCalibration() override { Add("restore"); }
    void ShowImagePosition() override { Add("aim"); }
    void ShowCollateDlg(int screens) override { Add("manual" + std::to_string(screens)); }
    void HideCollateDlg() override { Add("hideManual"); }
    bool ShowCollateAutoDlg() override { return Add("auto"), false; }
    void HideCollateAutoDlg() override { Add("hideAuto"); }
    void RestartAutoCalib() override { Add("restartAuto"); }
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
    std::string Take() { return std::exchange(log.text, {}); }
};
}  // namespace

TEST(CalibrationFlow, ManualRunFromAimingToStoredCalibration) {
    Rig r;
    r.flow.OnShowCollate();
    EXPECT_EQ(r.Take(), "exp0/50 aim ");
    EXPECT_EQ(r.enrollSign, 2);
    r.flow.OnProcCmd(16);
    EXPECT_EQ(r.Take(), "draw20 reset exp-6/50 exp-7/1000 manual2 ");
    EXPECT_EQ(r.enrollSign, 1);
    r.flow.OnProcCmd(1);
    EXPECT_EQ(r.Take(), "draw24 exp-7/1000 reset hideManual ");
    EXPECT_EQ(r.flow.Status(), 0);
    EXPECT_EQ(r.enrollSign, 0);
}

TEST(CalibrationFlow, CancelKeepsTheStoredCalibrationAndSaysSo) {
    struct {
        const char* where;
        bool automatic;
        int codeBeforeCancel;
    } cases[] = {{"aiming, manual", false, 0}, {"aiming, automatic", true, 0}, {"crosses", false, 16}};
    for (auto c : cases) {
        Rig r;
        c.automatic ? r.flow.OnShowCollateAuto() : r.flow.OnShowCollate();
        if (c.codeBeforeCancel) r.flow.OnProcCmd(c.codeBeforeCancel);
        r.Take();
        r.flow.OnProcCmd(12);
        EXPECT_EQ(r.Take(), "draw24 exp-7/1000 restore reset hideManual box:unchanged ") << c.where;
        EXPECT_EQ(r.flow.Status(), 0) << c.where;
        EXPECT_EQ(r.enrollSign, 0) << c.where;
    }
}

TEST(CalibrationFlow, AutomaticRunWithoutItsDialogFallsBackToManual) {
    Rig r;
    r.flow.OnShowCollateAuto();
    r.flow.OnProcCmd(16);
    EXPECT_EQ(r.collateA, 1);
    EXPECT_EQ(r.searchType, 0);  // off for the automatic run
    r.Take();
    r.flow.OnProcCmd(13);
    EXPECT_EQ(r.Take(), "exp-8/50 auto draw24 exp-7/1000 restore reset hideAuto reset exp-6/50 exp-7/1000 manual2 ");
    EXPECT_EQ(r.searchType, 1);
    EXPECT_EQ(r.collate, 0);
    EXPECT_EQ(r.flow.Status(), 1);
    EXPECT_EQ(r.flow.CalType(), 0);
}

TEST(CalibrationFlow, CodesFromOtherProgramsAtAnIdleDriverChangeNothing) {
    Rig r;
    for (int code : {-1, 0, 1, 3, 5, 6, 10, 11, 12, 13, 15, 16, 17, 1000}) r.flow.OnProcCmd(code);
    EXPECT_EQ(r.Take(), "");
    EXPECT_EQ(r.flow.Status(), 0);
    EXPECT_EQ(r.enrollSign, 0);
    r.flow.OnProcCmd(4);
    EXPECT_EQ(r.Take(), "box:fail ");
    r.flow.OnProcCmd(7);  // Yes: the manual dialog again
    EXPECT_EQ(r.Take(), "reset exp-6/50 exp-7/1000 manual2 ");
}
