#include "calibration/CalibrationFlow.h"

#include "win/Trace.h"

namespace {
constexpr int kAutoExposure = 0;
constexpr int kLaserExposure = -6;
constexpr int kShortSettleMs = 50;
constexpr int kLongSettleMs = 1000;
constexpr int kListenerQuietMs = 200;  // a listener finishes the frame it is on
}  // namespace

CCalibrationFlow::CCalibrationFlow(ICalibrationCameras& cameras, ICalibrationWindows& windows, FlowFlags flags)
    : m_cameras(cameras), m_windows(windows), m_flags(flags) {}

bool CCalibrationFlow::BringRunningToFront() {
    if (!Running()) return false;
    TRACE("calibration request while one runs (status=%d): brought to the front", status);
    m_windows.BringToFront(status);
    return true;
}

void CCalibrationFlow::OnShowCollate() {
    if (BringRunningToFront()) return;
    TRACE("OnShowCollate: enter manual image-position, clear g_bCollateA from %d", int(m_flags.collateA));
    m_flags.collateA = 0;
    m_flags.collate = 0;
    m_flags.backgroundMode = 0;
    OnShowImagePosition();
}

void CCalibrationFlow::OnShowCollateAuto() {
    if (BringRunningToFront()) return;
    TRACE("OnShowCollateAuto: enter auto image-position");
    m_flags.collate = 1;
    m_flags.backgroundMode = 0;
    OnShowImagePosition();
}

void CCalibrationFlow::OnShowImagePosition() {
    m_flags.enrollSign = kEnrollFrameCopies;
    status = kAimingStep;
    m_camera = 0;
    TRACE("OnShowImagePosition: mode=%s g_bCollate=%d g_bCollateA=%d status=%d enrollSign=%d",
          int(m_flags.collate) ? "auto" : "manual", int(m_flags.collate), int(m_flags.collateA), status, int(m_flags.enrollSign));
    m_cameras.SetCaptureControl(kAutoExposure, kShortSettleMs);
    m_windows.ShowImagePosition(m_camera, m_settings.cameraCount);
}

void CCalibrationFlow::OnCollate() {
    TRACE("OnCollate: force manual collate, clear g_bCollateA from %d", int(m_flags.collateA));
    m_flags.collateA = 0;
    m_flags.collate = 0;
    OpenManualDialog();
}

void CCalibrationFlow::OnCollateAuto() {
    TRACE("OnCollateAuto: before switch searchType=%d g_bCollate=%d g_bCollateA=%d", int(m_flags.searchType),
          int(m_flags.collate), int(m_flags.collateA));
    m_bSavedSearchType = m_flags.searchType != 0 ? 1 : 0;
    if (m_bSavedSearchType) m_flags.searchType = 0;
    m_flags.collate = 1;
    m_flags.collateA = 1;
    TRACE("OnCollateAuto: enter auto collate stage1 g_bCollate=%d g_bCollateA=%d searchType=%d", int(m_flags.collate),
          int(m_flags.collateA), int(m_flags.searchType));
    OpenManualDialog();
}

void CCalibrationFlow::OnMenuitemColleat() {
    if (BringRunningToFront()) return;
    OpenManualDialog();
}

void CCalibrationFlow::OpenManualDialog() {
    if (m_flags.collate == 0 && m_flags.collateA != 0) {
        TRACE("OnMenuitemColleat: clear stale g_bCollateA before manual collate");
        m_flags.collateA = 0;
    }
    TRACE("OnMenuitemColleat: g_bCollate=%d g_bCollateA=%d enrollSign(old)=%d status(old)=%d", int(m_flags.collate),
          int(m_flags.collateA), int(m_flags.enrollSign), status);
    m_flags.enrollSign = kEnrollBrightestSpot;
    status = kCrossesStep;
    m_cameras.ResetEnroll(0);
    ShowCollateDlg();
    calType = 0;
    TRACE("OnMenuitemColleat: started manual-stage calibration, g_bCollate=%d g_bCollateA=%d", int(m_flags.collate),
          int(m_flags.collateA));
}

void CCalibrationFlow::ShowCollateDlg() {
    if (m_flags.collate) {
        // Without a laser prompt the automatic step follows at once with an exposure of its own:
        // a second spent settling the prompt's exposure would only keep the user waiting.
        if (!m_settings.skipLaserPrompt) m_cameras.SetCaptureControl(kLaserExposure, kLongSettleMs);
    } else {
        m_cameras.SetCaptureControl(kLaserExposure, kShortSettleMs);
        m_cameras.SetCaptureControl(m_settings.exposure, kLongSettleMs);
    }
    m_windows.ShowCollateDlg(m_settings.screenCount);
}

// Camera m_camera's automatic step, on its screen.
void CCalibrationFlow::OnShowCollateAuto2() {
    m_flags.enrollSign = kEnrollFrameCopies;
    status = kAutoSquaresStep;
    calType = 1;
    const int exposure = m_settings.irFilter == 850 ? -5 : -8;
    TRACE("OnShowCollateAuto2: enter auto stage2 exposure=%d g_bCollate=%d g_bCollateA=%d", exposure,
          int(m_flags.collate), int(m_flags.collateA));
    m_cameras.SetCaptureControl(exposure, kShortSettleMs);
    ShowCollateAutoDlg();
}

