// The About box: the program's icon and the version of this build.
#pragma once
#include "win/Dialog.h"

class CAboutDlg : public win::Dialog {
public:
    explicit CAboutDlg(HWND parent);

protected:
    BOOL OnInitDialog() override;
    bool Dispatch(UINT, WPARAM, LPARAM, LRESULT&) override { return false; }
};
