// The process page: enable/disable rules, file dialogs, the order of refusals, and real runs
// compared with the command line's output (the ranges are checked across pages in MainDialogTest).
#include "GuiTestSupport.h"

#include "heightproc/ProcessPage.h"

#include <QCheckBox>
#include <QDir>
#include <QProgressBar>
#include <QSignalSpy>

namespace
{
struct ProcessFixture : DialogFixture
{
    CAltimoPage* page = qobject_cast<CAltimoPage*>(sheet()->widget(0));

    ProcessFixture() { scope = page; }

    void choose(void (CAltimoPage::*browse)(), const QString& path)
    {
        dialogs.answer(path);
        (page->*browse)();
    }
    void chooseNothing(void (CAltimoPage::*browse)())
    {
        dialogs.cancel();
        (page->*browse)();
    }
};
} // namespace

class ProcessPageTest : public QObject
{
    Q_OBJECT

private slots:
    // Nothing chosen: only the RAW size, pixel size and sea level can be edited.
    void startState()
    {
        ProcessFixture f;
        for (const char* name : {"m_rawWidth", "m_rawHeight", "m_seaLevel", "m_pixelSize"})
            QVERIFY(f.edit(name)->isEnabled());
        for (const char* name : {"m_blur", "m_sharpness", "m_bank", "m_hillSize", "m_blurHeight", "m_processButton"})
            QVERIFY(!f.find(name)->isEnabled());
        for (const char* path : {"m_rawPath", "m_leverPath", "m_waterPath"})
            QVERIFY(f.edit(path)->isReadOnly());
        QCOMPARE(f.find<QProgressBar>("m_progress")->maximum(), 200);
        QVERIFY(f.button("m_processButton")->isDefault());
    }

    void leverAndRawFilesEnableTheirFields()
    {
        ProcessFixture f;
        f.choose(&CAltimoPage::OnBrowseRaw, QStringLiteral("/maps/terrain.raw"));
        QVERIFY(f.button("m_processButton")->isEnabled());
        f.chooseNothing(&CAltimoPage::OnBrowseRaw);
        QVERIFY(!f.button("m_processButton")->isEnabled());
        f.choose(&CAltimoPage::OnBrowseLever, QStringLiteral("/maps/lever.bmp"));
        QCOMPARE(f.page->m_leverPath, std::string("/maps/lever.bmp"));
        QCOMPARE(f.edit("m_leverPath")->text(), QStringLiteral("/maps/lever.bmp"));
        QVERIFY(f.edit("m_blur")->isEnabled());
        QVERIFY(f.edit("m_sharpness")->isEnabled());
        // Cancelling the dialog deselects the file.
        f.chooseNothing(&CAltimoPage::OnBrowseLever);
        QVERIFY(f.page->m_leverPath.empty());
        QVERIFY(f.edit("m_leverPath")->text().isEmpty());
        QVERIFY(!f.edit("m_blur")->isEnabled());
        QVERIFY(!f.edit("m_sharpness")->isEnabled());
    }

    void waterFileAndCheckBoxEnableBankAndHillSize()
    {
        ProcessFixture f;
        auto* check = f.find<QCheckBox>("m_blurHeight");
        f.choose(&CAltimoPage::OnBrowseWater, QStringLiteral("/maps/water.wtr"));
        QVERIFY(check->isEnabled());
        QVERIFY(f.edit("m_bank")->isEnabled());
        QVERIFY(f.edit("m_hillSize")->isEnabled());
        // Unchecking disables them at once, before any transfer of the fields.
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
        QVERIFY(!check->isChecked());
        QCOMPARE(f.page->m_blurHeight, 1);
        QVERIFY(!f.edit("m_bank")->isEnabled());
        QVERIFY(!f.edit("m_hillSize")->isEnabled());
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
        QVERIFY(f.edit("m_bank")->isEnabled());
        // Without a water file everything of the water stage is off, whatever the check state.
        f.chooseNothing(&CAltimoPage::OnBrowseWater);
        QVERIFY(check->isChecked());
        QVERIFY(!check->isEnabled());
        QVERIFY(!f.edit("m_bank")->isEnabled());
        QVERIFY(!f.edit("m_hillSize")->isEnabled());
    }

