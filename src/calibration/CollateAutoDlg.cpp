#include "calibration/CollateAutoDlg.h"

#include <algorithm>
#include <cstring>

#include "CenterFind.h"
#include "CenterFindTrace.h"
#include "calibration/CalibrationFlags.h"
#include "calibration/CalibrationMessages.h"
#include "capture/PointHandoff.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "output/Monitors.h"
#include "res/resource.h"
#include "storage/CalibrationSources.h"
#include "win/Trace.h"

namespace {
constexpr int kFinderW = 640, kFinderH = 480;

uint32_t DibStride(uint32_t width) { return (width * 3 + 3) & ~3u; }

AutoCalibSettings CurrentSettings() {
    AutoCalibSettings s;
    s.setPtCount = g_Settings.SetPtCount;
    s.stepMs = g_Settings.AutoCalibStepMs;
    s.timeoutMs = g_Settings.AutoCalibTimeoutMs;
    s.patternMs = g_Settings.AutoCalibPatternMs;
    s.frames = g_Settings.Frames;
    s.irFilter = g_Settings.IRFilter;
    return s;
}

void FinderTrace(const char* line) {
    TRACE("CenterFind: %s", line);
    (void)line;
}

// Releases a frame copy on every way out of the handler.
struct FrameGuard {
    SCapFrame* frame;
    ~FrameGuard() {
        if (frame) ReleaseFrameCopy(frame);
    }
};
}  // namespace

TAVORI_BEGIN_MESSAGE_MAP(CCollateAutoDlg)
TAVORI_ON_MESSAGE(WM_COLLATE, OnCollate)  // wParam: a registered frame copy, ours to free
TAVORI_ON_MESSAGE(WM_PAINT, OnPaint)
TAVORI_ON_MESSAGE(WM_DESTROY, OnDestroy)
TAVORI_ON_COMMAND(IDCANCEL, OnCancelCommand)
TAVORI_END_MESSAGE_MAP()

CCollateAutoDlg::CCollateAutoDlg(HWND parent) : MappedDialog(IDD_COLLATE_AUTO, parent), m_stages(*this) {}

CCollateAutoDlg::~CCollateAutoDlg() {
    UnregisterCalibrationSource(&m_record);
    ReleaseBackBuffer();
}

void CCollateAutoDlg::SetNotify(HWND window, UINT procMsg, UINT saveMsg) {
    m_notify = window;
    m_procMsg = procMsg;
    m_saveMsg = saveMsg;
}

BOOL CCollateAutoDlg::OnInitDialog() {
    m_windowDC = GetDC(m_hWnd);
    if (HWND frame = GetDlgItem(m_hWnd, IDC_AUTO_FRAME)) ShowWindow(frame, SW_HIDE);
    m_record = _SCalibration{};
    RegisterCalibrationSource(&m_record);
    tavori::cf::SetTraceSink(&FinderTrace);
    CreateBackBuffer();
    return TRUE;
}

void CCollateAutoDlg::ReleaseBackBuffer() {
    // The DC lets go of the bitmap before either is deleted.
    if (m_memDC && m_oldBitmap) SelectObject(m_memDC.get(), m_oldBitmap);
    m_oldBitmap = nullptr;
    m_memDC.reset();
    m_dib.reset();
    m_bits = nullptr;
}

