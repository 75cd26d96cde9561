#pragma once
// The process page (tab "Altimo"): the RAW height map and its size, the pixel size, the
// optional lever bitmap and water file with their settings, and "Process", which validates
// the page and the main dialog's resolution scale and runs the process pipeline with the
// page's progress bar.
#include "gui/PropertyPage.h"

#include <QIcon>
#include <string>

class CDataExchange;
class IUserDialogs;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
struct ProcessSettings;

class CAltimoPage : public CPropertyPage
{
    Q_OBJECT

public:
    explicit CAltimoPage(IUserDialogs& dialogs, QWidget* parent = nullptr);
    ~CAltimoPage() override;

    // Shows the paths and enables the controls that the chosen files and the check box call
    // for; transfers no other field.
    void UpdateControls();
    // The settings of a run from the page's fields and the given resolution scale.
    ProcessSettings Settings(long resolutionScale) const;

    std::string m_rawPath;
    std::string m_leverPath; // empty: no levering
    std::string m_waterPath; // empty: no water stage
    QIcon m_hIcon;
    QLineEdit* m_rawPathEdit = nullptr;
    QLineEdit* m_leverPathEdit = nullptr;
    QLineEdit* m_waterPathEdit = nullptr;
    int m_rawWidth = 0;
    int m_rawHeight = 0;
    int m_blur = 0;
    float m_sharpness = 0.0f;
    int m_blurHeight = 0;
    int m_bank = 0;
    int m_hillSize = 0;
    QCheckBox* m_blurHeightCheck = nullptr;
    QLineEdit* m_bankEdit = nullptr;
    QLineEdit* m_hillSizeEdit = nullptr;
    QLineEdit* m_blurEdit = nullptr;
    QLineEdit* m_sharpnessEdit = nullptr;
    QPushButton* m_processButton = nullptr;
    QProgressBar* m_progress = nullptr;
    long m_seaLevel = 0;
    float m_pixelSize = 0.0f;

public slots:
    void OnBrowseRaw();
    void OnBrowseLever();
    void OnBrowseWater();
    void OnBlurHeight();
    void OnProcess();

private:
    void DoDataExchange(CDataExchange& dx) override;
    void OnInitDialog();
    void ChooseFile(const char* filter, std::string& path);

    QLineEdit* m_rawWidthEdit = nullptr;
    QLineEdit* m_rawHeightEdit = nullptr;
    QLineEdit* m_seaLevelEdit = nullptr;
    QLineEdit* m_pixelSizeEdit = nullptr;
};
