// The main dialog: its start state and arrangement, the tab order of the pages, the shared
// resolution scale that both jobs validate first, and "Close".
#include "GuiTestSupport.h"

#include "gui/DialogLayout.h"
#include "banks/BanksPage.h"
#include "banks/BanksPreview.h"
#include "cliff/CliffPage.h"
#include "heightproc/ProcessPage.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTabBar>
#include <clocale>
#include <cstring>

namespace
{
// Names of the focusable children of `page`, in the order Tab visits them.
QStringList TabOrder(QWidget* page)
{
    QStringList names;
    QWidget* first = page->nextInFocusChain();
    for (QWidget* widget = first; widget && widget != page; widget = widget->nextInFocusChain())
    {
        if (widget->parentWidget() == page && (widget->focusPolicy() & Qt::TabFocus))
            names << widget->objectName();
    }
    return names;
}
} // namespace

class MainDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void startsWithScaleFiveAndProcessPage()
    {
        DialogFixture f;
        QCOMPARE(f.dialog.windowTitle(), QStringLiteral("Altimo"));
        QCOMPARE(f.dialog.m_resolutionScale, 5L);
        QCOMPARE(f.edit("m_resolutionScale")->text(), QStringLiteral("5"));
        QTabWidget* sheet = f.sheet();
        QCOMPARE(sheet->count(), 3);
        QCOMPARE(sheet->tabText(0), QStringLiteral("Altimo"));
        QCOMPARE(sheet->tabText(1), QStringLiteral("Water banks"));
        QCOMPARE(sheet->tabText(2), QStringLiteral("Cliff export"));
        QCOMPARE(sheet->currentIndex(), 0);
        QVERIFY(qobject_cast<CAltimoPage*>(sheet->widget(0)));
        QVERIFY(qobject_cast<CBanksPage*>(sheet->widget(1)));
        QCOMPARE(f.button("closeButton")->text(), QStringLiteral("Close"));
    }

    void sheetCoversPlaceholderAndControlsLieBelow()
    {
        DialogFixture f;
        const DialogUnits units(DialogFont());
        QCOMPARE(f.dialog.size(), units.size(333, 322));
        QWidget* placeholder = f.find("m_placeholder");
        QVERIFY(!placeholder->isVisible());
        QCOMPARE(placeholder->geometry(), units.rect(0, 0, 331, 283));
        QCOMPARE(f.sheet()->geometry(), placeholder->geometry());
        const int sheetBottom = f.sheet()->geometry().bottom();
        QCOMPARE(f.edit("m_resolutionScale")->geometry(), units.rect(109, 301, 40, 13));
        QCOMPARE(f.button("closeButton")->geometry(), units.rect(278, 300, 50, 14));
        QVERIFY(f.edit("m_resolutionScale")->geometry().top() > sheetBottom);
        QVERIFY(f.button("closeButton")->geometry().top() > sheetBottom);
        bool labelFound = false;
        for (QLabel* label : f.dialog.findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        {
            if (label->text() == QStringLiteral("Water/Height resolution scale"))
            {
                labelFound = true;
                QVERIFY(label->geometry().top() > sheetBottom);
            }
        }
        QVERIFY(labelFound);
    }

    void dialogUnitsFollowTheFontMetrics()
    {
        const DialogUnits units(DialogFont());
        // A horizontal unit is a quarter of the average letter width, a vertical one an eighth
        // of the line height; adjoining rectangles stay adjoining whatever the rounding.
        QCOMPARE(units.rect(0, 0, 4, 8).size(), QSize(units.baseX(), units.baseY()));
        const QRect left = units.rect(7, 10, 33, 8);
        const QRect right = units.rect(40, 10, 20, 8);
        QCOMPARE(left.right() + 1, right.left());
    }

    void pagesTabInTemplateOrder()
    {
        DialogFixture f;
        QCOMPARE(TabOrder(f.sheet()->widget(0)),
                 QStringList({"m_rawWidth", "m_rawHeight", "rawBrowseButton", "leverBrowseButton", "m_blur",
                              "m_sharpness", "waterBrowseButton", "m_blurHeight", "m_bank", "m_hillSize",
                              "m_processButton", "m_rawPath", "m_waterPath", "m_leverPath", "m_seaLevel",
                              "m_pixelSize"}));
        QCOMPARE(TabOrder(f.sheet()->widget(1)),
                 QStringList({"m_waterPath", "browseButton", "generateButton", "zoomInButton", "zoomOutButton",
                              "m_minRiverSize", "m_waterPixelSize", "m_saveButton", "m_shoreLevel",
                              "m_tesselation"}));
        QCOMPARE(TabOrder(f.sheet()->widget(2)),
                 QStringList({"browseButton", "m_cliffAngle", "m_cliffThreshold", "m_heightScale",
                              "saveBitmapButton", "m_heightDatPath"}));
    }

    void scaleOutOfRangeStopsBothJobs_data()
    {
        QTest::addColumn<QString>("scale");
        QTest::addColumn<int>("page");
        QTest::newRow("0, Process") << QStringLiteral("0") << 0;
        QTest::newRow("51, Process") << QStringLiteral("51") << 0;
        QTest::newRow("0, Generate") << QStringLiteral("0") << 1;
        QTest::newRow("51, Generate") << QStringLiteral("51") << 1;
        QTest::newRow("not a number, Process") << QStringLiteral("five") << 0;
    }

    void scaleOutOfRangeStopsBothJobs()
    {
        QFETCH(QString, scale);
        QFETCH(int, page);
        ScratchDir scratch;
        WriteTestRaw(scratch.path("map.raw"), 256, 256);
        WriteTestWater(scratch.path("water.wtr"), 640, 640);
        DialogFixture f;
        f.showPage(page);
        QLineEdit* scaleEdit = f.edit("m_resolutionScale");
        DialogFixture::type(scaleEdit, scale);

        if (page == 0)
        {
            auto* processPage = qobject_cast<CAltimoPage*>(f.sheet()->widget(0));
            f.dialogs.answer(scratch.qpath("map.raw"));
            processPage->OnBrowseRaw();
            DialogFixture::type(f.edit("m_rawWidth"), QStringLiteral("256"));
            DialogFixture::type(f.edit("m_rawHeight"), QStringLiteral("256"));
            QSignalSpy progress(f.find<QProgressBar>("m_progress"), &QProgressBar::valueChanged);
            QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
            QVERIFY(progress.isEmpty());
            QVERIFY(!FileExists(scratch.path("map.dat")));
        }
        else
        {
            auto* banksPage = qobject_cast<CBanksPage*>(f.sheet()->widget(1));
            f.dialogs.answer(scratch.qpath("water.wtr"));
            banksPage->OnBrowse();
            QTest::mouseClick(banksPage->findChild<QPushButton*>(QStringLiteral("generateButton")), Qt::LeftButton);
            QVERIFY(banksPage->m_lines.empty());
            QVERIFY(!banksPage->m_preview->HasImage());
        }
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        const QString expected = scale == QStringLiteral("five") ? QStringLiteral("Enter an integer.")
                                                                 : QStringLiteral("Enter an integer between 1 and 50.");
        QCOMPARE(f.dialogs.messages[0].text, expected);
        QCOMPARE(f.dialogs.messages[0].caption, ExpectedCaption());
        QCOMPARE(f.dialog.focusWidget(), scaleEdit);
        QCOMPARE(f.dialog.m_resolutionScale, 5L);

        // With the scale put right the same job runs.
        DialogFixture::type(scaleEdit, QStringLiteral("5"));
        if (page == 0)
        {
            QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
            QVERIFY(FileExists(scratch.path("map.dat")));
        }
        else
        {
            auto* banksPage = qobject_cast<CBanksPage*>(f.sheet()->widget(1));
            QTest::mouseClick(banksPage->findChild<QPushButton*>(QStringLiteral("generateButton")), Qt::LeftButton);
            QVERIFY(!banksPage->m_lines.empty());
            QVERIFY(banksPage->m_preview->HasImage());
        }
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
    }

    void acceptedScaleIsStored()
    {
        DialogFixture f;
        DialogFixture::type(f.edit("m_resolutionScale"), QStringLiteral("50"));
        QVERIFY(f.dialog.UpdateData(true));
        QCOMPARE(f.dialog.m_resolutionScale, 50L);
        DialogFixture::type(f.edit("m_resolutionScale"), QStringLiteral("1"));
        QVERIFY(f.dialog.UpdateData(true));
        QCOMPARE(f.dialog.m_resolutionScale, 1L);
        QVERIFY(f.dialogs.messages.empty());
    }

    // Decimal fields read and show a full stop whatever the locale: under a comma locale the
    // pages once refused their own defaults (a disabled "Sharpness" of 0.3 blocked "Process").
    void decimalsReadTheSameInEveryLocale()
    {
        const QByteArray wanted = qgetenv("ALTIMO_TEST_LOCALE");
        const char* separator = std::localeconv()->decimal_point;
        // The run really is in the locale it asked for, or this test would prove nothing.
        QCOMPARE(QByteArray(separator), QByteArray(wanted.startsWith("de_DE") ? "," : "."));

        DialogFixture f;
        auto* process = qobject_cast<CAltimoPage*>(f.sheet()->widget(0));
        auto* banks = qobject_cast<CBanksPage*>(f.sheet()->widget(1));
        auto* cliff = qobject_cast<CCliffPage*>(f.sheet()->widget(2));
        QCOMPARE(process->findChild<QLineEdit*>(QStringLiteral("m_sharpness"))->text(), QStringLiteral("0.3"));
        QCOMPARE(banks->findChild<QLineEdit*>(QStringLiteral("m_shoreLevel"))->text(), QStringLiteral("0.5"));
        QVERIFY(process->UpdateData(true));
        QVERIFY(banks->UpdateData(true));
        QVERIFY(cliff->UpdateData(true));
        QCOMPARE(process->m_sharpness, 0.3f);
        QCOMPARE(banks->m_shoreLevel, 0.5f);

        f.showPage(2);
        DialogFixture::type(cliff->findChild<QLineEdit*>(QStringLiteral("m_heightScale")), QStringLiteral("0.01"));
        QVERIFY(cliff->UpdateData(true));
        f.showPage(1);
        DialogFixture::type(banks->findChild<QLineEdit*>(QStringLiteral("m_waterPixelSize")), QStringLiteral("+2.5e1"));
        QVERIFY(banks->UpdateData(true));
        QCOMPARE(cliff->m_heightScale, 0.01f);
        QCOMPARE(banks->m_waterPixelSize, 25.0f);
        QVERIFY(f.dialogs.messages.empty());

        // A comma is not a decimal separator, in this locale or any other.
        QLineEdit* shoreLevel = banks->findChild<QLineEdit*>(QStringLiteral("m_shoreLevel"));
        DialogFixture::type(shoreLevel, QStringLiteral("0,25"));
        QVERIFY(!banks->UpdateData(true));
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Enter a number."));
        QCOMPARE(banks->m_shoreLevel, 0.5f);
    }

    // Enter clicks the focused button on every page and below the sheet; in a field of the
    // process page it runs "Process", the page's default button.
    void enterClicksTheFocusedButtonElseProcess()
    {
        DialogFixture f;
        const auto pressEnterOn = [&](QWidget* widget, Qt::Key key = Qt::Key_Return) {
            widget->setFocus(Qt::TabFocusReason);
            QCOMPARE(QApplication::focusWidget(), widget);
            QTest::keyClick(widget, key);
        };
        pressEnterOn(f.sheet()->widget(0)->findChild<QPushButton*>(QStringLiteral("rawBrowseButton")));
        QCOMPARE(f.dialogs.requests.size(), std::size_t(1));
        QCOMPARE(f.dialogs.requests[0].request.filter, QStringLiteral("RAW 16 bit (*.raw)"));
        pressEnterOn(f.sheet()->widget(0)->findChild<QPushButton*>(QStringLiteral("waterBrowseButton")), Qt::Key_Enter);
        QCOMPARE(f.dialogs.requests.size(), std::size_t(2));
        QCOMPARE(f.dialogs.requests[1].request.filter, QStringLiteral("Water WTR (*.wtr)"));
        QVERIFY(f.dialogs.messages.empty()); // "Process" did not run as well

        // A RAW path that cannot be opened makes a run visible by its message.
        auto* process = qobject_cast<CAltimoPage*>(f.sheet()->widget(0));
        f.dialogs.answer(QStringLiteral("/nonexistent/map.raw"));
        process->OnBrowseRaw();
        pressEnterOn(process->findChild<QLineEdit*>(QStringLiteral("m_rawWidth")));
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Can not open RAW file"));

        f.showPage(1);
        QWidget* banks = f.sheet()->widget(1);
        pressEnterOn(banks->findChild<QPushButton*>(QStringLiteral("browseButton")));
        QCOMPARE(f.dialogs.requests.size(), std::size_t(4));
        QCOMPARE(f.dialogs.requests[3].request.filter, QStringLiteral("Compressed Water (*.wtr)"));
        // The banks page has no default button: Enter in its fields runs nothing.
        pressEnterOn(banks->findChild<QLineEdit*>(QStringLiteral("m_shoreLevel")));
        QCOMPARE(f.dialogs.requests.size(), std::size_t(4));
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));

        QSignalSpy finished(&f.dialog, &QDialog::finished);
        pressEnterOn(f.button("closeButton"));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), 0);
    }

    // A page stores its fields when the user leaves it, and keeps the user when one is refused.
    void leavingAPageValidatesAndStoresItsFields()
    {
        DialogFixture f;
        auto* process = qobject_cast<CAltimoPage*>(f.sheet()->widget(0));
        auto* banks = qobject_cast<CBanksPage*>(f.sheet()->widget(1));
        QTabBar* tabs = f.sheet()->tabBar();
        const auto clickTab = [&](int index) { QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center()); };

        QLineEdit* width = process->findChild<QLineEdit*>(QStringLiteral("m_rawWidth"));
        DialogFixture::type(width, QStringLiteral("255"));
        clickTab(1);
        QCOMPARE(f.sheet()->currentIndex(), 0);
        QVERIFY(process->isVisible());
        QVERIFY(!banks->isVisible());
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Enter an integer between 256 and 20000."));
        QCOMPARE(QApplication::focusWidget(), width);
        QCOMPARE(process->m_rawWidth, 1024);

        DialogFixture::type(width, QStringLiteral("512"));
        clickTab(1);
        QCOMPARE(f.sheet()->currentIndex(), 1);
        QVERIFY(banks->isVisible());
        QCOMPARE(process->m_rawWidth, 512);

        // A value typed on the banks page survives a round trip through the tabs and a "Browse",
        // which writes the stored values back into the fields.
        QLineEdit* shoreLevel = banks->findChild<QLineEdit*>(QStringLiteral("m_shoreLevel"));
        DialogFixture::type(shoreLevel, QStringLiteral("0.75"));
        clickTab(2);
        clickTab(1);
        QCOMPARE(f.sheet()->currentIndex(), 1);
        f.dialogs.answer(QStringLiteral("/maps/water.wtr"));
        QTest::mouseClick(banks->findChild<QPushButton*>(QStringLiteral("browseButton")), Qt::LeftButton);
        QCOMPARE(shoreLevel->text(), QStringLiteral("0.75"));
        QCOMPARE(banks->m_shoreLevel, 0.75f);
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
    }

    // Every message box is captioned with the program file's name: a refused field, a job's own
    // message and a message of the core.
    void messageCaptionIsTheProgramName()
    {
        QCOMPARE(QFileInfo(QCoreApplication::arguments().at(0)).fileName(), ExpectedCaption());
        DialogFixture f;
        auto* process = qobject_cast<CAltimoPage*>(f.sheet()->widget(0));
        process->OnProcess(); // no RAW file chosen
        f.dialogs.answer(QStringLiteral("/nonexistent/map.raw"));
        process->OnBrowseRaw();
        process->OnProcess();
        DialogFixture::type(f.edit("m_resolutionScale"), QStringLiteral("0"));
        process->OnProcess();
        QCOMPARE(f.dialogs.messages.size(), std::size_t(3));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Unspecified height RAW"));
        QCOMPARE(f.dialogs.messages[1].text, QStringLiteral("Can not open RAW file"));
        QCOMPARE(f.dialogs.messages[2].text, QStringLiteral("Enter an integer between 1 and 50."));
        for (const ScriptedDialogs::Shown& shown : f.dialogs.messages)
            QCOMPARE(shown.caption, ExpectedCaption());
    }

    // A top-level window of its own; every label names its field; path fields look read-only.
    void windowLabelsAndReadOnlyFields()
    {
        DialogFixture f;
        QCOMPARE(f.dialog.windowType(), Qt::Window);
        const QList<QLabel*> labels = f.dialog.findChildren<QLabel*>();
        QCOMPARE(labels.size(), 1 + 11 + 5 + 4);
        for (QLabel* label : labels)
        {
            QVERIFY2(label->buddy(), qPrintable(label->text()));
            QCOMPARE(label->buddy()->parentWidget(), label->parentWidget());
        }
        for (QLineEdit* edit : f.dialog.findChildren<QLineEdit*>())
        {
            const QPalette& palette = edit->palette();
            QCOMPARE(palette.color(QPalette::Active, QPalette::Base) == palette.color(QPalette::Active, QPalette::Window),
                     edit->isReadOnly());
        }
    }

    void closeEndsTheDialog()
    {
        DialogFixture f;
        QSignalSpy finished(&f.dialog, &QDialog::finished);
        QTest::mouseClick(f.button("closeButton"), Qt::LeftButton);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), 0);
        QVERIFY(!f.dialog.isVisible());
    }
};

ALTIMO_GUI_TEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
