#pragma once
// The application object: runs the main dialog modally; the application ends when the dialog
// closes. The application's name, the caption of every message box, is the program file's.
#include <QApplication>

class CAltimoApp : public QApplication
{
    Q_OBJECT

public:
    CAltimoApp(int& argc, char** argv);
    ~CAltimoApp() override;

    // Shows the main dialog and returns when it has closed; its result is not used.
    int InitInstance();
};
