#pragma once
// The one seam between the pages and the modal boxes they open: message boxes and file dialogs.
// The application uses QtUserDialogs; tests answer through their own implementation, so no
// modal box ever blocks a test.
#include "base/Sinks.h"

#include <QString>
#include <memory>
#include <optional>

class QMessageBox;
class QProgressBar;
class QWidget;

enum class MessageIcon
{
    None,    // a job's own message: text, OK button, caption
    Warning, // a field refused by the data exchange
};

struct FileDialogRequest
{
    bool save = false;     // false: an open dialog
    QString filter;        // Qt form, e.g. "RAW 16 bit (*.raw)"
    QString defaultSuffix; // appended when the typed name has none ("sl"); empty: none
    bool fileMustExist = false;
    bool pathMustExist = false;
};

// The caption of the application's message boxes: the program file's name, so a renamed
// program names itself (the application object leaves Qt's default, argv[0]'s file name).
QString AppCaption();

// Turns a filter of the "Name|*.ext||" kind into Qt's "Name (*.ext)" form.
QString QtFileFilter(const char* pipeFilter);

// The width in pixels a window needs for a window manager to show `title` whole: the title in a
// bold face and room for the frame's icon and buttons.
int TitleWidth(const QString& title);

// A message box with one OK button, at least TitleWidth(caption) wide. Every box the application
// shows is made here.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                            MessageIcon icon);

class IUserDialogs
{
public:
    virtual ~IUserDialogs() = default;
    // A modal message box with one OK button.
    virtual void message(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) = 0;
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<QString> chooseFile(QWidget* owner, const FileDialogRequest& request) = 0;
};

class QtUserDialogs final : public IUserDialogs
{
public:
    void message(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) override;
    // Opens in the folder of the file last chosen in this run (nothing is kept from one start to
    // the next); the first dialog opens in the current folder.
    std::optional<QString> chooseFile(QWidget* owner, const FileDialogRequest& request) override;

private:
    QString m_lastFolder;
};

// The core's message sink, shown as message boxes owned by one window. The jobs' caption
// kAppName stands for the application's name and is shown as AppCaption().
class DialogMessageSink final : public IMessageSink
{
public:
    DialogMessageSink(IUserDialogs& dialogs, QWidget* owner) : m_dialogs(dialogs), m_owner(owner) {}
    void show(const std::string& text, const std::string& caption) override;

private:
    IUserDialogs& m_dialogs;
    QWidget* m_owner;
};

// The core's progress sink over a progress bar. A job runs inside its button handler, so each
// change is painted at once (and window-system events other than user input are let through)
// to keep the bar moving during a long run.
class ProgressBarSink final : public IProgressSink
{
public:
    explicit ProgressBarSink(QProgressBar& bar) : m_bar(bar) {}
    int pos() const override;
    void setPos(int position) override;

private:
    QProgressBar& m_bar;
};
