#include "app/AltimoDlg.h"

#include "gui/DataExchange.h"
#include "gui/DialogLayout.h"
#include "gui/UserDialogs.h"
#include "banks/BanksPage.h"
#include "cliff/CliffPage.h"
#include "heightproc/ProcessPage.h"
#include "heightproc/ProcessSettings.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>

CAltimoDlg::CAltimoDlg(IUserDialogs& dialogs, QWidget* parent)
    // A top-level application window, listed in the task bar, rather than a transient dialog.
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_hIcon(AppIcon()), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Altimo"));
    DialogBuilder build(this);
    setFixedSize(build.units().size(333, 322));

    m_placeholder = new QWidget(this);
    m_placeholder->setObjectName(QStringLiteral("m_placeholder"));
    m_placeholder->setGeometry(build.units().rect(0, 0, 331, 283));
    m_placeholder->hide();
    m_resolutionScaleEdit = build.edit("m_resolutionScale", EditStyle::Plain, 109, 301, 40, 13);
    build.label(tr("Water/Height resolution scale"), 6, 303, 96, 8, m_resolutionScaleEdit);
    m_closeButton = build.button("closeButton", tr("Close"), 278, 300, 50, 14);
    connect(m_closeButton, &QPushButton::clicked, this, &CAltimoDlg::OnClose);

    OnInitDialog();
}

CAltimoDlg::~CAltimoDlg() = default;

void CAltimoDlg::OnInitDialog()
{
    UpdateData(false);

    m_pSheet = new QTabWidget(this);
    m_pSheet->setObjectName(QStringLiteral("m_pSheet"));
    m_pSheet->addTab(new CAltimoPage(m_dialogs), tr("Altimo"));
    m_pSheet->addTab(new CBanksPage(m_dialogs), tr("Water banks"));
    m_pSheet->addTab(new CCliffPage(m_dialogs), tr("Cliff export"));
    m_pSheet->setCurrentIndex(0);
    m_pSheet->setGeometry(m_placeholder->geometry());
    connect(m_pSheet, &QTabWidget::currentChanged, this, &CAltimoDlg::OnPageChanged);
    // A page's default button becomes the dialog's once the page is inside it, so that Enter in
    // a field of that page clicks it (a button marked default before it had a dialog is not
    // known to the dialog).
    for (QPushButton* button : m_pSheet->findChildren<QPushButton*>())
    {
        if (button->isDefault())
        {
            button->setDefault(false);
            button->setDefault(true);
        }
    }

    CDataExchange initial(m_dialogs, this, false, true);
    DoDataExchange(initial);

    setWindowIcon(m_hIcon);
}

bool CAltimoDlg::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(m_dialogs, this, saveAndValidate);
    DoDataExchange(dx);
    return dx.ok();
}

void CAltimoDlg::DoDataExchange(CDataExchange& dx)
{
    dx.field(m_resolutionScaleEdit, m_resolutionScale, ProcessField("resolutionScale"));
}

void CAltimoDlg::OnPageChanged(int index)
{
    if (m_switchingPage || index == m_activePage)
        return;
    // The tab widget has no "about to change": the page being left is put back in front while
    // it validates, so a refusal shows over the page with the refused field, and the user stays.
    const QScopedValueRollback<bool> switching(m_switchingPage, true);
    m_pSheet->setCurrentIndex(m_activePage);
    auto* leaving = qobject_cast<CPropertyPage*>(m_pSheet->widget(m_activePage));
    if (leaving && !leaving->OnKillActive())
        return;
    m_activePage = index;
    m_pSheet->setCurrentIndex(index);
}

void CAltimoDlg::OnClose()
{
    done(0);
}
