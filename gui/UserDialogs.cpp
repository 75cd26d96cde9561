#include "gui/UserDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QSpacerItem>

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

int TitleWidth(const QString& title)
{
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const QFontMetrics metrics(font);
    // An icon on one side and up to three buttons on the other, each about two lines square.
    return metrics.horizontalAdvance(title) + 8 * metrics.height();
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                            MessageIcon icon)
{
    auto box = std::make_unique<QMessageBox>(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                                             caption, text, QMessageBox::Ok, owner);
    // The box fixes its own size from its layout when shown and allows its title only a few
    // pixels beyond the text, so a short text under a longer caption had its title cut by the
    // window manager: a spacer across the bottom of the layout sets the width the title needs.
    QLayout* layout = box->layout();
    const QMargins margins = layout->contentsMargins();
    auto* spacer = new QSpacerItem(TitleWidth(caption) - margins.left() - margins.right(), 0, QSizePolicy::Fixed,
                                   QSizePolicy::Minimum);
    if (auto* grid = qobject_cast<QGridLayout*>(layout))
        grid->addItem(spacer, grid->rowCount(), 0, 1, grid->columnCount());
    else
        layout->addItem(spacer);
    return box;
}

void QtUserDialogs::message(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon)
{
    MakeMessageBox(owner, text, caption, icon)->exec();
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
            MakeMessageBox(&dialog,
                           QCoreApplication::translate("UserDialogs", "The folder %1 does not exist.")
                               .arg(QFileInfo(path).absolutePath()),
                           dialog.windowTitle(), MessageIcon::Warning)
                ->exec();
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
