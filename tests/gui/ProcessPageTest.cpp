// The process page: start state, enable/disable rules, file dialogs, range refusals in their
// order, and real runs compared with the command line's output.
#include "GuiTestSupport.h"

#include "heightproc/ProcessPage.h"

#include <QCheckBox>
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
    void startState()
    {
        ProcessFixture f;
        QCOMPARE(f.edit("m_rawWidth")->text(), QStringLiteral("1024"));
        QCOMPARE(f.edit("m_rawHeight")->text(), QStringLiteral("1024"));
        QCOMPARE(f.edit("m_blur")->text(), QStringLiteral("10"));
        QCOMPARE(f.edit("m_sharpness")->text(), QStringLiteral("0.3"));
        QVERIFY(f.find<QCheckBox>("m_blurHeight")->isChecked());
        QCOMPARE(f.edit("m_bank")->text(), QStringLiteral("5"));
        QCOMPARE(f.edit("m_hillSize")->text(), QStringLiteral("30"));
        QCOMPARE(f.edit("m_seaLevel")->text(), QStringLiteral("-1"));
        QCOMPARE(f.edit("m_pixelSize")->text(), QStringLiteral("50"));
        for (const char* path : {"m_rawPath", "m_leverPath", "m_waterPath"})
        {
            QVERIFY(f.edit(path)->text().isEmpty());
            QVERIFY(f.edit(path)->isReadOnly());
        }
        auto* progress = f.find<QProgressBar>("m_progress");
        QCOMPARE(progress->minimum(), 0);
        QCOMPARE(progress->maximum(), 200);
        QCOMPARE(progress->value(), 0);

        // Nothing chosen: only the RAW size, pixel size and sea level can be edited.
        QVERIFY(f.edit("m_rawWidth")->isEnabled());
        QVERIFY(f.edit("m_seaLevel")->isEnabled());
        QVERIFY(f.edit("m_pixelSize")->isEnabled());
        QVERIFY(!f.edit("m_blur")->isEnabled());
        QVERIFY(!f.edit("m_sharpness")->isEnabled());
        QVERIFY(!f.find<QCheckBox>("m_blurHeight")->isEnabled());
        QVERIFY(!f.edit("m_bank")->isEnabled());
        QVERIFY(!f.edit("m_hillSize")->isEnabled());
        QVERIFY(!f.button("m_processButton")->isEnabled());
        QVERIFY(f.button("m_processButton")->isDefault());
    }

    void leverFileEnablesBlurAndSharpness()
    {
        ProcessFixture f;
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

    void rawFileEnablesProcess()
    {
        ProcessFixture f;
        f.choose(&CAltimoPage::OnBrowseRaw, QStringLiteral("/maps/terrain.raw"));
        QVERIFY(f.button("m_processButton")->isEnabled());
        f.chooseNothing(&CAltimoPage::OnBrowseRaw);
        QVERIFY(!f.button("m_processButton")->isEnabled());
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

    void refusedFieldStopsTheRun_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const QString width = QStringLiteral("Enter an integer between 256 and 20000.");
        QTest::newRow("width 255") << "m_rawWidth" << "255" << width;
        QTest::newRow("width 20001") << "m_rawWidth" << "20001" << width;
        QTest::newRow("height 255") << "m_rawHeight" << "255" << width;
        QTest::newRow("height 20001") << "m_rawHeight" << "20001" << width;
        QTest::newRow("height empty") << "m_rawHeight" << "" << "Enter an integer.";
        QTest::newRow("blur 0") << "m_blur" << "0" << "Enter an integer between 1 and 20.";
        QTest::newRow("blur 21") << "m_blur" << "21" << "Enter an integer between 1 and 20.";
        QTest::newRow("blur 2.5") << "m_blur" << "2.5" << "Enter an integer.";
        QTest::newRow("sharpness 1.5") << "m_sharpness" << "1.5" << "Enter a number between 0 and 1.";
        QTest::newRow("sharpness -0.1") << "m_sharpness" << "-0.1" << "Enter a number between 0 and 1.";
        QTest::newRow("sharpness x") << "m_sharpness" << "x" << "Enter a number.";
        QTest::newRow("bank 0") << "m_bank" << "0" << "Enter an integer between 1 and 10.";
        QTest::newRow("bank 11") << "m_bank" << "11" << "Enter an integer between 1 and 10.";
        QTest::newRow("hill size 2") << "m_hillSize" << "2" << "Enter an integer between 3 and 100.";
        QTest::newRow("hill size 101") << "m_hillSize" << "101" << "Enter an integer between 3 and 100.";
        QTest::newRow("sea level 256") << "m_seaLevel" << "256" << "Enter an integer between -1 and 255.";
        QTest::newRow("pixel size 0") << "m_pixelSize" << "0" << "Enter a number between 1 and 200.";
        QTest::newRow("pixel size 201") << "m_pixelSize" << "201" << "Enter a number between 1 and 200.";
    }

    void refusedFieldStopsTheRun()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        ScratchDir scratch;
        WriteTestRaw(scratch.path("map.raw"), 256, 256);
        ProcessFixture f;
        // Every field enabled, so the focus can go to any of them.
        f.choose(&CAltimoPage::OnBrowseRaw, scratch.qpath("map.raw"));
        f.choose(&CAltimoPage::OnBrowseLever, scratch.qpath("missing.bmp"));
        f.choose(&CAltimoPage::OnBrowseWater, scratch.qpath("missing.wtr"));
        DialogFixture::type(f.edit("m_rawWidth"), QStringLiteral("256"));
        DialogFixture::type(f.edit("m_rawHeight"), QStringLiteral("256"));
        QLineEdit* edit = f.edit(field.toLatin1().constData());
        edit->setText(text);
        QSignalSpy progress(f.find<QProgressBar>("m_progress"), &QProgressBar::valueChanged);

        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);

        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, message);
        QCOMPARE(f.dialogs.messages[0].caption, ExpectedCaption());
        QCOMPARE(f.dialog.focusWidget(), static_cast<QWidget*>(edit));
        QCOMPARE(edit->selectedText(), text);
        QVERIFY(progress.isEmpty());
        QVERIFY(!FileExists(scratch.path("map.dat")));
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
        QVERIFY(!FileExists(scratch.path("map.dat")));
    }

    void processWithoutRawSaysSo()
    {
        ProcessFixture f;
        f.page->OnProcess();
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Unspecified height RAW"));
        QCOMPARE(f.dialogs.messages[0].caption, ExpectedCaption());
        QCOMPARE(f.dialogs.messages[0].icon, MessageIcon::None);
    }

    void wrongRawSizeIsReported()
    {
        ScratchDir scratch;
        WriteTestRaw(scratch.path("map.raw"), 256, 256);
        ProcessFixture f;
        f.choose(&CAltimoPage::OnBrowseRaw, scratch.qpath("map.raw"));
        DialogFixture::type(f.edit("m_rawWidth"), QStringLiteral("257"));
        DialogFixture::type(f.edit("m_rawHeight"), QStringLiteral("256"));
        QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text,
                 QStringLiteral("Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW"));
        QCOMPARE(f.dialogs.messages[0].caption, ExpectedCaption());
        QVERIFY(!FileExists(scratch.path("map.dat")));
        QCOMPARE(f.find<QProgressBar>("m_progress")->value(), 0);
    }

    void runWithLeverAndWaterMatchesCommandLine_data()
    {
        QTest::addColumn<QString>("scale");
        QTest::newRow("scale 5") << QStringLiteral("5");
        QTest::newRow("scale 10") << QStringLiteral("10");
    }

    void runWithLeverAndWaterMatchesCommandLine()
    {
        QFETCH(QString, scale);
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
        QVERIFY(FileExists(gui.path("map.dat")));
        QVERIFY(FileExists(gui.path("map_w.dat")));

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
        QCOMPARE(progress->value(), 0);

        QCOMPARE(RunCli({"process", QString::fromStdString(cli.path("map.raw")), "--width", "257", "--height", "257",
                         "--pixel-size", "25", "--lever", QString::fromStdString(cli.path("lever.bmp")),
                         "--sharpness", "0.5", "--blur-height", "--water", QString::fromStdString(cli.path("water.wtr")), "--scale",
                         scale, "--bank", "3"}),
                 0);
        QVERIFY(ReadFileBytes(gui.path("map.dat")) == ReadFileBytes(cli.path("map.dat")));
        QVERIFY(ReadFileBytes(gui.path("map_w.dat")) == ReadFileBytes(cli.path("map_w.dat")));
    }

    void scaleReachesTheWaterStage()
    {
        // The same inputs at scale 5 and 10 give different water files: the page hands the
        // main dialog's scale to the run.
        std::vector<char> water[2];
        const char* scales[2] = {"5", "10"};
        for (int i = 0; i < 2; ++i)
        {
            ScratchDir scratch;
            WriteTestRaw(scratch.path("map.raw"), 257, 257);
            WriteTestWater(scratch.path("water.wtr"), 1280, 1280);
            ProcessFixture f;
            f.choose(&CAltimoPage::OnBrowseRaw, scratch.qpath("map.raw"));
            f.choose(&CAltimoPage::OnBrowseWater, scratch.qpath("water.wtr"));
            DialogFixture::type(f.edit("m_rawWidth"), QStringLiteral("257"));
            DialogFixture::type(f.edit("m_rawHeight"), QStringLiteral("257"));
            DialogFixture::type(f.scaleEdit(), QLatin1String(scales[i]));
            QTest::mouseClick(f.button("m_processButton"), Qt::LeftButton);
            water[i] = ReadFileBytes(scratch.path("map_w.dat"));
            QVERIFY(!water[i].empty());
        }
        QVERIFY(water[0] != water[1]);
    }
};

ALTIMO_GUI_TEST_MAIN(ProcessPageTest)
#include "ProcessPageTest.moc"
