#include "gui/UserDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>

QString AppCaption()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QString::fromLatin1(kAppName) : name;
}

QString QtFileFilter(const char* pipeFilter)
{
    // "Name|pattern|Name|pattern||": pairs of a description and its patterns.
    const QStringList parts = QString::fromUtf8(pipeFilter).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

void QtUserDialogs::message(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok, owner);
    box.exec();
}

std::optional<QString> QtUserDialogs::chooseFile(QWidget* owner, const FileDialogRequest& request)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // Saving replaces an existing file without asking.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir())
        dialog.setDirectory(m_lastFolder);
    for (;;)
    {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString path = QDir::toNativeSeparators(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath());
        // The save dialog lets a name in a folder that does not exist through; refuse it here.
        if (request.pathMustExist && !QFileInfo(path).absoluteDir().exists())
        {
            QMessageBox::warning(&dialog, dialog.windowTitle(),
                                 QCoreApplication::translate("UserDialogs", "The folder %1 does not exist.")
                                     .arg(QFileInfo(path).absolutePath()));
            continue;
        }
        m_lastFolder = QFileInfo(path).absolutePath();
        return path;
    }
}

void DialogMessageSink::show(const std::string& text, const std::string& caption)
{
    const QString shown = caption == kAppName ? AppCaption() : QString::fromStdString(caption);
    m_dialogs.message(m_owner, QString::fromStdString(text), shown, MessageIcon::None);
}

int ProgressBarSink::pos() const
{
    return m_bar.value();
}

void ProgressBarSink::setPos(int position)
{
    if (position == m_bar.value())
        return;
    m_bar.setValue(position);
    m_bar.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
