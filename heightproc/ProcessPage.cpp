#include "heightproc/ProcessPage.h"

#include "gui/MainDialog.h"
#include "gui/DataExchange.h"
#include "gui/DialogLayout.h"
#include "gui/UserDialogs.h"
#include "heightproc/ProcessJob.h"
#include "heightproc/ProcessSettings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <new>
#include <optional>
#include <string_view>

CAltimoPage::CAltimoPage(IUserDialogs& dialogs, QWidget* parent)
    : CPropertyPage(dialogs, parent), m_hIcon(AppIcon())
{
    // The controls in template order, which is the tab order.
    DialogBuilder build(this);
    m_rawWidthEdit = build.edit("m_rawWidth", EditStyle::DigitsOnly, 53, 7, 40, 14);
    m_rawHeightEdit = build.edit("m_rawHeight", EditStyle::DigitsOnly, 156, 7, 40, 14);
    QPushButton* rawBrowse = build.button("rawBrowseButton", tr("Browse"), 263, 25, 50, 14);
    QPushButton* leverBrowse = build.button("leverBrowseButton", tr("Browse"), 257, 74, 50, 14);
    m_blurEdit = build.edit("m_blur", EditStyle::Plain, 61, 92, 40, 14);
    m_sharpnessEdit = build.edit("m_sharpness", EditStyle::Plain, 157, 92, 40, 14);
    QPushButton* waterBrowse = build.button("waterBrowseButton", tr("Browse"), 256, 130, 50, 14);
    m_blurHeightCheck = build.checkBox("m_blurHeight", tr("Blur height"), 61, 152, 50, 10);
    m_bankEdit = build.edit("m_bank", EditStyle::Plain, 61, 167, 40, 14);
    m_hillSizeEdit = build.edit("m_hillSize", EditStyle::Plain, 157, 167, 40, 14);
    m_processButton = build.button("m_processButton", tr("Process"), 7, 211, 50, 16);
    m_processButton->setDefault(true);
    m_rawPathEdit = build.edit("m_rawPath", EditStyle::ReadOnlyRightAligned, 53, 25, 208, 14);
    build.label(tr("Height RAW"), 7, 28, 40, 8, m_rawPathEdit);
    build.label(tr("RAW width"), 7, 10, 36, 8, m_rawWidthEdit);
    build.label(tr("RAW height"), 111, 10, 39, 8, m_rawHeightEdit);
    build.groupBox(tr("Water process"), 7, 118, 306, 69);
    m_waterPathEdit = build.edit("m_waterPath", EditStyle::ReadOnlyRightAligned, 61, 130, 193, 14);
    build.label(tr("Water data"), 15, 133, 38, 8, m_waterPathEdit);
    build.groupBox(tr("Levering process"), 7, 61, 306, 52);
    m_leverPathEdit = build.edit("m_leverPath", EditStyle::ReadOnlyRightAligned, 61, 74, 193, 14);
    build.label(tr("Lever BMP"), 15, 77, 34, 8, m_leverPathEdit);
    build.label(tr("Blur"), 42, 95, 13, 8, m_blurEdit);
    build.label(tr("Sharpness"), 121, 95, 34, 8, m_sharpnessEdit);
    build.label(tr("Bank"), 42, 170, 16, 8, m_bankEdit);
    build.label(tr("Hill size"), 131, 170, 24, 8, m_hillSizeEdit);
    m_progress = build.progressBar("m_progress", 7, 194, 306, 10);
    m_seaLevelEdit = build.edit("m_seaLevel", EditStyle::DigitsOnly, 265, 167, 40, 14);
    build.label(tr("Sea level"), 227, 170, 30, 8, m_seaLevelEdit);
    m_pixelSizeEdit = build.edit("m_pixelSize", EditStyle::DigitsOnly, 53, 44, 40, 14);
    build.label(tr("Pixel size"), 7, 47, 30, 8, m_pixelSizeEdit);
    setMinimumSize(build.units().size(320, 234));

    connect(rawBrowse, &QPushButton::clicked, this, &CAltimoPage::OnBrowseRaw);
    connect(leverBrowse, &QPushButton::clicked, this, &CAltimoPage::OnBrowseLever);
    connect(waterBrowse, &QPushButton::clicked, this, &CAltimoPage::OnBrowseWater);
    connect(m_blurHeightCheck, &QCheckBox::clicked, this, &CAltimoPage::OnBlurHeight);
    connect(m_processButton, &QPushButton::clicked, this, &CAltimoPage::OnProcess);

    OnInitDialog();
}

