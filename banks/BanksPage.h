#pragma once
// The "Water banks" page: a compressed water file becomes shorelines ("Generate"), shown over
// the filtered water image in the preview ("In", "Out", dragging) and saved as a ".sl" file
// ("Save"). "Save" is enabled exactly when the page holds at least one shoreline.
#include "banks/Shoreline.h"

#include "gui/PropertyPage.h"

#include <string>

class CBanksPreview;
class CDataExchange;
class IUserDialogs;
class QFrame;
class QLineEdit;
class QPushButton;
struct BanksSettings;

class CBanksPage : public CPropertyPage
{
    Q_OBJECT

public:
    explicit CBanksPage(IUserDialogs& dialogs, QWidget* parent = nullptr);
    ~CBanksPage() override;

    // The settings of a run from the page's fields and the given resolution scale.
    BanksSettings Settings(long resolutionScale) const;

    ShorelineSet m_lines; // the result of the last completed Generate
    CBanksPreview* m_preview = nullptr;
    std::string m_waterPath;
    QFrame* m_previewFrame = nullptr;
    short m_minRiverSize = 0;
    float m_waterPixelSize = 0.0f;
    QPushButton* m_saveButton = nullptr;
    float m_shoreLevel = 0.0f;
    int m_tesselation = 0; // 2..8

public slots:
    void OnBrowse();
    void OnGenerate();
    void OnSave();
    void OnZoomIn();
    void OnZoomOut();

private:
    void DoDataExchange(CDataExchange& dx) override;
    void OnInitDialog();
    void UpdateSaveButton();
    // The file dialogs belong to the main dialog; a page on its own owns them itself.
    QWidget* DialogOwner();

    QLineEdit* m_waterPathEdit = nullptr;
    QLineEdit* m_minRiverSizeEdit = nullptr;
    QLineEdit* m_waterPixelSizeEdit = nullptr;
    QLineEdit* m_shoreLevelEdit = nullptr;
    QLineEdit* m_tesselationEdit = nullptr;
};
