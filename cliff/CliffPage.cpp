#include "cliff/CliffPage.h"

#include "gui/DataExchange.h"
#include "gui/DialogLayout.h"
#include "gui/UserDialogs.h"
#include "cliff/CliffJob.h"

#include <QLineEdit>
#include <QPushButton>
#include <new>
#include <optional>

CCliffPage::CCliffPage(IUserDialogs& dialogs, QWidget* parent) : CPropertyPage(dialogs, parent)
{
    // The controls in template order, which is the tab order.
    DialogBuilder build(this);
    QPushButton* browse = build.button("browseButton", tr("Browse"), 263, 7, 50, 14);
    m_cliffAngleEdit = build.edit("m_cliffAngle", EditStyle::Plain, 61, 26, 40, 14);
    m_cliffThresholdEdit = build.edit("m_cliffThreshold", EditStyle::Plain, 61, 44, 40, 14);
    m_heightScaleEdit = build.edit("m_heightScale", EditStyle::Plain, 165, 26, 40, 14);
    QPushButton* save = build.button("saveBitmapButton", tr("Save bitmap"), 7, 66, 50, 14);
    m_heightDatEdit = build.edit("m_heightDatPath", EditStyle::ReadOnlyRightAligned, 53, 7, 208, 14);
    build.label(tr("Height DAT"), 7, 10, 37, 8, m_heightDatEdit);
    build.label(tr("Cliff angle"), 7, 28, 33, 8, m_cliffAngleEdit);
    build.label(tr("Cliff threshold"), 7, 47, 46, 8, m_cliffThresholdEdit);
    build.label(tr("Height scale"), 120, 28, 40, 8, m_heightScaleEdit);
    setMinimumSize(build.units().size(320, 125));

    connect(browse, &QPushButton::clicked, this, &CCliffPage::OnBrowse);
    connect(save, &QPushButton::clicked, this, &CCliffPage::OnSaveBitmap);

    OnInitDialog();
}

CCliffPage::~CCliffPage() = default;

void CCliffPage::OnInitDialog()
{
    InitialiseData();
    SetPathText(m_heightDatEdit, QString::fromStdString(m_heightDatPath));
}

void CCliffPage::DoDataExchange(CDataExchange& dx)
{
    dx.field(m_cliffAngleEdit, m_cliffAngle, CliffField("cliffAngle"));
    dx.field(m_cliffThresholdEdit, m_cliffThreshold, CliffField("cliffThreshold"));
    dx.field(m_heightScaleEdit, m_heightScale, CliffField("heightScale"));
}

CliffSettings CCliffPage::Settings() const
{
    CliffSettings settings;
    settings.cliffAngle = m_cliffAngle;
    settings.cliffThreshold = m_cliffThreshold;
    settings.heightScale = m_heightScale;
    return settings;
}

void CCliffPage::OnBrowse()
{
    FileDialogRequest request;
    request.filter = QtFileFilter("Height DAT 16 bit|*.dat||");
    request.fileMustExist = true;
    request.pathMustExist = true;
    const std::optional<QString> chosen = m_dialogs.chooseFile(this, request);
    m_heightDatPath = chosen ? chosen->toStdString() : std::string();
    SetPathText(m_heightDatEdit, QString::fromStdString(m_heightDatPath));
}

void CCliffPage::OnSaveBitmap()
{
    if (!UpdateData(true) || m_heightDatPath.empty())
        return;
    try
    {
        // The save dialog comes once the height file has been read; an unreadable height file,
        // a cancelled dialog or a failed write end the export without a word, the height file
        // itself chosen with a message box naming both.
        NullProgress progress;
        DialogMessageSink messages(m_dialogs, this);
        CliffJob job(m_heightDatPath, Settings());
        job.desktop = true;
        job.choose = [this]() -> std::optional<std::string>
        {
            FileDialogRequest request;
            request.save = true;
            request.filter = QtFileFilter("Bitmap BMP 8 bit|*.bmp||");
            request.defaultSuffix = QStringLiteral("bmp");
            request.pathMustExist = true;
            if (const std::optional<QString> target = m_dialogs.chooseFile(this, request))
                return target->toStdString();
            return std::nullopt;
        };
        (void)RunCliffJob(job, progress, messages);
        return;
    }
    catch (const std::bad_alloc&)
    {
    }
    m_dialogs.message(this, tr("Not enough memory for a cliff mask of this size"), AppCaption(), MessageIcon::None);
}
