#include "gui/PropertyPage.h"

#include "gui/DataExchange.h"

bool CPropertyPage::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(m_dialogs, this, saveAndValidate);
    DoDataExchange(dx);
    return dx.ok();
}

void CPropertyPage::InitialiseData()
{
    CDataExchange dx(m_dialogs, this, false, true);
    DoDataExchange(dx);
}

bool CPropertyPage::OnKillActive()
{
    return UpdateData(true);
}
