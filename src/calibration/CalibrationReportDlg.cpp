#include "calibration/CalibrationReportDlg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "calibration/ReportPicture.h"
#include "config/LangText.h"
#include "res/resource.h"
#include "storage/CalibrationRecord.h"
#include "win/Scoped.h"

namespace {
constexpr COLORREF kScreenFill = RGB(24, 24, 24), kScreenEdge = RGB(140, 140, 140), kCross = RGB(255, 255, 255);
constexpr COLORREF kErrorColours[] = {RGB(0, 200, 70), RGB(255, 170, 0), RGB(235, 30, 30)};  // by ErrorClass
constexpr double kHeadLength = 6, kHeadAngle = 0.45;  // arrowhead: picture pixels, radians off the shaft

// `text` with each "%s" in turn replaced by the next value.
std::string Fill(std::string text, std::initializer_list<std::string> values) {
    size_t at = 0;
    for (const std::string& v : values) {
        if ((at = text.find("%s", at)) == std::string::npos) break;
        text.replace(at, 2, v);
        at += v.size();
    }
    return text;
}

std::string Figure(double v, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

const std::string& PlaceName(int place) {
    const std::string* names[] = {&g_Lang.IDS_PLACE0, &g_Lang.IDS_PLACE1, &g_Lang.IDS_PLACE2, &g_Lang.IDS_PLACE3, &g_Lang.IDS_PLACE4,
                                  &g_Lang.IDS_PLACE5, &g_Lang.IDS_PLACE6, &g_Lang.IDS_PLACE7, &g_Lang.IDS_PLACE8};
    return *names[std::clamp(place, 0, 8)];
}

void Line(HDC dc, double x0, double y0, double x1, double y1) {
    MoveToEx(dc, static_cast<int>(std::lround(x0)), static_cast<int>(std::lround(y0)), nullptr);
    LineTo(dc, static_cast<int>(std::lround(x1)), static_cast<int>(std::lround(y1)));
}

void Disc(HDC dc, double x, double y, int radius) {
    const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
    Ellipse(dc, cx - radius, cy - radius, cx + radius + 1, cy + radius + 1);
}
}  // namespace

std::string ReportVerdictText(const CalibrationReport& r) {
    switch (r.verdict) {
    case ReportVerdict::Good: return g_Lang.IDS_REPORTGOOD;
    case ReportVerdict::PoorPoint:
        // Fewer points leave each one more to carry: more of them is the better cure.
        return Fill(r.points < 25 ? g_Lang.IDS_REPORTPOINT25 : g_Lang.IDS_REPORTPOINT, {PlaceName(PointPlace(r.worst, GridSide(r.points)))});
    case ReportVerdict::PoorEverywhere: return g_Lang.IDS_REPORTEVERYWHERE;
    case ReportVerdict::MoveCloser: return g_Lang.IDS_REPORTCLOSER;
    case ReportVerdict::TooClose: return g_Lang.IDS_REPORTTOOCLOSE;
    case ReportVerdict::Unmeasured: return Fill(g_Lang.IDS_REPORTUNMEASURED, {std::to_string(r.points)});
    case ReportVerdict::Judging: break;
    }
    return g_Lang.IDS_REPORTJUDGING;
}

std::string ReportFiguresText(const CalibrationReport& r) {
    std::string text;
    const auto line = [&](const std::string& label, const std::string& value) { text += label + ": " + value + "\r\n"; };
    // Where the verdict is about the set-up, a 4-point calibration still says what it cannot know.
    if (r.points < 9 && r.verdict != ReportVerdict::Unmeasured && r.verdict != ReportVerdict::Judging)
        text = Fill(g_Lang.IDS_REPORTUNMEASURED, {std::to_string(r.points)}) + "\r\n";
    if (r.measured) line(g_Lang.IDS_REPORTMEAN, Figure(r.mean, "%.1f px")), line(g_Lang.IDS_REPORTWORST, Figure(r.max, "%.1f px"));
    if (r.screenSeen >= 0) line(g_Lang.IDS_REPORTSEEN, Figure(100 * r.screenSeen, "%.0f %%"));
    if (r.imageFilled >= 0) line(g_Lang.IDS_REPORTFILLED, Figure(100 * r.imageFilled, "%.0f %%"));
    return text;
}

TAVORI_BEGIN_MESSAGE_MAP(CCalibrationReportDlg)
TAVORI_ON_MESSAGE(WM_DRAWITEM, OnDrawItem)
TAVORI_ON_COMMAND(IDC_REPORT_CAMERA, OnCameraCommand)
TAVORI_END_MESSAGE_MAP()

CCalibrationReportDlg::CCalibrationReportDlg(HWND parent) : MappedDialog(IDD_CALIBRATION_REPORT, parent) {}

BOOL CCalibrationReportDlg::OnInitDialog() {
    SetWindowTextA(m_hWnd, g_Lang.IDS_REPORT.c_str());
    SetDlgItemTextA(m_hWnd, IDOK, g_Lang.IDS_OK.c_str());
    SetDlgItemTextA(m_hWnd, IDC_REPORT_NOTE,
                    Fill(g_Lang.IDS_REPORTARROWS, {Figure(kArrowMagnification, "%.0f"), Figure(kGoodErrorPx, "%.0f"),
                                                   Figure(kPoorErrorPx, "%.0f")})
                        .c_str());
    return TRUE;
}

void CCalibrationReportDlg::Load() {
    m_reports = ReadReports();
    m_chosen = -1;
    for (size_t i = 0; i < m_reports.size(); ++i)
        if (m_chosen < 0 || m_reports[i].time > m_reports[static_cast<size_t>(m_chosen)].time) m_chosen = static_cast<int>(i);
    HWND combo = GetDlgItem(m_hWnd, IDC_REPORT_CAMERA);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (const StoredReport& s : m_reports) {
        const std::string item = Fill(g_Lang.IDS_REPORTCAMERA, {std::to_string(s.number)}) + "   " + s.time;
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(m_chosen), 0);
    EnableWindow(combo, m_reports.size() > 1);
}

void CCalibrationReportDlg::ShowChosen() {
    const CalibrationReport* r = m_chosen >= 0 ? &m_reports[static_cast<size_t>(m_chosen)].report : nullptr;
    SetDlgItemTextA(m_hWnd, IDC_REPORT_VERDICT, r ? ReportVerdictText(*r).c_str() : g_Lang.IDS_REPORTNONE.c_str());
    SetDlgItemTextA(m_hWnd, IDC_REPORT_FIGURES, r ? ReportFiguresText(*r).c_str() : "");
    InvalidateRect(GetDlgItem(m_hWnd, IDC_REPORT_PICTURE), nullptr, TRUE);
}

void CCalibrationReportDlg::ShowNewest() {
    if (!CreateModeless()) return;
    Load();
    ShowChosen();
    // Centred on the screen the report is about (the primary one when there is none).
    RECT window{}, screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (m_chosen >= 0) {
        const CalibrationReport& r = m_reports[static_cast<size_t>(m_chosen)].report;
        if (r.screenWidth > 0) screen = {r.screenLeft, r.screenTop, r.screenLeft + r.screenWidth, r.screenTop + r.screenHeight};
    }
    GetWindowRect(m_hWnd, &window);
    const int w = window.right - window.left, h = window.bottom - window.top;
    SetWindowPos(m_hWnd, HWND_TOP, (screen.left + screen.right - w) / 2, (screen.top + screen.bottom - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(m_hWnd);
}

void CCalibrationReportDlg::Refresh() {
    if (!m_hWnd || !IsWindowVisible(m_hWnd)) return;
    Load();
    ShowChosen();
}

void CCalibrationReportDlg::Hide() {
    if (m_hWnd) ShowWindow(m_hWnd, SW_HIDE);
}

LRESULT CCalibrationReportDlg::OnCameraCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != CBN_SELCHANGE) return 0;
    const LRESULT chosen = SendDlgItemMessageA(m_hWnd, IDC_REPORT_CAMERA, CB_GETCURSEL, 0, 0);
    if (chosen >= 0 && static_cast<size_t>(chosen) < m_reports.size()) m_chosen = static_cast<int>(chosen);
    ShowChosen();
    return 0;
}

LRESULT CCalibrationReportDlg::OnDrawItem(WPARAM, LPARAM lParam) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (!item || item->CtlID != IDC_REPORT_PICTURE) return FALSE;
    DrawPicture(item->hDC, item->rcItem);
    return TRUE;
}

