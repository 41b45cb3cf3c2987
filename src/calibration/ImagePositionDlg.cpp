#include "calibration/ImagePositionDlg.h"

#include <string>

#include "calibration/CalibrationMessages.h"
#include "calibration/GuidePicture.h"
#include "capture/PointHandoff.h"
#include "capture/StrayLights.h"
#include "config/LangText.h"
#include "res/resource.h"
#include "win/Trace.h"
#include "win/Dpi.h"
#include "win/Scoped.h"

TAVORI_BEGIN_MESSAGE_MAP(CImagePositionDlg)
TAVORI_ON_MESSAGE(WM_COLLATE, OnCollate)
TAVORI_ON_MESSAGE(WM_PAINT, OnPaint)
TAVORI_ON_MESSAGE(WM_CTLCOLORDLG, OnCtlColor)
TAVORI_ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColor)
TAVORI_ON_COMMAND(IDOK, OnOK)
TAVORI_ON_COMMAND(IDCANCEL, OnCancel)
TAVORI_END_MESSAGE_MAP()

namespace {
// A top-down 24-bit picture's header.
BITMAPINFO TopDownInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}
}  // namespace

CImagePositionDlg::CImagePositionDlg(HWND parent) : MappedDialog(IDD_IMAGE_POSITION, parent) {}

CImagePositionDlg::~CImagePositionDlg() = default;

void CImagePositionDlg::SetNotify(HWND window, UINT procMsg, UINT saveMsg) {
    m_hNotify = window;
    m_procMsg = procMsg;
    m_saveMsg = saveMsg;
}

BOOL CImagePositionDlg::OnInitDialog() {
    if (!m_brush) m_brush.reset(CreateSolidBrush(RGB(255, 255, 255)));
    if (m_guide.empty()) m_guide = guide::DrawGuidePicture();
    m_picture = GetDlgItem(m_hWnd, IDC_AIM_PICTURE);
    SetDlgItemTextA(m_hWnd, IDOK, g_Lang.IDS_OK.c_str());
    SetDlgItemTextA(m_hWnd, IDCANCEL, g_Lang.IDS_CANCEL.c_str());
    return TRUE;
}

void CImagePositionDlg::Place(const DesktopRect& area, int camera, int cameraCount) {
    SetWindowPos(m_hWnd, HWND_TOP, area.left, area.top, area.width, area.height, SWP_NOACTIVATE);
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    m_width = rc.right;
    m_height = rc.bottom;
    const int w = m_width, h = m_height;
    const auto px = [this](int length) { return win::ScaledPixels(m_hWnd, length); };
    MoveWindow(GetDlgItem(m_hWnd, IDC_AIM_TEXT), px(10), h - px(40), w - px(250), px(25), FALSE);
    MoveWindow(GetDlgItem(m_hWnd, IDOK), w - px(220), h - px(40), px(100), px(25), FALSE);
    MoveWindow(GetDlgItem(m_hWnd, IDCANCEL), w - px(110), h - px(40), px(100), px(25), FALSE);
    MoveWindow(m_picture, (w - CAimingPicture::kWidth) / 2, (h - CAimingPicture::kHeight) / 2, CAimingPicture::kWidth,
               CAimingPicture::kHeight, FALSE);
    std::string text = "(1) " + g_Lang.IDS_WHITEAREA;
    if (cameraCount > 1)
        text = LangFormat(g_Lang.IDS_AIMCAMERA, "Camera %s:", std::to_string(camera + 1) + "/" + std::to_string(cameraCount)) +
               " " + text;
    SetDlgItemTextA(m_hWnd, IDC_AIM_TEXT, text.c_str());
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

LRESULT CImagePositionDlg::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    const BITMAPINFO info = TopDownInfo(guide::kWidth, guide::kHeight);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, m_width, m_height, 0, 0, guide::kWidth, guide::kHeight, m_guide.data(), &info,
                  DIB_RGB_COLORS, SRCCOPY);
    EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CImagePositionDlg::OnCollate(WPARAM wParam, LPARAM) {
    // Only copies a listener registered are taken: an address from elsewhere is never read.
    int camera = -1;
    FrameCopyCamera(static_cast<uintptr_t>(wParam), camera);
    SCapFrame* frame = TakeFrameCopy(static_cast<uintptr_t>(wParam));
    if (!frame) return 0;
    LRESULT drawn = 0;
    if (IsWindowVisible(m_hWnd) && m_live.Compose(*frame)) {
        const FixedLightBoard lights = FixedLightsOf(camera);
        if (lights.width == static_cast<int>(frame->nWidth) && lights.height == static_cast<int>(frame->nHeight))
            for (const StrayLightLog::Spot& s : lights.lights) m_live.MarkLight(s.x, s.y);
        const win::WindowDC dc(m_picture);
        const BITMAPINFO info = TopDownInfo(CAimingPicture::kWidth, CAimingPicture::kHeight);
        if (dc) {
            SetDIBitsToDevice(dc.get(), 0, 0, CAimingPicture::kWidth, CAimingPicture::kHeight, 0, 0, 0,
                              CAimingPicture::kHeight, m_live.Pixels(), &info, DIB_RGB_COLORS);
            drawn = 1;
        }
    }
    ReleaseFrameCopy(frame);
    return drawn;
}

LRESULT CImagePositionDlg::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<HWND>(lParam) != m_hWnd) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetBkColor(dc, RGB(0, 0, 0));
        SetTextColor(dc, RGB(255, 0, 0));
    }
    return reinterpret_cast<LRESULT>(m_brush.get());
}

LRESULT CImagePositionDlg::OnOK(WPARAM, LPARAM) {
    TRACE("ImagePositionDlg::OnOK: confirm image-position and continue calibration");
    if (m_hNotify) PostMessageA(m_hNotify, m_procMsg, PROC_IMAGE_POSITION_OK, 1);
    EndDialog(IDOK);
    return 0;
}

// Cancel ends the run: the pen goes back to the mouse with the calibration it had.
LRESULT CImagePositionDlg::OnCancel(WPARAM, LPARAM) {
    if (m_hNotify) PostMessageA(m_hNotify, m_procMsg, PROC_CALIBRATION_CANCEL, 1);
    EndDialog(IDCANCEL);
    return 0;
}
