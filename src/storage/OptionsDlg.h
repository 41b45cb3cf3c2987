// The Options dialog: the named calibrations of Calibration.ini, with New, Rename and Set Active,
// and the output the pens drive (mouse, touch or pen).
// It ends with OK only through Set Active (or Enter); the caller then applies the chosen entry.
#pragma once
#include <functional>

#include "storage/CalibrationList.h"
#include "win/Dialog.h"

class COptionsDlg : public win::MappedDialog<COptionsDlg> {
public:
    // messageCaption: the caption of the message that reports a damaged list. storeCurrent writes
    // the calibrations in force into a new entry.
    using StoreCurrent = std::function<void(const std::string& entry)>;
    COptionsDlg(HWND parent, std::string messageCaption, StoreCurrent storeCurrent);
    // After OK: the entry Set Active chose (SetActivePressed), else the active one; and its name.
    const std::string& ChosenEntry() const { return m_chosen; }
    const std::string& ChosenName() const { return m_chosenName; }
    bool SetActivePressed() const { return m_setActive; }

protected:
    BOOL OnInitDialog() override;

private:
    TAVORI_DECLARE_MESSAGE_MAP(COptionsDlg)

    LRESULT OnButtonRename(WPARAM wParam, LPARAM lParam);
    LRESULT OnButtonSetActive(WPARAM wParam, LPARAM lParam);
    LRESULT OnButtonNew(WPARAM wParam, LPARAM lParam);
    LRESULT OnSelchangeList(WPARAM wParam, LPARAM lParam);
    LRESULT OnSelchangeOutput(WPARAM wParam, LPARAM lParam);
    LRESULT OnOK(WPARAM wParam, LPARAM lParam);
    LRESULT OnReportDamage(WPARAM wParam, LPARAM lParam);
    void FillList();
    void SetBrowseMode();
    void SetEditMode(bool writable);
    int SelectedRow() const;
    std::string EditText() const;
    void SaveNewEntry(const std::string& name);

    HWND m_editName = nullptr;
    HWND m_listCalib = nullptr;
    int m_bRename = 0;
    int m_bNew = 0;
    std::string m_messageCaption;
    StoreCurrent m_storeCurrent;
    std::string m_chosen, m_chosenName;
    bool m_setActive = false;
    CalibrationList m_list;  // the rows as the last FillList walked them
};
