#pragma once
// The "Cliff export" page: a height file in, an 8-bit grey cliff mask bitmap out. The whole
// mask is computed before the save dialog opens.
#include "gui/PropertyPage.h"

#include <string>

class CDataExchange;
class IUserDialogs;
class QLineEdit;
struct CliffSettings;

class CCliffPage : public CPropertyPage
{
    Q_OBJECT

public:
    explicit CCliffPage(IUserDialogs& dialogs, QWidget* parent = nullptr);
    ~CCliffPage() override;

    CliffSettings Settings() const;

    std::string m_heightDatPath;
    int m_cliffAngle = 0;     // 0..90 degrees
    int m_cliffThreshold = 0; // 0..90 degrees
    QLineEdit* m_heightDatEdit = nullptr;
    float m_heightScale = 0.0f; // 0.01..100

public slots:
    void OnBrowse();
    void OnSaveBitmap();

private:
    void DoDataExchange(CDataExchange& dx) override;
    void OnInitDialog();

    QLineEdit* m_cliffAngleEdit = nullptr;
    QLineEdit* m_cliffThresholdEdit = nullptr;
    QLineEdit* m_heightScaleEdit = nullptr;
};
