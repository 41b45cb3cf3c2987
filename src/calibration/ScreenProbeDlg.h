// The screen probe: a small black window that maximizes itself at a given position and, half a
// second later, tells the manual dialog the client size of the monitor it landed on.
#pragma once
#include "win/Dialog.h"
#include "win/Scoped.h"

class CTestDlg : public win::MappedDialog<CTestDlg> {
public:
    explicit CTestDlg(HWND parent);
    ~CTestDlg() override;
    void SetNotify(HWND window, UINT message);
    void SetPosition(int x, int y);

protected:
    BOOL OnInitDialog() override;

private:
    TAVORI_DECLARE_MESSAGE_MAP(CTestDlg)
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
    LRESULT OnCtlColor(WPARAM wParam, LPARAM lParam);

    HWND m_hNotify = nullptr;
    UINT m_sizeMessage = 0;
    int m_x = 0, m_y = 0;
    win::GdiObject<HBRUSH> m_brush;
};