    void browseButtonsAskForTheirFileKinds()
    {
        ProcessFixture f;
        QTest::mouseClick(f.button("rawBrowseButton"), Qt::LeftButton);
        QTest::mouseClick(f.button("leverBrowseButton"), Qt::LeftButton);
        QTest::mouseClick(f.button("waterBrowseButton"), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.size(), std::size_t(3));
        const QStringList filters = {"RAW 16 bit (*.raw)", "Lever BMP (*.bmp)", "Water WTR (*.wtr)"};
        for (std::size_t i = 0; i < 3; ++i)
        {
            const FileDialogRequest& request = f.dialogs.requests[i].request;
            QCOMPARE(request.filter, filters[int(i)]);
            QVERIFY(!request.save);
            QVERIFY(request.fileMustExist);
            QVERIFY(request.pathMustExist);
            QVERIFY(request.defaultSuffix.isEmpty());
            QCOMPARE(f.dialogs.requests[i].owner, static_cast<QWidget*>(f.page));
        }
    }

    void digitsOnlyEditsRefuseOtherKeys()
    {
        ProcessFixture f;
        for (const char* name : {"m_rawWidth", "m_rawHeight", "m_seaLevel", "m_pixelSize"})
        {
            QLineEdit* edit = f.edit(name);
            edit->clear();
            QTest::keyClicks(edit, QStringLiteral("-1.5a2"));
            QCOMPARE(edit->text(), QStringLiteral("152"));
        }
        // The others take any text; the data exchange judges it.
        f.choose(&CAltimoPage::OnBrowseLever, QStringLiteral("/maps/lever.bmp"));
        QLineEdit* sharpness = f.edit("m_sharpness");
        sharpness->clear();
        QTest::keyClicks(sharpness, QStringLiteral("-1.5a"));
        QCOMPARE(sharpness->text(), QStringLiteral("-1.5a"));
    }

    void firstRefusalInOrderIsReported()
    {
        ProcessFixture f;
        f.choose(&CAltimoPage::OnBrowseRaw, QStringLiteral("/maps/terrain.raw"));
        f.edit("m_pixelSize")->setText(QStringLiteral("0"));
        f.edit("m_hillSize")->setText(QStringLiteral("2"));
        f.edit("m_rawHeight")->setText(QStringLiteral("300"));
        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Enter an integer between 3 and 100."));
        // Fields before the refused one were taken; the refused one kept its value.
        QCOMPARE(f.page->m_rawHeight, 300);
        QCOMPARE(f.page->m_hillSize, 30);
    }

    void disabledFieldWithBadValueStillBlocks()
    {
        ScratchDir scratch;
        WriteTestRaw(scratch.path("map.raw"), 256, 256);
        ProcessFixture f;
        f.choose(&CAltimoPage::OnBrowseRaw, scratch.qpath("map.raw"));
        DialogFixture::type(f.edit("m_rawWidth"), QStringLiteral("256"));
        DialogFixture::type(f.edit("m_rawHeight"), QStringLiteral("256"));
        QVERIFY(!f.edit("m_blur")->isEnabled());
        f.edit("m_blur")->setText(QStringLiteral("0"));
        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Enter an integer between 1 and 20."));
        QVERIFY(!Exists(scratch.path("map.dat")));
    }

