// Thin dialog layer: one static dialog procedure per window kind and a message map that is a
// table from message or command id to member handler.
#pragma once
#include <windows.h>

namespace win {

class Dialog {
public:
    Dialog(UINT templateId, HWND parent);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    INT_PTR DoModal();       // runs the dialog modally; the result of EndDialog
    // Modal dialogs of this program now open (each runs a message loop of its own).
    static int OpenModalCount();
    // Ends every open modal dialog with `result`, the innermost first (used when the program ends).
    static void EndAllModal(INT_PTR result);
    bool CreateModeless();   // creates the dialog once; shown and hidden afterwards
    void EndDialog(INT_PTR result);
    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    // Called from WM_INITDIALOG; TRUE lets the system set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // Looks the message up in the window's message map; false = not handled.
    virtual bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // What an unhandled message does: OK and Cancel end a modal dialog, as in every dialog.
    virtual bool DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HWND m_hWnd = nullptr;
    HWND m_hParent;
    bool m_bModal = false;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    UINT m_templateId;
};

// A message-map entry. For WM_COMMAND entries `id` is the command id; for other messages 0.
template <class T>
struct MessageEntry {
    UINT message;
    UINT id;
    LRESULT (T::*handler)(WPARAM, LPARAM);
};

// Dialog with a static table of entries, searched in order.
template <class T>
class MappedDialog : public Dialog {
public:
    using Dialog::Dialog;

protected:
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        size_t count = 0;
        const MessageEntry<T>* entries = T::GetMessageMap(count);
        for (size_t i = 0; i < count; ++i) {
            const MessageEntry<T>& e = entries[i];
            if (e.message != message) continue;
            if (message == WM_COMMAND && e.id != LOWORD(wParam)) continue;
            result = (static_cast<T*>(this)->*e.handler)(wParam, lParam);
            return true;
        }
        return false;
    }
};

}  // namespace win

#define TAVORI_BEGIN_MESSAGE_MAP(Class)                                            \
    const win::MessageEntry<Class>* Class::GetMessageMap(size_t& count) {          \
        using ThisClass = Class;                                                    \
        static const win::MessageEntry<Class> entries[] = {
#define TAVORI_ON_MESSAGE(message, handler) {message, 0, &ThisClass::handler},
#define TAVORI_ON_COMMAND(id, handler) {WM_COMMAND, id, &ThisClass::handler},
#define TAVORI_END_MESSAGE_MAP()                                                   \
        };                                                                          \
        count = sizeof(entries) / sizeof(entries[0]);                               \
        return entries;                                                             \
    }
#define TAVORI_DECLARE_MESSAGE_MAP(Class) \
    friend class win::MappedDialog<Class>; \
    static const win::MessageEntry<Class>* GetMessageMap(size_t& count);
