#pragma once
// Shared pieces of the GUI tests: a scripted stand-in for the message boxes and file dialogs,
// the main dialog with its pages, and small input files.
#include "app/AltimoDlg.h"
#include "gui/UserDialogs.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// Records every message box and answers every file dialog from a queue (an empty queue
// cancels), so no modal box ever opens.
class ScriptedDialogs final : public IUserDialogs
{
public:
    struct Shown
    {
        QString text;
        QString caption;
        MessageIcon icon;
        QWidget* owner;
    };
    struct Asked
    {
        FileDialogRequest request;
        QWidget* owner;
    };

    void message(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) override
    {
        messages.push_back({text, caption, icon, owner});
    }
    std::optional<QString> chooseFile(QWidget* owner, const FileDialogRequest& request) override
    {
        requests.push_back({request, owner});
        if (answers.empty() || !answers.front())
        {
            if (!answers.empty())
                answers.pop_front();
            return std::nullopt;
        }
        const QString answer = *answers.front();
        answers.pop_front();
        return answer;
    }
    void answer(const QString& path) { answers.push_back(path); }
    void cancel() { answers.push_back(std::nullopt); }

    std::vector<Shown> messages;
    std::vector<Asked> requests;
    std::deque<std::optional<QString>> answers;
};

// The main dialog shown and active, with typed access to its children.
struct DialogFixture
{
    ScriptedDialogs dialogs;
    CAltimoDlg dialog{dialogs};

    DialogFixture()
    {
        dialog.show();
        dialog.activateWindow();
        (void)QTest::qWaitForWindowExposed(&dialog);
    }

    // Children are looked up in `scope`: the dialog, or one page (names repeat across pages).
    QWidget* scope = &dialog;

    template <typename T = QWidget> T* find(const char* name)
    {
        T* widget = scope->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no child named %s", name);
        return widget;
    }
    QLineEdit* edit(const char* name) { return find<QLineEdit>(name); }
    QPushButton* button(const char* name) { return find<QPushButton>(name); }
    QTabWidget* sheet() { return dialog.findChild<QTabWidget*>(QStringLiteral("m_pSheet")); }
    QLineEdit* scaleEdit() { return dialog.findChild<QLineEdit*>(QStringLiteral("m_resolutionScale")); }
    void showPage(int index)
    {
        sheet()->setCurrentIndex(index);
        QApplication::processEvents();
    }
    // Replaces an edit's text as if typed after selecting all of it.
    static void type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        edit->del();
        QTest::keyClicks(edit, text);
    }
};

// A scratch folder for one test.
struct ScratchDir
{
    QTemporaryDir dir;
    // ALTIMO_KEEP_TEST_FILES=1 keeps the folders for a look after a failure.
    ScratchDir() { dir.setAutoRemove(qEnvironmentVariableIsEmpty("ALTIMO_KEEP_TEST_FILES")); }
    std::string path(const char* name) const { return dir.filePath(QLatin1String(name)).toStdString(); }
    QString qpath(const char* name) const { return dir.filePath(QLatin1String(name)); }
};

// Writes a RAW height map: a smooth slope with a bump, little-endian 16-bit.
void WriteTestRaw(const std::string& path, int width, int height);
// Writes a 24-bit lever bitmap with a painted square (red 40) in the middle.
void WriteTestLever(const std::string& path, int width, int height);
// Writes a compressed water mask with a lake and a river, cells 0..15.
void WriteTestWater(const std::string& path, int width, int height, int blockSize = 64);
using testcli::ReadBytes;
using testcli::Exists;
// Runs altimo-cli with the arguments; its exit status.
int RunCli(const QStringList& arguments);

// The caption message boxes must have: the test program's file name, as CTest gives it in
// ALTIMO_EXPECTED_CAPTION (it also runs a renamed copy).
QString ExpectedCaption();

// The locale a run of the GUI tests asks for (ALTIMO_TEST_LOCALE, e.g. "de_DE.UTF-8"), made
// the process's locale before the application object takes it from the environment. A locale
// the system lacks is looked up in ALTIMO_TEST_LOCPATH, where the test fixture generates one.
// False when the locale cannot be had: the run is then skipped.
bool UseTestLocale();
// The exit status CTest reads as "skipped".
inline constexpr int kTestSkipped = 77;

// QTEST_MAIN for widgets, in the locale the run asks for.
#define ALTIMO_GUI_TEST_MAIN(TestObject)                                                                            \
    int main(int argc, char** argv)                                                                                 \
    {                                                                                                               \
        if (!UseTestLocale())                                                                                       \
            return kTestSkipped;                                                                                    \
        QTEST_MAIN_SETUP()                                                                                          \
        TestObject test;                                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                  \
        return QTest::qExec(&test, argc, argv);                                                                     \
    }