    // A RAW named like its height file: the RAW's own checks come first, then one box naming
    // the files, and nothing is written, not even the water file that comes before the height file.
    void heightFileOntoTheRawWritesNothing()
    {
        ScratchDir scratch;
        WriteTestRaw(scratch.path("same.dat"), 256, 256);
        WriteTestWater(scratch.path("water.wtr"), 1280, 1280);
        const std::vector<std::uint8_t> raw = ReadBytes(scratch.path("same.dat"));
        ProcessFixture f;
        f.choose(&CAltimoPage::OnBrowseRaw, scratch.qpath("same.dat"));
        f.choose(&CAltimoPage::OnBrowseWater, scratch.qpath("water.wtr"));
        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton); // still 1024 x 1024
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text,
                 QStringLiteral("Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW"));

        DialogFixture::type(f.edit("m_rawWidth"), QStringLiteral("256"));
        DialogFixture::type(f.edit("m_rawHeight"), QStringLiteral("256"));
        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), std::size_t(2));
        const QString same = scratch.qpath("same.dat");
        QVERIFY2(f.dialogs.messages[1].text.startsWith(same + ": is the same file as the input " + same),
                 qPrintable(f.dialogs.messages[1].text));
        QCOMPARE(f.dialogs.messages[1].caption, ExpectedCaption());
        QCOMPARE(QDir(scratch.dir.path()).entryList(QDir::Files), QStringList({"same.dat", "water.wtr"}));
        QVERIFY(ReadBytes(scratch.path("same.dat")) == raw);
        QCOMPARE(f.find<QProgressBar>("m_progress")->value(), 0);
    }

    // At a scale other than the default, so that a page that ignored it would differ.
    void runWithLeverAndWaterMatchesCommandLine()
    {
        const QString scale = QStringLiteral("10");
        ScratchDir gui;
        ScratchDir cli;
        for (const ScratchDir* dir : {&gui, &cli})
        {
            WriteTestRaw(dir->path("map.raw"), 257, 257);
            WriteTestLever(dir->path("lever.bmp"), 257, 257);
            WriteTestWater(dir->path("water.wtr"), 1280, 1280);
        }
        ProcessFixture f;
        f.choose(&CAltimoPage::OnBrowseRaw, gui.qpath("map.raw"));
        f.choose(&CAltimoPage::OnBrowseLever, gui.qpath("lever.bmp"));
        f.choose(&CAltimoPage::OnBrowseWater, gui.qpath("water.wtr"));
        DialogFixture::type(f.edit("m_rawWidth"), QStringLiteral("257"));
        DialogFixture::type(f.edit("m_rawHeight"), QStringLiteral("257"));
        DialogFixture::type(f.edit("m_sharpness"), QStringLiteral("0.5"));
        DialogFixture::type(f.edit("m_bank"), QStringLiteral("3"));
        DialogFixture::type(f.edit("m_pixelSize"), QStringLiteral("25"));
        DialogFixture::type(f.scaleEdit(), scale);
        auto* progress = f.find<QProgressBar>("m_progress");
        QSignalSpy positions(progress, &QProgressBar::valueChanged);

        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);

        QVERIFY2(f.dialogs.messages.empty(),
                 qPrintable(f.dialogs.messages.empty() ? QString() : f.dialogs.messages[0].text));
        QVERIFY(Exists(gui.path("map.dat")));
        QVERIFY(Exists(gui.path("map_w.dat")));

        // The bar climbs through the lever and water stages, passes 100 and 200 in order, and
        // is empty again at the end.
        std::vector<int> seen;
        for (const QList<QVariant>& signal : positions)
            seen.push_back(signal[0].toInt());
        QVERIFY(seen.size() >= 3);
        QCOMPARE(seen.back(), 0);
        const auto at100 = std::find(seen.begin(), seen.end(), 100);
        const auto at200 = std::find(seen.begin(), seen.end(), 200);
        QVERIFY(at100 != seen.end() && at200 != seen.end() && at100 < at200);
        QVERIFY(std::is_sorted(seen.begin(), seen.end() - 1));
        QVERIFY(seen.front() < 100); // the levering moved it before the pipeline set 100

        QCOMPARE(RunCli({"process", QString::fromStdString(cli.path("map.raw")), "--width", "257", "--height", "257",
                         "--pixel-size", "25", "--lever", QString::fromStdString(cli.path("lever.bmp")),
                         "--sharpness", "0.5", "--blur-height", "--water", QString::fromStdString(cli.path("water.wtr")), "--scale",
                         scale, "--bank", "3"}),
                 0);
        QVERIFY(ReadBytes(gui.path("map.dat")) == ReadBytes(cli.path("map.dat")));
        QVERIFY(ReadBytes(gui.path("map_w.dat")) == ReadBytes(cli.path("map_w.dat")));
    }

};

ALTIMO_GUI_TEST_MAIN(ProcessPageTest)
#include "ProcessPageTest.moc"
