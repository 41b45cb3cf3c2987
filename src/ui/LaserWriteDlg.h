// The laser-write switch: a small dialog created once, hidden, and shown again and again; OK tells
// the main window which capture mode every camera should use.
#pragma once
#include "win/Dialog.h"

class CLaserWriteDlg : public win::Dialog {
public:
    // The main window owns the dialog: it is created hidden and lives until the main window goes.
    explicit CLaserWriteDlg(HWND owner);
    ~CLaserWriteDlg() override;
    void SetNotify(HWND window, UINT message, UINT secondMessage);
    // Shows the dialog in front with the check box focused (Space switches it, Enter confirms),
    // ticked when laser writing is on.
    void Show(bool on);

protected:
    BOOL OnInitDialog() override;
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnOK();

    HWND m_hNotify = nullptr;
    UINT m_notifyMessage = 0;
    UINT m_secondMessage = 0;  // kept for the main window; this dialog posts only the first
};
