#include "gui/PropertyPage.h"

bool CPropertyPage::OnKillActive()
{
    return UpdateData(true);
}
