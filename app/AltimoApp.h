#pragma once
// The application object: sets the application's name, which is the caption of every message
// box, and runs the main dialog modally; the application ends when the dialog closes.
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
