// The aiming view, first step of every calibration: the guide picture over the whole screen and
// the camera's live picture, mirrored, in a 640 x 480 box in the middle. With several cameras each
// is aimed in turn, on the screen it is to film.
#pragma once
#include <cstdint>
#include <vector>

#include "calibration/AimingPicture.h"
#include "output/DesktopLayout.h"
#include "win/Dialog.h"
#include "win/Scoped.h"

class CImagePositionDlg : public win::MappedDialog<CImagePositionDlg> {
public:
    explicit CImagePositionDlg(HWND parent);
    ~CImagePositionDlg() override;
    void SetNotify(HWND window, UINT procMsg, UINT saveMsg);
    // Covers `area` and lays the controls out there, for camera `camera` of `cameraCount`.
    void Place(const DesktopRect& area, int camera, int cameraCount);

protected:
    BOOL OnInitDialog() override;

private:
    TAVORI_DECLARE_MESSAGE_MAP(CImagePositionDlg)
    LRESULT OnCollate(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnCtlColor(WPARAM wParam, LPARAM lParam);
    LRESULT OnOK(WPARAM wParam, LPARAM lParam);
    LRESULT OnCancel(WPARAM wParam, LPARAM lParam);

    HWND m_hNotify = nullptr;
    UINT m_procMsg = 0, m_saveMsg = 0;
    int m_width = 0, m_height = 0;
    HWND m_picture = nullptr;
    win::GdiObject<HBRUSH> m_brush;
    std::vector<uint8_t> m_guide;
    CAimingPicture m_live;
};
