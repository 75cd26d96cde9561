#include "app/AltimoApp.h"

#include "app/AltimoDlg.h"
#include "gui/UserDialogs.h"
#include "base/Sinks.h"

CAltimoApp::CAltimoApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromLatin1(kAppName));
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
