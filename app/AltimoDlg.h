#pragma once
// The main dialog: the property sheet with the three pages over the placeholder's rectangle,
// and below it the one setting the pages share, the water/height resolution scale.
#include "gui/MainDialog.h"

#include <QDialog>
#include <QIcon>

class CDataExchange;
class IUserDialogs;
class QLineEdit;
class QPushButton;
class QTabWidget;

class CAltimoDlg : public QDialog, public IMainDialog
{
    Q_OBJECT

public:
    // `dialogs` answers every message box and file dialog of the dialog and its pages; it
    // must outlive the dialog.
    explicit CAltimoDlg(IUserDialogs& dialogs, QWidget* parent = nullptr);
    ~CAltimoDlg() override;

    bool UpdateData(bool saveAndValidate) override;
    long ResolutionScale() const override { return m_resolutionScale; }
    QWidget* DialogWindow() override { return this; }
    IUserDialogs& userDialogs() const { return m_dialogs; }

    QTabWidget* m_pSheet = nullptr;
    long m_resolutionScale = 0; // 1..50 once validated
    QIcon m_hIcon;
    QWidget* m_placeholder = nullptr; // never shown; marks where the sheet goes

private:
    void DoDataExchange(CDataExchange& dx);
    void OnInitDialog();
    void OnClose();
    // The sheet has switched to `index`: the page being left must accept its fields first.
    void OnPageChanged(int index);

    IUserDialogs& m_dialogs;
    QLineEdit* m_resolutionScaleEdit = nullptr;
    QPushButton* m_closeButton = nullptr;
    int m_activePage = 0;
    bool m_switchingPage = false;
};
