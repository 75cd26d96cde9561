#pragma once
// The main dialog: the property sheet with the three pages over the placeholder's rectangle,
// and below it the one setting the pages share, the water/height resolution scale.
#include <QDialog>
#include <QIcon>

class CDataExchange;
class IUserDialogs;
class QLineEdit;
class QPushButton;
class QTabWidget;

class CAltimoDlg : public QDialog
{
    Q_OBJECT

public:
    // `dialogs` answers every message box and file dialog of the dialog and its pages; it
    // must outlive the dialog.
    explicit CAltimoDlg(IUserDialogs& dialogs, QWidget* parent = nullptr);
    ~CAltimoDlg() override;

    // Fields to controls (false) or controls to fields with validation (true); false when a
    // field was refused (the message has been shown and the field has the focus).
    bool UpdateData(bool saveAndValidate);
    IUserDialogs& userDialogs() const { return m_dialogs; }

    QTabWidget* m_pSheet = nullptr;
    long m_resolutionScale = 0; // 1..50 once validated
    QIcon m_hIcon;
    QWidget* m_placeholder = nullptr; // never shown; marks where the sheet goes

private:
    void DoDataExchange(CDataExchange& dx);
    void OnInitDialog();
    void OnClose();

    IUserDialogs& m_dialogs;
    QLineEdit* m_resolutionScaleEdit = nullptr;
    QPushButton* m_closeButton = nullptr;
};

// The main dialog that holds `page`, found through the window tree (page, sheet, dialog), or
// null for a page outside one.
CAltimoDlg* FindMainDialog(QWidget* page);

// The application's icon, drawn once.
QIcon AppIcon();
