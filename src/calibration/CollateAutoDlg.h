// The automatic calibration window: a black full-screen popup that shows the calibration
// patterns, hands each camera frame to the centre finder through the stage machine, and posts the
// found calibration to the main window. Driven only by the frames that arrive; no timer.
#pragma once
#include <windows.h>

#include <vector>

#include "MultiIRLight.h"
#include "calibration/AutoCalibStages.h"
#include "win/Dialog.h"
#include "win/Scoped.h"

class CCollateAutoDlg : public win::MappedDialog<CCollateAutoDlg>, private AutoCalibHost {
public:
    explicit CCollateAutoDlg(HWND parent);
    ~CCollateAutoDlg() override;

    void SetNotify(HWND window, UINT procMsg, UINT saveMsg);
    // Covers screen `screen`'s whole monitor: the record is that screen's calibration.
    void CreateBackBuffer(int screen = 0);
    void StartAutoCalib();
    void Stop() { m_stages.StopAccepting(); }
    void SetStage(int stage) { m_stages.SetStage(stage); }

protected:
    BOOL OnInitDialog() override;

private:
    TAVORI_DECLARE_MESSAGE_MAP(CCollateAutoDlg)

    LRESULT OnCollate(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
    LRESULT OnCancelCommand(WPARAM wParam, LPARAM lParam);
    void OnCancel();
    void SaveResult();
    void ReleaseBackBuffer();
    // The finder reads 640 x 480 frames; any other size is scaled to it.
    const uint8_t* FinderFrame(const SCapFrame& frame);

    // AutoCalibHost
    uint32_t Now() override;
    int FindCentres(int stage, int mode, const uint8_t* pixels, double* points, int* type) override;
    void Draw(const PatternSquare& square) override;
    void NextExposure(int32_t exposure) override;
    void Trace(const char* line) override;

    HWND m_notify = nullptr;
    UINT m_procMsg = 0, m_saveMsg = 0;
    _SCalibration m_record{};
    AutoCalibStages m_stages;
    HDC m_windowDC = nullptr;
    win::MemoryDC m_memDC;
    win::GdiObject<HBITMAP> m_dib;
    HBITMAP m_oldBitmap = nullptr;  // the memory DC's own bitmap, selected back before it goes
    uint8_t* m_bits = nullptr;
    std::vector<uint8_t> m_scaled;
};
