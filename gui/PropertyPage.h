#pragma once
// A page of the main dialog's sheet. Leaving a page transfers and validates its fields, so what
// the user typed is kept (a later "Browse" writes back the stored values); a refused field keeps
// the user on the page with its message shown and the focus on the field.
#include <QWidget>

class CPropertyPage : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

    // Fields to controls (false) or controls to fields with validation (true); false when a
    // field was refused.
    virtual bool UpdateData(bool saveAndValidate) = 0;
    // The user is leaving the page: false keeps the page in front.
    virtual bool OnKillActive();
};