void CCalibrationReportDlg::DrawPicture(HDC dc, const RECT& area) const {
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    if (m_chosen < 0) return;
    const ReportPicture p =
        LayOutReportPicture(m_reports[static_cast<size_t>(m_chosen)].report, area.right - area.left, area.bottom - area.top);
    if (p.right <= p.left) return;
    const double ox = area.left, oy = area.top;
    {
        const win::GdiObject<HPEN> edge(CreatePen(PS_SOLID, 1, kScreenEdge));
        const win::GdiObject<HBRUSH> fill(CreateSolidBrush(kScreenFill));
        const win::Selection pen(dc, edge.get()), brush(dc, fill.get());
        Rectangle(dc, static_cast<int>(ox + p.left), static_cast<int>(oy + p.top), static_cast<int>(ox + p.right),
                  static_cast<int>(oy + p.bottom));
    }
    for (const PictureArrow& a : p.arrows) {
        const COLORREF colour = kErrorColours[static_cast<int>(a.colour)];
        const win::GdiObject<HPEN> shaft(CreatePen(PS_SOLID, 2, colour));
        const win::GdiObject<HBRUSH> cross(CreateSolidBrush(kCross));
        const win::Selection pen(dc, shaft.get()), brush(dc, a.predicted ? cross.get() : GetStockObject(NULL_BRUSH));
        if (!a.predicted) {
            Disc(dc, ox + a.x0, oy + a.y0, 5);  // the others could not place it at all
            continue;
        }
        const double dx = a.x1 - a.x0, dy = a.y1 - a.y0, length = std::hypot(dx, dy);
        if (length >= 2) {
            Line(dc, ox + a.x0, oy + a.y0, ox + a.x1, oy + a.y1);
            const double back = std::atan2(-dy, -dx), head = std::min(kHeadLength, length / 2);
            for (double side : {-kHeadAngle, kHeadAngle})
                Line(dc, ox + a.x1, oy + a.y1, ox + a.x1 + head * std::cos(back + side), oy + a.y1 + head * std::sin(back + side));
        }
        const win::GdiObject<HPEN> rim(CreatePen(PS_SOLID, 1, kCross));
        const win::Selection rimPen(dc, rim.get());
        Disc(dc, ox + a.x0, oy + a.y0, 2);
    }
}
