// The calibration report on the screen: the last report of each camera from CalibrationReport.ini,
// a picture of the screen with an arrow per point, the figures and the verdict in the user's
// language. Modeless: the pen works while it is open.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "storage/CalibrationIni.h"
#include "win/Dialog.h"

class CCalibrationReportDlg : public win::MappedDialog<CCalibrationReportDlg> {
public:
    explicit CCalibrationReportDlg(HWND parent);
    // Reads the file and shows the newest report, in front, centred on its screen.
    void ShowNewest();
    // Reads the file again while shown (a report came in); hidden, it stays so.
    void Refresh();
    void Hide();

protected:
    BOOL OnInitDialog() override;

private:
    TAVORI_DECLARE_MESSAGE_MAP(CCalibrationReportDlg)
    LRESULT OnDrawItem(WPARAM wParam, LPARAM lParam);
    LRESULT OnCameraCommand(WPARAM wParam, LPARAM lParam);

    void Load();  // the file's reports into the list, the newest chosen
    void ShowChosen();
    void DrawPicture(HDC dc, const RECT& area) const;

    std::vector<StoredReport> m_reports;
    int m_chosen = -1;
};

// The report's verdict, figures and picture note in the user's language.
std::string ReportVerdictText(const CalibrationReport& report);
std::string ReportFiguresText(const CalibrationReport& report);