void CCollateAutoDlg::CreateBackBuffer(int screen) {
    const std::optional<MonitorArea> area = ScreenArea(ListScreens(), screen);
    if (!area) return;
    const int w = area->monitor.width, h = area->monitor.height;
    if (w <= 0 || h <= 0) return;
    m_record.lScreenIndex = static_cast<uint32_t>(screen);
    m_record.lWinLeft = static_cast<uint32_t>(area->monitor.left);
    m_record.lWinTop = static_cast<uint32_t>(area->monitor.top);
    if (m_memDC && static_cast<uint32_t>(w) == m_record.lWinWidth && static_cast<uint32_t>(h) == m_record.lWinHeight)
        return;
    ReleaseBackBuffer();
    m_record.lPtCount = static_cast<uint32_t>(g_Settings.SetPtCount);
    m_record.lWinWidth = static_cast<uint32_t>(w);
    m_record.lWinHeight = static_cast<uint32_t>(h);
    m_record.lType = 1;
    m_stages.SetScreen(m_record.lWinWidth, m_record.lWinHeight);

    m_memDC.reset(CreateCompatibleDC(m_windowDC));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_dib.reset(CreateDIBSection(m_memDC.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!m_memDC || !m_dib) {
        TRACE("AutoCalib back buffer %dx%d could not be created", w, h);
        ReleaseBackBuffer();
        return;
    }
    m_bits = static_cast<uint8_t*>(bits);
    m_oldBitmap = static_cast<HBITMAP>(SelectObject(m_memDC.get(), m_dib.get()));
}

void CCollateAutoDlg::StartAutoCalib() {
    // The patterns must cover the whole monitor, in physical pixels, above everything.
    if (m_hWnd)
        SetWindowPos(m_hWnd, HWND_TOPMOST, static_cast<int32_t>(m_record.lWinLeft), static_cast<int32_t>(m_record.lWinTop),
                     static_cast<int>(m_record.lWinWidth), static_cast<int>(m_record.lWinHeight), SWP_NOACTIVATE);
    m_stages.Start(CurrentSettings());
}

void CCollateAutoDlg::OnCancel() {
    m_stages.StopAccepting();
    TRACE("AutoCalib cancel stage=%d", m_stages.Stage());
    if (m_notify) PostMessageA(m_notify, m_procMsg, PROC_CALIBRATION_CANCEL, PROC_KIND_COMMAND);
}

LRESULT CCollateAutoDlg::OnCancelCommand(WPARAM, LPARAM) {
    OnCancel();
    return 0;
}

const uint8_t* CCollateAutoDlg::FinderFrame(const SCapFrame& f) {
    if (f.nBitCount != 24 || !f.pData || f.nWidth == 0 || f.nHeight == 0) return nullptr;
    const uint32_t stride = SCapFrameStride(f.nWidth);
    if (f.nSize < stride * f.nHeight) return nullptr;
    if (f.nWidth == kFinderW && f.nHeight == kFinderH) return f.pData;
    // Bilinear scaling keeps the squares' centroids where they are, in the scaled frame.
    const uint32_t dstStride = SCapFrameStride(kFinderW);
    m_scaled.resize(static_cast<size_t>(dstStride) * kFinderH);
    const double sx = static_cast<double>(f.nWidth) / kFinderW, sy = static_cast<double>(f.nHeight) / kFinderH;
    for (int y = 0; y < kFinderH; ++y) {
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, f.nHeight - 1.0);
        const uint32_t y0 = static_cast<uint32_t>(fy), y1 = std::min(y0 + 1, f.nHeight - 1);
        const double wy = fy - y0;
        for (int x = 0; x < kFinderW; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, f.nWidth - 1.0);
            const uint32_t x0 = static_cast<uint32_t>(fx), x1 = std::min(x0 + 1, f.nWidth - 1);
            const double wx = fx - x0;
            for (int c = 0; c < 3; ++c) {
                auto at = [&](uint32_t px, uint32_t py) { return f.pData[py * stride + px * 3 + static_cast<uint32_t>(c)]; };
                const double v = (1 - wy) * ((1 - wx) * at(x0, y0) + wx * at(x1, y0)) +
                                 wy * ((1 - wx) * at(x0, y1) + wx * at(x1, y1));
                m_scaled[static_cast<size_t>(y) * dstStride + static_cast<size_t>(x) * 3 + static_cast<size_t>(c)] =
                    static_cast<uint8_t>(v + 0.5);
            }
        }
    }
    return m_scaled.data();
}

