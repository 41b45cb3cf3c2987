#include "storage/OptionsDlg.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <utility>

#include "config/IniFile.h"
#include "config/IniText.h"
#include "config/LangText.h"
#include "config/Settings.h"
#include "res/resource.h"

namespace {
constexpr UINT WM_REPORT_DAMAGE = WM_APP + 1;

// The list is read from the file's text by the same rules its writer follows: one read of the
// whole file, and an entry with the empty name reads back as it was written.
std::string CalibrationFileText() {
    std::ifstream in(g_Settings.CalibIniPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
IniKeyReader ReaderOf(const std::string& text) {
    return [&text](const std::string& section, const char* key) { return GetIniValue(text, section, key); };
}
void WriteCalibrationKey(const std::string& section, const char* key, const std::string& value) {
    ini::WriteString(g_Settings.CalibIniPath, section.c_str(), key, value.c_str());
}
}  // namespace

TAVORI_BEGIN_MESSAGE_MAP(COptionsDlg)
TAVORI_ON_COMMAND(IDC_BUTTON_RENAME, OnButtonRename)
TAVORI_ON_COMMAND(IDC_BUTTON_SETACTIVE, OnButtonSetActive)
TAVORI_ON_COMMAND(IDC_BUTTON_NEW, OnButtonNew)
TAVORI_ON_COMMAND(IDC_LIST_CALIB, OnSelchangeList)
TAVORI_ON_COMMAND(IDC_COMBO_OUTPUT, OnSelchangeOutput)
TAVORI_ON_COMMAND(IDOK, OnOK)
TAVORI_ON_MESSAGE(WM_REPORT_DAMAGE, OnReportDamage)
TAVORI_END_MESSAGE_MAP()

COptionsDlg::COptionsDlg(HWND parent, std::string messageCaption, StoreCurrent storeCurrent)
    : MappedDialog(IDD_OPTIONS, parent),
      m_messageCaption(std::move(messageCaption)),
      m_storeCurrent(std::move(storeCurrent)) {}

BOOL COptionsDlg::OnInitDialog() {
    m_editName = GetDlgItem(m_hWnd, IDC_EDIT_NAME);
    m_listCalib = GetDlgItem(m_hWnd, IDC_LIST_CALIB);
    m_bRename = m_bNew = 0;
    SetWindowTextA(m_hWnd, g_Lang.IDS_OPTIONS.c_str());
    SetDlgItemTextA(m_hWnd, IDC_STATIC_LIST, g_Lang.IDS_CALIBRATIONLIST.c_str());
    SetDlgItemTextA(m_hWnd, IDC_BUTTON_RENAME, g_Lang.IDS_RENAME.c_str());
    SetDlgItemTextA(m_hWnd, IDC_BUTTON_NEW, g_Lang.IDS_NEW.c_str());
    SetDlgItemTextA(m_hWnd, IDC_BUTTON_SETACTIVE, g_Lang.IDS_SETACTIVE.c_str());
    SetDlgItemTextA(m_hWnd, IDCANCEL, g_Lang.IDS_CANCEL.c_str());
    SetDlgItemTextA(m_hWnd, IDC_GROUP_OUTPUT, g_Lang.IDS_OUTPUT.c_str());
    HWND outputs = GetDlgItem(m_hWnd, IDC_COMBO_OUTPUT);
    for (const std::string* name : {&g_Lang.IDS_OUTPUTMOUSE, &g_Lang.IDS_OUTPUTTOUCH, &g_Lang.IDS_OUTPUTPEN})
        SendMessageA(outputs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name->c_str()));
    SendMessageA(outputs, CB_SETCURSEL, static_cast<WPARAM>(g_Settings.Output), 0);
    FillList();
    if (!m_list.unreadable.empty()) PostMessageA(m_hWnd, WM_REPORT_DAMAGE, 0, 0);
    return TRUE;
}

void COptionsDlg::FillList() {
    SendMessageA(m_listCalib, LB_RESETCONTENT, 0, 0);
    const std::string text = CalibrationFileText();
    m_list = WalkCalibrationList(ReaderOf(text));
    for (size_t row = 0; row < m_list.keys.size(); ++row) {
        std::string text = CalibrationRowText(m_list, row, g_Lang.IDS_ACTIVE);
        SendMessageA(m_listCalib, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

// The list is shown as far as it could be read; the user learns what is missing instead of a
// silently shorter list.
LRESULT COptionsDlg::OnReportDamage(WPARAM, LPARAM) {
    std::string text = "Some saved calibrations in Calibration.ini could not be read";
    if (m_list.limitReached) text += " (the list is longer than " + std::to_string(kMaxCalibrationRows) + " entries)";
    text += ":\n";
    for (const std::string& key : m_list.unreadable) text += "\n" + (key.empty() ? std::string("(unnamed)") : key);
    text += "\n\nThe entries shown can still be used; new entries are added at the end of the list.";
    MessageBoxA(m_hWnd, text.c_str(), m_messageCaption.c_str(), MB_OK | MB_ICONWARNING);
    return 0;
}

void COptionsDlg::SetEditMode(bool writable) {
    SendMessageA(m_editName, EM_SETREADONLY, writable ? FALSE : TRUE, 0);
    const std::string& label = writable ? g_Lang.IDS_SAVE : g_Lang.IDS_RENAME;
    SetDlgItemTextA(m_hWnd, IDC_BUTTON_RENAME, label.c_str());
}

void COptionsDlg::SetBrowseMode() {
    m_bRename = m_bNew = 0;
    SetEditMode(false);
}

int COptionsDlg::SelectedRow() const {
    LRESULT row = SendMessageA(m_listCalib, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR || static_cast<size_t>(row) >= m_list.keys.size()) return -1;
    return static_cast<int>(row);
}

std::string COptionsDlg::EditText() const {
    char text[ini::kValueBuffer] = {};
    GetWindowTextA(m_editName, text, sizeof(text));
    return text;
}

LRESULT COptionsDlg::OnButtonNew(WPARAM, LPARAM) {
    m_bNew = 1;
    SetWindowTextA(m_editName, "");
    SetEditMode(true);
    SetFocus(m_editName);
    return 0;
}

void COptionsDlg::SaveNewEntry(const std::string& name) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    const std::string text = CalibrationFileText();
    const std::string key = UniqueCalibrationEntryKey(local, [&](const std::string& candidate) {
        return GetIniValue(text, candidate, "Name") || GetIniValue(text, candidate, "Next");
    });
    WriteCalibrationKey(key, "Name", name);
    WriteCalibrationKey(key, "Next", "None");
    WriteCalibrationKey(key, "Exposure", std::to_string(g_nExposure));
    WriteCalibrationKey(key, "Settings", "0");
    if (m_storeCurrent) m_storeCurrent(key);  // the entry holds the calibration it is named for
    WriteCalibrationKey(m_list.tail, "Next", key);
    WriteCalibrationKey("System", "End", key);
}

LRESULT COptionsDlg::OnButtonRename(WPARAM, LPARAM) {
    if (m_bNew) {
        std::string name = EditText();
        if (name.empty()) return 0;
        SaveNewEntry(name);
        m_bNew = 0;
        SetEditMode(false);
        FillList();
        return 0;
    }
    const int row = SelectedRow();
    if (row < 0) return 0;
    if (!m_bRename) {
        m_bRename = 1;
        SetEditMode(true);
        SetFocus(m_editName);
        return 0;
    }
    std::string name = EditText();
    if (name.empty()) return 0;
    m_bRename = 0;
    SetEditMode(false);
    WriteCalibrationKey(m_list.keys[static_cast<size_t>(row)], "Name", name);
    FillList();
    return 0;
}

// Enter while a name is typed saves it, as users expect; otherwise it ends the dialog with OK and
// the active entry is applied again.
LRESULT COptionsDlg::OnOK(WPARAM, LPARAM) {
    if (m_bNew || m_bRename) return OnButtonRename(0, 0);
    const auto active = std::find(m_list.keys.begin(), m_list.keys.end(), m_list.active);
    m_chosen = m_list.active;
    m_chosenName = active == m_list.keys.end() ? m_list.active : m_list.names[static_cast<size_t>(active - m_list.keys.begin())];
    EndDialog(IDOK);
    return 0;
}

// The caller marks the entry active once it is applied: a damaged one leaves everything as it was.
LRESULT COptionsDlg::OnButtonSetActive(WPARAM, LPARAM) {
    const int row = SelectedRow();
    if (row < 0) return 0;
    m_chosen = m_list.keys[static_cast<size_t>(row)];
    m_chosenName = m_list.names[static_cast<size_t>(row)];
    m_setActive = true;
    EndDialog(IDOK);
    return 0;
}

// Kept at once, as names are: the caller switches the output when the dialog ends, however it ends.
LRESULT COptionsDlg::OnSelchangeOutput(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != CBN_SELCHANGE) return 0;
    const LRESULT row = SendDlgItemMessageA(m_hWnd, IDC_COMBO_OUTPUT, CB_GETCURSEL, 0, 0);
    if (row >= 0 && row != g_Settings.Output) WriteOutput(static_cast<int32_t>(row));
    return 0;
}

LRESULT COptionsDlg::OnSelchangeList(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != LBN_SELCHANGE) return 0;
    const int row = SelectedRow();
    if (row < 0) return 0;
    if (m_bRename || m_bNew) SetBrowseMode();
    SetWindowTextA(m_editName, m_list.names[static_cast<size_t>(row)].c_str());
    return 0;
}
