#include "win/Dialog.h"

#include <algorithm>
#include <vector>

namespace win {

namespace {
// Window thread only: the modal dialogs open now, outermost first.
std::vector<Dialog*>& OpenModals() {
    static std::vector<Dialog*> open;
    return open;
}
}  // namespace

Dialog::Dialog(UINT templateId, HWND parent) : m_hParent(parent), m_templateId(templateId) {}

Dialog::~Dialog() {
    // The window must not call back into a destroyed object.
    if (m_hWnd) {
        SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        if (!m_bModal) ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
}

INT_PTR Dialog::DoModal() {
    m_bModal = true;
    OpenModals().push_back(this);
    INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), m_hParent,
                                &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
    auto& open = OpenModals();
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
    m_bModal = false;
    return r;
}

int Dialog::OpenModalCount() { return static_cast<int>(OpenModals().size()); }

void Dialog::EndAllModal(INT_PTR result) {
    const std::vector<Dialog*> open = OpenModals();
    for (auto it = open.rbegin(); it != open.rend(); ++it) (*it)->EndDialog(result);
}

bool Dialog::CreateModeless() {
    if (m_hWnd) return true;
    m_bModal = false;
    HWND h = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), m_hParent,
                                &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return h != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
    if (!m_hWnd) return;
    if (m_bModal)
        ::EndDialog(m_hWnd, result);
    else
        ShowWindow(m_hWnd, SW_HIDE);
}

bool Dialog::DefaultHandling(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(LOWORD(wParam));
        result = 0;
        return true;
    }
    return false;
}

// Messages whose result a dialog procedure returns directly instead of through DWLP_MSGRESULT.
static bool ReturnsDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
    case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON: case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self) return FALSE;

    LRESULT result = 0;
    bool handled = self->Dispatch(message, wParam, lParam, result);
    if (!handled) handled = self->DefaultHandling(message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        // Clear the back pointer when the window dies.
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    if (!handled) return FALSE;
    if (ReturnsDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace win
