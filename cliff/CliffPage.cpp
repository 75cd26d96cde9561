#include "cliff/CliffPage.h"

#include "gui/DataExchange.h"
#include "gui/DialogLayout.h"
#include "gui/UserDialogs.h"
#include "cliff/CliffExport.h"
#include "support/Bitmap.h"
#include "codec/DATElevationDB.h"

#include <QLineEdit>
#include <QPushButton>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

namespace
{
// Releases what InitBitmap allocated, whichever way the export ends.
struct BitmapGuard
{
    BITMAP_ bitmap;
    ~BitmapGuard() { FreeBitmap(&bitmap); }
};
} // namespace

CCliffPage::CCliffPage(IUserDialogs& dialogs, QWidget* parent) : CPropertyPage(parent), m_dialogs(dialogs)
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
    UpdateData(false);
    m_heightScale = 10.0f;
    m_cliffAngle = 45;
    m_cliffThreshold = 10;
    UpdateData(false);
    SetPathText(m_heightDatEdit, QString::fromStdString(m_heightDatPath));
}

bool CCliffPage::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(m_dialogs, this, saveAndValidate);
    DoDataExchange(dx);
    return dx.ok();
}

void CCliffPage::DoDataExchange(CDataExchange& dx)
{
    dx.number(m_cliffAngleEdit, m_cliffAngle, kCliffRanges[0]);
    dx.number(m_cliffThresholdEdit, m_cliffThreshold, kCliffRanges[1]);
    dx.number(m_heightScaleEdit, m_heightScale, kCliffRanges[2]);
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
        // An unreadable height file ends the export without a word.
        CDATElevationDB heights(false);
        if (!heights.init(m_heightDatPath.c_str()))
            return;
        std::vector<std::uint16_t> samples;
        if (!heights.readAll(samples))
        {
            heights.uninit();
            return;
        }
        const int width = static_cast<int>(heights.getWidth());
        const int height = static_cast<int>(heights.getHeight());
        BitmapGuard bitmap;
        InitBitmap(&bitmap.bitmap, width, height, 8);
        // The bitmap stores its rows bottom-up; a view that starts at the last stored row and
        // steps backwards lets row 0 of the height file be the top of the picture.
        RasterView<std::uint8_t> image(bitmap.bitmap.data + std::ptrdiff_t(height - 1) * bitmap.bitmap.bytesPerRow,
                                       width, height, -std::ptrdiff_t(bitmap.bitmap.bytesPerRow));
        NullProgress progress;
        ComputeCliffMask(ConstRasterView<std::uint16_t>(samples.data(), width, height), heights.getPixelSize(),
                         Settings(), image, progress);
        samples = {};

        FileDialogRequest request;
        request.save = true;
        request.filter = QtFileFilter("Bitmap BMP 8 bit|*.bmp||");
        request.defaultSuffix = QStringLiteral("bmp");
        request.pathMustExist = true;
        if (const std::optional<QString> target = m_dialogs.chooseFile(this, request))
            (void)SaveBitmap(&bitmap.bitmap, target->toStdString().c_str());
        heights.uninit();
    }
    catch (const std::bad_alloc&)
    {
        m_dialogs.message(this, tr("Not enough memory for a cliff mask of this size"), AppCaption(),
                          MessageIcon::None);
    }
}
