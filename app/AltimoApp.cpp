#include "app/AltimoApp.h"

#include "app/AltimoDlg.h"
#include "gui/UserDialogs.h"

CAltimoApp::CAltimoApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // No application name is set: Qt's default, the program file's name, is the caption of
    // every message box.
    setDesktopFileName(QStringLiteral("altimo"));
    setWindowIcon(AppIcon());
}

CAltimoApp::~CAltimoApp() = default;

int CAltimoApp::InitInstance()
{
    QtUserDialogs dialogs;
    CAltimoDlg dialog(dialogs);
    dialog.exec();
    return 0;
}