LRESULT CCollateAutoDlg::OnCollate(WPARAM wParam, LPARAM) {
    FrameGuard guard{TakeFrameCopy(static_cast<uintptr_t>(wParam))};
    if (!guard.frame || !m_stages.Accepting()) return 0;
    // Frames queue up behind a slow one (a full-screen redraw under load): only the newest shows
    // the pattern as it is now, so an older one is dropped as if it had come during processing.
    MSG newer;
    if (PeekMessageA(&newer, m_hWnd, WM_COLLATE, WM_COLLATE, PM_NOREMOVE)) return 0;
    const AutoCalibSettings settings = CurrentSettings();
    switch (m_stages.OnFrame(settings, FinderFrame(*guard.frame))) {
    case FrameOutcome::Cancelled:
        OnCancel();
        break;
    case FrameOutcome::Finished: {
        const int count = m_stages.FinishedCount();
        FillRecordFromPoints(m_record, m_stages.Points(), m_stages.Type(), count);
        SaveResult();
        g_Settings.Setting = 1;
        ini::WriteString(g_Settings.IniPath, "System", "Setting", "1");
        if (count == 4) ShowWindow(m_hWnd, SW_HIDE);
        if (m_notify) PostMessageA(m_notify, m_procMsg, PROC_CALIBRATION_DONE, PROC_KIND_COMMAND);
        break;
    }
    default:
        break;
    }
    return 0;
}

void CCollateAutoDlg::SaveResult() {
    const int32_t count = g_Settings.SetPtCount;
    if (g_nPtCount != 25) {
        m_record.lPtCount = static_cast<uint32_t>(count);
        g_Settings.Setting = 1;
        ini::WriteInt(g_Settings.IniPath, "System", "Setting", 1);
    } else {
        m_stages.StopAccepting();
        g_nPtCount = count;
    }
    g_Settings.PtCount = count;
    ini::WriteInt(g_Settings.IniPath, "System", "PtCount", count);
    if (m_notify) PostMessageA(m_notify, m_saveMsg, 0, reinterpret_cast<LPARAM>(&m_record));
}

LRESULT CCollateAutoDlg::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (m_memDC)
        BitBlt(dc, 0, 0, static_cast<int>(m_record.lWinWidth), static_cast<int>(m_record.lWinHeight), m_memDC.get(), 0, 0,
               SRCCOPY);
    EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CCollateAutoDlg::OnDestroy(WPARAM, LPARAM) {
    UnregisterCalibrationSource(&m_record);
    ReleaseBackBuffer();
    if (m_windowDC) ReleaseDC(m_hWnd, m_windowDC);
    m_windowDC = nullptr;
    tavori::cf::SetTraceSink(nullptr);
    return 0;
}

uint32_t CCollateAutoDlg::Now() { return GetTickCount(); }

int CCollateAutoDlg::FindCentres(int stage, int mode, const uint8_t* pixels, double* points, int* type) {
    return Calibration_Point(stage, mode, pixels, points, type);
}

void CCollateAutoDlg::Draw(const PatternSquare& sq) {
    if (!m_bits) return;
    const uint32_t w = m_record.lWinWidth, h = m_record.lWinHeight, stride = DibStride(w);
    std::memset(m_bits, 0, static_cast<size_t>(stride) * h);
    if (sq.lit) {
        const int32_t x0 = std::max(sq.left, 0), y0 = std::max(sq.top, 0);
        const int32_t x1 = std::min<int32_t>(sq.left + sq.size, static_cast<int32_t>(w));
        const int32_t y1 = std::min<int32_t>(sq.top + sq.size, static_cast<int32_t>(h));
        for (int32_t y = y0; y < y1; ++y)
            if (x1 > x0) std::memset(m_bits + static_cast<size_t>(y) * stride + static_cast<size_t>(x0) * 3, 0xFF,
                                     static_cast<size_t>(x1 - x0) * 3);
    }
    GdiFlush();
    if (m_windowDC) BitBlt(m_windowDC, 0, 0, static_cast<int>(w), static_cast<int>(h), m_memDC.get(), 0, 0, SRCCOPY);
    InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CCollateAutoDlg::NextExposure(int32_t exposure) {
    g_nCalibExposure = exposure;
    if (m_notify) PostMessageA(m_notify, m_procMsg, PROC_CALIB_EXPOSURE, PROC_KIND_COMMAND);
}

void CCollateAutoDlg::Trace(const char* line) {
    TRACE("%s", line);
    (void)line;
}
