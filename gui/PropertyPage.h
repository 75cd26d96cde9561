#pragma once
// A page of the main dialog's sheet. Leaving a page transfers and validates its fields, so what
// the user typed is kept (a later "Browse" writes back the stored values); a refused field keeps
// the user on the page with its message shown and the focus on the field. A page's fields are
// zero until the page initialises them from their jobs' tables.
#include <QWidget>

class CDataExchange;
class IUserDialogs;

class CPropertyPage : public QWidget
{
    Q_OBJECT

public:
    explicit CPropertyPage(IUserDialogs& dialogs, QWidget* parent = nullptr) : QWidget(parent), m_dialogs(dialogs) {}

    // Fields to controls (false) or controls to fields with validation (true); false when a
    // field was refused.
    bool UpdateData(bool saveAndValidate);
    // The user is leaving the page: false keeps the page in front.
    virtual bool OnKillActive();

protected:
    // Every field of the page in the order its refusals are reported.
    virtual void DoDataExchange(CDataExchange& dx) = 0;
    // Gives every field its initial value and shows it.
    void InitialiseData();

    IUserDialogs& m_dialogs;
};