void CCalibrationFlow::ShowCollateAutoDlg() {
    // An automatic run that cannot start ends as a failed one: the manual dialog takes over.
    if (!m_windows.ShowCollateAutoDlg(m_camera)) FinishCollage(0);
}

void CCalibrationFlow::FinishCollage(int nSign) { EndRun(nSign, true); }

void CCalibrationFlow::EndRun(int nSign, bool allowFallback) {
    TRACE("FinishCollage enter: nSign=%d calType=%d g_bCollate=%d g_bCollateA=%d enrollSign=%d status=%d", nSign,
          calType, int(m_flags.collate), int(m_flags.collateA), int(m_flags.enrollSign), status);
    m_windows.NotifyDrawingProgram(DRAW_CALIBRATION_END);
    m_cameras.SetCaptureControl(m_settings.exposure, kLongSettleMs);
    m_flags.enrollSign = kEnrollNormal;
    m_flags.collateA = 0;
    m_windows.Wait(kListenerQuietMs);
    status = kNotCalibrating;
    m_windows.Wait(kListenerQuietMs);
    // A run that stored nothing keeps the calibration the pen had: never a dead pen.
    if (nSign != 1) m_cameras.RestoreStoredCalibration();
    m_cameras.ResetEnroll(0);
    if (calType == 1 && m_bSavedSearchType) {
        m_flags.searchType = 1;
        m_bSavedSearchType = 0;
    }
    m_windows.HideAll();  // the aiming view too: a run may end there (code 4)
    if (nSign == 1) return m_windows.ShowReport();
    if (allowFallback && m_flags.collate == 1) {
        TRACE("FinishCollage: auto flow failed, fallback to manual collate");
        OnCollate();
    } else {
        TRACE("FinishCollage: calibration failed without auto fallback");
        m_windows.Message(m_texts.unchanged);
    }
}

void CCalibrationFlow::Abandon() {
    if (!Running() && m_flags.enrollSign == kEnrollNormal && m_flags.collateA == 0) return;
    TRACE("calibration abandoned: the cameras stopped (status=%d)", status);
    m_windows.NotifyDrawingProgram(DRAW_CALIBRATION_END);
    m_flags.enrollSign = kEnrollNormal;
    m_flags.collateA = 0;
    status = kNotCalibrating;
    if (calType == 1 && m_bSavedSearchType) m_flags.searchType = 1;
    m_bSavedSearchType = 0;
    m_windows.HideAll();
}

void CCalibrationFlow::OnProcCmd(int code) {
    // Codes that end or advance a run only mean something while one is on: another program
    // posting them at an idle driver changes nothing.
    switch (code) {
    case PROC_CALIBRATION_DONE:
        if (status == kAutoSquaresStep && m_camera + 1 < m_settings.cameraCount) {
            ++m_camera;  // the next camera's automatic step
            OnShowCollateAuto2();
        } else if (status == kCrossesStep || status == kAutoSquaresStep) {
            FinishCollage(1);
        }
        break;
    case PROC_RESTART_AUTO:
        if (status == kAutoSquaresStep) m_windows.RestartAutoCalib();
        break;
    case PROC_CALIBRATION_FAILED:
        if (status != kNotCalibrating) FinishCollage(0);
        m_windows.Message(m_texts.calibrateFail);
        break;
    case PROC_ASK_RECALIBRATION:
        // Asked only at an idle driver; a run started while the question was open goes on alone.
        if (BringRunningToFront() || !m_windows.AskYesNo(m_texts.recalibration)) break;
        if (calType == 0)
            OnMenuitemColleat();
        else
            OnShowCollateAuto();
        break;
    case PROC_HIDE_CALIBRATION:
        if (calType == 0)
            m_windows.HideCollateDlg();
        else
            m_windows.HideCollateAutoDlg();
        break;
    case PROC_CALIBRATION_CANCEL:
        TRACE("OnProcCmd: cancel/finish request calType=%d g_bCollate=%d g_bCollateA=%d", calType,
              int(m_flags.collate), int(m_flags.collateA));
        if (status == kAimingStep) {
            // Cancel at the aiming view ends the whole run, automatic or not.
            EndRun(0, false);
        } else if (status != kNotCalibrating) {
            FinishCollage(0);
        }
        break;
    case PROC_AUTO_STAGE2:
        TRACE("OnProcCmd: start auto stage2");
        if (status == kCrossesStep && m_flags.collate == 1) OnShowCollateAuto2();
        break;
    case PROC_IMAGE_POSITION_OK:
        TRACE("OnProcCmd: image-position confirmed g_bCollate=%d g_bCollateA=%d", int(m_flags.collate),
              int(m_flags.collateA));
        if (status != kAimingStep) break;
        if (m_camera + 1 < m_settings.cameraCount) {
            m_windows.ShowImagePosition(++m_camera, m_settings.cameraCount);  // the next camera's aim
            break;
        }
        m_camera = 0;
        m_windows.NotifyDrawingProgram(DRAW_IMAGE_POSITION_OK);
        m_flags.backgroundSnap = 2;
        if (m_flags.collate == 1)
            OnCollateAuto();
        else
            OnCollate();
        break;
    default:
        break;
    }
}
