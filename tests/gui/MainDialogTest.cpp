// The main dialog: its start state and arrangement, the tab order of the pages, every field's
// range across the pages, the shared resolution scale that both jobs validate first, and Enter.
#include "GuiTestSupport.h"

#include "gui/DialogLayout.h"
#include "banks/BanksPage.h"
#include "banks/BanksPreview.h"
#include "banks/BanksSettings.h"
#include "cliff/CliffExport.h"
#include "cliff/CliffPage.h"
#include "heightproc/ProcessPage.h"
#include "heightproc/ProcessSettings.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
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
        QTabWidget* sheet = f.sheet();
        QCOMPARE(sheet->count(), 3);
        QCOMPARE(sheet->tabText(0), QStringLiteral("Altimo"));
        QCOMPARE(sheet->tabText(1), QStringLiteral("Water banks"));
        QCOMPARE(sheet->tabText(2), QStringLiteral("Cliff export"));
        QCOMPARE(sheet->currentIndex(), 0);
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

    // Every checked field of every page, driven by the jobs' tables: the default shown at the
    // start, both bounds accepted, a step beyond each refused with the range in the message, the
    // field focused and its text selected.
    void everyFieldKeepsItsTableRange()
    {
        struct Row
        {
            int page;
            const char* edit;
            FieldRange range;
            bool integer;
            const char* initial;
        };
        const Row rows[] = {
            {0, "m_rawWidth", ProcessField("rawWidth").range, true, "1024"},
            {0, "m_rawHeight", ProcessField("rawHeight").range, true, "1024"},
            {0, "m_blur", ProcessField("blur").range, true, "10"},
            {0, "m_sharpness", ProcessField("sharpness").range, false, "0.3"},
            {0, "m_bank", ProcessField("bank").range, true, "5"},
            {0, "m_hillSize", ProcessField("hillSize").range, true, "30"},
            {0, "m_seaLevel", ProcessField("seaLevel").range, true, "-1"},
            {0, "m_pixelSize", ProcessField("pixelSize").page, false, "50"},
            {0, "m_resolutionScale", kResolutionScaleRange, true, "5"},
            {1, "m_minRiverSize", BanksField("minRiverSize").range, true, "8"},
            {1, "m_tesselation", BanksField("tesselation").range, true, "4"},
            {2, "m_cliffAngle", CliffField("cliffAngle").range, true, "45"},
            {2, "m_cliffThreshold", CliffField("cliffThreshold").range, true, "10"},
            {2, "m_heightScale", CliffField("heightScale").page, false, "10"},
        };
        DialogFixture f;
        auto* process = qobject_cast<CAltimoPage*>(f.sheet()->widget(0));
        // A lever and a water file enable every field of the process page.
        f.dialogs.answer(QStringLiteral("/maps/lever.bmp"));
        process->OnBrowseLever();
        f.dialogs.answer(QStringLiteral("/maps/water.wtr"));
        process->OnBrowseWater();
        for (const Row& row : rows)
        {
            f.showPage(row.page);
            QWidget* page = f.sheet()->widget(row.page);
            const bool onDialog = std::strcmp(row.edit, "m_resolutionScale") == 0;
            QLineEdit* edit = (onDialog ? static_cast<QWidget*>(&f.dialog) : page)->findChild<QLineEdit*>(row.edit);
            QVERIFY2(edit, row.edit);
            QCOMPARE(edit->text(), QLatin1String(row.initial));
            const auto validate = [&] {
                return onDialog ? f.dialog.UpdateData(true)
                       : row.page == 0 ? process->UpdateData(true)
                       : row.page == 1 ? qobject_cast<CBanksPage*>(page)->UpdateData(true)
                                       : qobject_cast<CCliffPage*>(page)->UpdateData(true);
            };
            const double step = row.integer ? 1.0 : 0.005;
            const QString message = QStringLiteral("Enter %1 between %2 and %3.")
                                        .arg(row.integer ? "an integer" : "a number", QString::number(row.range.min),
                                             QString::number(row.range.max));
            for (const double value : {row.range.min - step, row.range.max + step, row.range.min, row.range.max})
            {
                // Set, not typed: the digits-only edits would drop a minus sign or a point.
                const QString text = QString::number(value);
                edit->setText(text);
                const std::size_t before = f.dialogs.messages.size();
                const bool inside = value >= row.range.min && value <= row.range.max;
                QVERIFY2(validate() == inside, qPrintable(QString::fromLatin1(row.edit) + " " + text));
                QCOMPARE(f.dialogs.messages.size(), before + (inside ? 0 : 1));
                if (inside)
                    continue;
                // Beyond 32767 a short field's text is no short at all.
                const bool beyondShort = value > 32767;
                QCOMPARE(f.dialogs.messages.back().text, beyondShort ? QStringLiteral("Enter an integer.") : message);
                QCOMPARE(f.dialogs.messages.back().caption, ExpectedCaption());
                QCOMPARE(f.dialog.focusWidget(), static_cast<QWidget*>(edit));
                QCOMPARE(edit->selectedText(), text);
            }
            edit->setText(QLatin1String(row.initial));
        }
    }

    // Text that is no number at all, and a number of the wrong kind.
    void fieldsRefuseWhatIsNotTheirKindOfNumber_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("scale five") << 0 << "m_resolutionScale" << "five" << "Enter an integer.";
        QTest::newRow("blur 2.5") << 0 << "m_blur" << "2.5" << "Enter an integer.";
        QTest::newRow("sharpness x") << 0 << "m_sharpness" << "x" << "Enter a number.";
        QTest::newRow("pixel size 0") << 1 << "m_waterPixelSize" << "0" << "Enter a number greater than 0.";
    }

    void fieldsRefuseWhatIsNotTheirKindOfNumber()
    {
        QFETCH(int, page);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        DialogFixture f;
        f.showPage(page);
        QLineEdit* edit = f.dialog.findChild<QLineEdit*>(field);
        if (page == 1)
            edit = f.sheet()->widget(1)->findChild<QLineEdit*>(field);
        DialogFixture::type(edit, text);
        const bool ok = page == 0 && field == QStringLiteral("m_resolutionScale")
                            ? f.dialog.UpdateData(true)
                        : page == 0 ? qobject_cast<CAltimoPage*>(f.sheet()->widget(0))->UpdateData(true)
                                    : qobject_cast<CBanksPage*>(f.sheet()->widget(1))->UpdateData(true);
        QVERIFY(!ok);
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, message);
    }

    // The scale is checked before either job runs, and stops it.
    void scaleOutOfRangeStopsBothJobs()
    {
        ScratchDir scratch;
        WriteTestRaw(scratch.path("map.raw"), 256, 256);
        WriteTestWater(scratch.path("water.wtr"), 640, 640);
        DialogFixture f;
        auto* process = qobject_cast<CAltimoPage*>(f.sheet()->widget(0));
        auto* banks = qobject_cast<CBanksPage*>(f.sheet()->widget(1));
        f.dialogs.answer(scratch.qpath("map.raw"));
        process->OnBrowseRaw();
        DialogFixture::type(f.edit("m_rawWidth"), QStringLiteral("256"));
        DialogFixture::type(f.edit("m_rawHeight"), QStringLiteral("256"));
        f.dialogs.answer(scratch.qpath("water.wtr"));
        banks->OnBrowse();
        QLineEdit* scaleEdit = f.edit("m_resolutionScale");
        DialogFixture::type(scaleEdit, QStringLiteral("51"));
        QSignalSpy progress(f.find<QProgressBar>("m_progress"), &QProgressBar::valueChanged);
        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
        QVERIFY(progress.isEmpty());
        QVERIFY(!Exists(scratch.path("map.dat")));
        f.showPage(1);
        QTest::mouseClick(banks->findChild<QPushButton*>(QStringLiteral("generateButton")), Qt::LeftButton);
        QVERIFY(banks->m_lines.empty());
        QCOMPARE(f.dialogs.messages.size(), std::size_t(2));
        QCOMPARE(f.dialog.focusWidget(), scaleEdit);
        QCOMPARE(f.dialog.m_resolutionScale, 5L);

        // With the scale put right both jobs run.
        DialogFixture::type(scaleEdit, QStringLiteral("5"));
        QTest::mouseClick(banks->findChild<QPushButton*>(QStringLiteral("generateButton")), Qt::LeftButton);
        QVERIFY(!banks->m_lines.empty());
        f.showPage(0);
        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
        QVERIFY(Exists(scratch.path("map.dat")));
        QCOMPARE(f.dialogs.messages.size(), std::size_t(2));
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

        // A comma is a decimal separator in a comma locale only, and the field shows a full stop
        // again.
        f.showPage(2);
        QLineEdit* heightScale = cliff->findChild<QLineEdit*>(QStringLiteral("m_heightScale"));
        DialogFixture::type(heightScale, QStringLiteral("0,5"));
        const bool comma = *separator == ',';
        QCOMPARE(cliff->UpdateData(true), comma);
        QCOMPARE(cliff->m_heightScale, comma ? 0.5f : 0.01f);
        QCOMPARE(f.dialogs.messages.size(), std::size_t(comma ? 0 : 1));
        if (!comma)
            QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Enter a number."));
        QVERIFY(cliff->UpdateData(false));
        QCOMPARE(heightScale->text(), comma ? QStringLiteral("0.5") : QStringLiteral("0.01"));
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

        // A RAW path that cannot be opened makes a run visible by its message. Every message box
        // is captioned with the program file's name (a refused field's: everyFieldKeepsItsTableRange).
        auto* process = qobject_cast<CAltimoPage*>(f.sheet()->widget(0));
        process->OnProcess(); // no RAW file chosen
        f.dialogs.answer(QStringLiteral("/nonexistent/map.raw"));
        process->OnBrowseRaw();
        pressEnterOn(process->findChild<QLineEdit*>(QStringLiteral("m_rawWidth")));
        QCOMPARE(f.dialogs.messages.size(), std::size_t(2));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Unspecified height RAW"));
        QCOMPARE(f.dialogs.messages[1].text, QStringLiteral("Can not open RAW file"));
        QCOMPARE(QFileInfo(QCoreApplication::arguments().at(0)).fileName(), ExpectedCaption());
        for (const ScriptedDialogs::Shown& shown : f.dialogs.messages)
            QCOMPARE(shown.caption, ExpectedCaption());

        f.showPage(1);
        QWidget* banks = f.sheet()->widget(1);
        pressEnterOn(banks->findChild<QPushButton*>(QStringLiteral("browseButton")));
        QCOMPARE(f.dialogs.requests.size(), std::size_t(4));
        QCOMPARE(f.dialogs.requests[3].request.filter, QStringLiteral("Compressed Water (*.wtr)"));
        // The banks page has no default button: Enter in its fields runs nothing.
        pressEnterOn(banks->findChild<QLineEdit*>(QStringLiteral("m_shoreLevel")));
        QCOMPARE(f.dialogs.requests.size(), std::size_t(4));
        QCOMPARE(f.dialogs.messages.size(), std::size_t(2));

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

    // A short text under a longer caption: the box is as wide as the title needs, or a window
    // manager shows "Can n...TR file".
    void messageBoxIsWideEnoughForItsTitle()
    {
        const QString caption = QStringLiteral("Can not open WTR file");
        const std::unique_ptr<QMessageBox> box =
            MakeMessageBox(nullptr, QStringLiteral("a.wtr"), caption, MessageIcon::None);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QFont bold = QApplication::font("QMdiSubWindowTitleBar");
        bold.setBold(true);
        QVERIFY(TitleWidth(caption) > QFontMetrics(bold).horizontalAdvance(caption));
        QVERIFY2(box->width() >= TitleWidth(caption), qPrintable(QString::number(box->width())));
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
};

ALTIMO_GUI_TEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
