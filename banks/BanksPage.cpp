#include "banks/BanksPage.h"

#include "gui/MainDialog.h"
#include "gui/DataExchange.h"
#include "gui/DialogLayout.h"
#include "gui/UserDialogs.h"
#include "banks/BanksPreview.h"
#include "banks/BanksSettings.h"
#include "banks/BanksJob.h"
#include "banks/ShorelineFile.h"

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <new>
#include <optional>
#include <utility>

CBanksPage::CBanksPage(IUserDialogs& dialogs, QWidget* parent) : CPropertyPage(dialogs, parent)
{
    // The controls in template order, which is the tab order.
    DialogBuilder build(this);
    m_waterPathEdit = build.edit("m_waterPath", EditStyle::ReadOnly, 73, 7, 172, 13);
    build.label(tr("Compressed water"), 7, 9, 61, 8, m_waterPathEdit);
    QPushButton* browse = build.button("browseButton", tr("Browse"), 265, 7, 46, 13);
    m_previewFrame = build.blackFrame("m_previewFrame", 7, 61, 280, 174);
    QPushButton* generate = build.button("generateButton", tr("Generate"), 261, 241, 50, 14);
    QPushButton* zoomIn = build.button("zoomInButton", tr("In"), 294, 134, 19, 14);
    QPushButton* zoomOut = build.button("zoomOutButton", tr("Out"), 294, 151, 19, 14);
    m_minRiverSizeEdit = build.edit("m_minRiverSize", EditStyle::Plain, 73, 23, 40, 14);
    build.label(tr("Min river size"), 24, 25, 42, 8, m_minRiverSizeEdit);
    m_waterPixelSizeEdit = build.edit("m_waterPixelSize", EditStyle::Plain, 197, 23, 40, 14);
    build.label(tr("Water PSize (m)"), 142, 25, 52, 8, m_waterPixelSizeEdit);
    m_saveButton = build.button("m_saveButton", tr("Save"), 183, 241, 50, 14);
    m_shoreLevelEdit = build.edit("m_shoreLevel", EditStyle::Plain, 73, 42, 40, 14);
    build.label(tr("Shore level"), 23, 44, 36, 8, m_shoreLevelEdit);
    m_tesselationEdit = build.edit("m_tesselation", EditStyle::Plain, 197, 42, 40, 14);
    build.label(tr("Tesselation"), 141, 44, 37, 8, m_tesselationEdit);
    setMinimumSize(build.units().size(318, 262));

    connect(browse, &QPushButton::clicked, this, &CBanksPage::OnBrowse);
    connect(generate, &QPushButton::clicked, this, &CBanksPage::OnGenerate);
    connect(zoomIn, &QPushButton::clicked, this, &CBanksPage::OnZoomIn);
    connect(zoomOut, &QPushButton::clicked, this, &CBanksPage::OnZoomOut);
    connect(m_saveButton, &QPushButton::clicked, this, &CBanksPage::OnSave);

    OnInitDialog();
}

CBanksPage::~CBanksPage() = default;

void CBanksPage::OnInitDialog()
{
    InitialiseData();
    // The preview sits inside the black frame, two pixels in from each side.
    m_preview = new CBanksPreview(this);
    m_preview->setObjectName(QStringLiteral("m_preview"));
    m_preview->setWindowTitle(QStringLiteral("Preview"));
    m_preview->setGeometry(m_previewFrame->geometry().adjusted(2, 2, -2, -2));
    UpdateSaveButton();
}

void CBanksPage::DoDataExchange(CDataExchange& dx)
{
    dx.text(m_waterPathEdit, m_waterPath);
    // A negative min river size would make the filter and the tracer reach outside their
    // images, and a pixel size of 0 or less gives meaningless coordinates: both are refused.
    dx.field(m_minRiverSizeEdit, m_minRiverSize, BanksField("minRiverSize"));
    dx.field(m_waterPixelSizeEdit, m_waterPixelSize, BanksField("waterPixelSize"));
    dx.field(m_shoreLevelEdit, m_shoreLevel, BanksField("shoreLevel"));
    dx.field(m_tesselationEdit, m_tesselation, BanksField("tesselation"));
}

BanksSettings CBanksPage::Settings(long resolutionScale) const
{
    BanksSettings settings;
    settings.minRiverSize = m_minRiverSize;
    settings.waterPixelSize = m_waterPixelSize;
    settings.shoreLevel = m_shoreLevel;
    settings.tesselation = m_tesselation;
    settings.resolutionScale = resolutionScale;
    return settings;
}

void CBanksPage::UpdateSaveButton()
{
    m_saveButton->setEnabled(!m_lines.empty());
}

QWidget* CBanksPage::DialogOwner()
{
    IMainDialog* mainDialog = FindMainDialog(this);
    return mainDialog ? mainDialog->DialogWindow() : this;
}

void CBanksPage::OnBrowse()
{
    FileDialogRequest request;
    request.filter = QtFileFilter("Compressed Water|*.wtr||");
    request.fileMustExist = true;
    request.pathMustExist = true;
    const std::optional<QString> chosen = m_dialogs.chooseFile(DialogOwner(), request);
    if (!chosen)
        return;
    m_waterPath = chosen->toStdString();
    // The preview keeps its lines but draws nothing until the next Generate gives it an image.
    m_preview->SetImage(nullptr);
    m_lines.clear();
    UpdateSaveButton();
    // Every field goes back to its control: unvalidated typing is replaced by the stored values.
    UpdateData(false);
    m_waterPathEdit->setCursorPosition(0);
}

void CBanksPage::OnGenerate()
{
    if (!UpdateData(true))
        return;
    IMainDialog* mainDialog = FindMainDialog(this);
    if (!mainDialog || !mainDialog->UpdateData(true))
        return;
    if (m_waterPath.empty())
        return;
    DialogMessageSink messages(m_dialogs, this);
    try
    {
        BanksJob job(m_waterPath, Settings(mainDialog->ResolutionScale()));
        job.desktop = true;
        BanksResult result;
        // A failed run has shown its message and leaves the set, the preview and "Save" as
        // they were.
        if (!RunBanksJob(job, messages, &result).ok())
            return;
        m_lines = std::move(result.lines);
        m_preview->ClearLines();
        for (const Shoreline& line : m_lines)
            m_preview->AddLine(line.data(), static_cast<short>(line.size()));
        m_preview->SetImage(&result.filtered);
        UpdateSaveButton();
    }
    catch (const std::bad_alloc&)
    {
        messages.show("Not enough memory for the shorelines of this water file", kAppName);
    }
}

void CBanksPage::OnSave()
{
    FileDialogRequest request;
    request.save = true;
    request.filter = QtFileFilter("Shoreline|*.sl||");
    request.defaultSuffix = QStringLiteral("sl");
    request.pathMustExist = true;
    const std::optional<QString> chosen = m_dialogs.chooseFile(DialogOwner(), request);
    if (!chosen)
        return;
    // A file that cannot be written is passed over without a word; the water file itself gets a
    // message box naming both.
    if (const Status saved = SaveShorelines(chosen->toStdString(), m_lines, {m_waterPath});
        saved.code == StatusCode::invalidSettings)
        DialogMessageSink(m_dialogs, this).show(saved.message, kAppName);
}

void CBanksPage::OnZoomIn()
{
    m_preview->m_zoom *= 2.0f;
    m_preview->update();
}

void CBanksPage::OnZoomOut()
{
    m_preview->m_zoom *= 0.5f;
    m_preview->update();
}