CAltimoPage::~CAltimoPage() = default;

void CAltimoPage::OnInitDialog()
{
    setWindowIcon(m_hIcon);
    m_progress->setRange(0, 200);
    m_progress->setValue(0);
    InitialiseData();
    UpdateControls();
}

void CAltimoPage::DoDataExchange(CDataExchange& dx)
{
    // The order of the checks is the order in which a refusal is reported.
    dx.field(m_rawWidthEdit, m_rawWidth, ProcessField("rawWidth"));
    dx.field(m_rawHeightEdit, m_rawHeight, ProcessField("rawHeight"));
    dx.field(m_blurEdit, m_blur, ProcessField("blur"));
    dx.field(m_sharpnessEdit, m_sharpness, ProcessField("sharpness"));
    dx.check(m_blurHeightCheck, m_blurHeight, ProcessSettings{}.blurHeight);
    dx.field(m_bankEdit, m_bank, ProcessField("bank"));
    dx.field(m_hillSizeEdit, m_hillSize, ProcessField("hillSize"));
    dx.field(m_seaLevelEdit, m_seaLevel, ProcessField("seaLevel"));
    dx.field(m_pixelSizeEdit, m_pixelSize, ProcessField("pixelSize"));
}

void CAltimoPage::UpdateControls()
{
    SetPathText(m_rawPathEdit, QString::fromStdString(m_rawPath));
    SetPathText(m_waterPathEdit, QString::fromStdString(m_waterPath));
    SetPathText(m_leverPathEdit, QString::fromStdString(m_leverPath));

    const bool lever = !m_leverPath.empty();
    m_blurEdit->setEnabled(lever);
    m_sharpnessEdit->setEnabled(lever);

    const bool water = !m_waterPath.empty();
    m_blurHeightCheck->setEnabled(water);
    // The box's own state counts here, not m_blurHeight, which only follows it on a transfer.
    const bool banks = water && m_blurHeightCheck->isChecked();
    m_bankEdit->setEnabled(banks);
    m_hillSizeEdit->setEnabled(banks);

    m_processButton->setEnabled(!m_rawPath.empty());
}

ProcessSettings CAltimoPage::Settings(long resolutionScale) const
{
    ProcessSettings settings;
    settings.leverPath = m_leverPath;
    settings.waterPath = m_waterPath;
    settings.rawWidth = m_rawWidth;
    settings.rawHeight = m_rawHeight;
    settings.blur = m_blur;
    settings.sharpness = m_sharpness;
    settings.blurHeight = m_blurHeight;
    settings.bank = m_bank;
    settings.hillSize = m_hillSize;
    settings.seaLevel = m_seaLevel;
    settings.pixelSize = m_pixelSize;
    settings.resolutionScale = resolutionScale;
    return settings;
}

void CAltimoPage::ChooseFile(const char* filter, std::string& path)
{
    FileDialogRequest request;
    request.filter = QtFileFilter(filter);
    request.fileMustExist = true;
    request.pathMustExist = true;
    const std::optional<QString> chosen = m_dialogs.chooseFile(this, request);
    // A cancelled dialog clears the path: that is how a lever or water file is deselected.
    path = chosen ? chosen->toStdString() : std::string();
    UpdateControls();
}

void CAltimoPage::OnBrowseRaw()
{
    ChooseFile("RAW 16 bit|*.raw||", m_rawPath);
}

void CAltimoPage::OnBrowseLever()
{
    ChooseFile("Lever BMP|*.bmp||", m_leverPath);
}

void CAltimoPage::OnBrowseWater()
{
    ChooseFile("Water WTR|*.wtr||", m_waterPath);
}

void CAltimoPage::OnBlurHeight()
{
    UpdateControls();
}

void CAltimoPage::OnProcess()
{
    if (!UpdateData(true))
        return;
    IMainDialog* mainDialog = FindMainDialog(this);
    if (!mainDialog || !mainDialog->UpdateData(true))
        return;
    DialogMessageSink messages(m_dialogs, this);
    if (m_rawPath.empty())
    {
        messages.show("Unspecified height RAW", kAppName);
        return;
    }
    ProgressBarSink progress(*m_progress);
    try
    {
        ProcessJob job(m_rawPath, Settings(mainDialog->ResolutionScale()));
        job.desktop = true;
        (void)RunProcessJob(job, progress, messages);
    }
    catch (const std::bad_alloc&)
    {
        progress.setPos(0);
        messages.show("Not enough memory for a height map of this size", kAppName);
    }
}
