#pragma once
// What a page needs of the main dialog that holds it: the shared water/height resolution scale,
// transferred and validated on request, and the window that owns the page's dialogs. The main
// dialog implements it; a page finds it through the window tree, so pages never depend on the
// dialog itself.
#include <QIcon>

class QWidget;

class IMainDialog
{
public:
    // Fields to controls (false) or controls to fields with validation (true); false when a
    // field was refused (the message has been shown and the field has the focus).
    virtual bool UpdateData(bool saveAndValidate) = 0;
    // The scale as last validated (1..50).
    virtual long ResolutionScale() const = 0;
    // The top-level window that message boxes and file dialogs belong to.
    virtual QWidget* DialogWindow() = 0;

protected:
    ~IMainDialog() = default;
};

// The main dialog that holds `page`, found through the window tree (page, sheet, dialog), or
// null for a page outside one.
IMainDialog* FindMainDialog(QWidget* page);

// The application's icon, drawn once.
QIcon AppIcon();
