// The cliff export page: start state, refusals, Browse, and an export through the page
// compared with the command line's.
#include "GuiTestSupport.h"

#include "cliff/CliffPage.h"

#include <QDir>
#include <QFile>

namespace
{
struct CliffFixture : DialogFixture
{
    CCliffPage* page = qobject_cast<CCliffPage*>(sheet()->widget(2));

    CliffFixture()
    {
        scope = page;
        showPage(2);
    }
    void browse(const std::optional<QString>& path)
    {
        answers(path);
        QTest::mouseClick(button("browseButton"), Qt::LeftButton);
    }
    void answers(const std::optional<QString>& path)
    {
        if (path)
            dialogs.answer(*path);
        else
            dialogs.cancel();
    }
    void saveBitmap() { QTest::mouseClick(button("saveBitmapButton"), Qt::LeftButton); }
};

// A height file made by the command line from the test RAW map.
std::string MakeHeightFile(const ScratchDir& scratch)
{
    WriteTestRaw(scratch.path("map.raw"), 256, 256);
    if (RunCli({"process", scratch.qpath("map.raw"), "--width", "256", "--height", "256"}) != 0)
        return {};
    return scratch.path("map.dat");
}
} // namespace

class CliffPageTest : public QObject
{
    Q_OBJECT

private slots:
    void startState()
    {
        CliffFixture f;
        QCOMPARE(f.edit("m_cliffAngle")->text(), QStringLiteral("45"));
        QCOMPARE(f.edit("m_cliffThreshold")->text(), QStringLiteral("10"));
        QCOMPARE(f.edit("m_heightScale")->text(), QStringLiteral("10"));
        QVERIFY(f.edit("m_heightDatPath")->text().isEmpty());
        QVERIFY(f.edit("m_heightDatPath")->isReadOnly());
        QCOMPARE(f.edit("m_heightDatPath")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QVERIFY(f.button("saveBitmapButton")->isEnabled());
    }

    void refusedFieldStopsTheExport_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("angle -1") << "m_cliffAngle" << "-1" << "Enter an integer between 0 and 90.";
        QTest::newRow("angle 91") << "m_cliffAngle" << "91" << "Enter an integer between 0 and 90.";
        QTest::newRow("threshold 91") << "m_cliffThreshold" << "91" << "Enter an integer between 0 and 90.";
        QTest::newRow("scale 0.001") << "m_heightScale" << "0.001" << "Enter a number between 0.01 and 100.";
        QTest::newRow("scale 101") << "m_heightScale" << "101" << "Enter a number between 0.01 and 100.";
        QTest::newRow("scale x") << "m_heightScale" << "x" << "Enter a number.";
    }

    void refusedFieldStopsTheExport()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        ScratchDir scratch;
        const std::string dat = MakeHeightFile(scratch);
        QVERIFY(!dat.empty());
        CliffFixture f;
        f.browse(QString::fromStdString(dat));
        QLineEdit* edit = f.edit(field.toLatin1().constData());
        DialogFixture::type(edit, text);
        f.saveBitmap();
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, message);
        QCOMPARE(f.dialogs.messages[0].caption, ExpectedCaption());
        QCOMPARE(f.dialog.focusWidget(), static_cast<QWidget*>(edit));
        QCOMPARE(f.dialogs.requests.size(), std::size_t(1)); // the Browse only: no save dialog
    }

    void scaleBoundsAreAccepted()
    {
        CliffFixture f;
        DialogFixture::type(f.edit("m_heightScale"), QStringLiteral("0.01"));
        DialogFixture::type(f.edit("m_cliffAngle"), QStringLiteral("0"));
        DialogFixture::type(f.edit("m_cliffThreshold"), QStringLiteral("90"));
        QVERIFY(f.page->UpdateData(true));
        QCOMPARE(f.page->m_heightScale, 0.01f);
        DialogFixture::type(f.edit("m_heightScale"), QStringLiteral("100"));
        QVERIFY(f.page->UpdateData(true));
        QCOMPARE(f.page->m_heightScale, 100.0f);
    }

    void browseAsksForHeightFilesAndCancelClears()
    {
        CliffFixture f;
        f.browse(QStringLiteral("/maps/terrain.dat"));
        const FileDialogRequest& request = f.dialogs.requests[0].request;
        QCOMPARE(request.filter, QStringLiteral("Height DAT 16 bit (*.dat)"));
        QVERIFY(!request.save && request.fileMustExist && request.pathMustExist);
        QCOMPARE(f.edit("m_heightDatPath")->text(), QStringLiteral("/maps/terrain.dat"));
        f.browse(std::nullopt);
        QVERIFY(f.page->m_heightDatPath.empty());
        QVERIFY(f.edit("m_heightDatPath")->text().isEmpty());
        // Without a file "Save bitmap" does nothing and says nothing.
        f.saveBitmap();
        QVERIFY(f.dialogs.messages.empty());
        QCOMPARE(f.dialogs.requests.size(), std::size_t(2));
    }

    void exportMatchesCommandLine_data()
    {
        QTest::addColumn<QString>("angle");
        QTest::addColumn<QString>("threshold");
        QTest::addColumn<QString>("scale");
        // One run through the page's fields: the export itself is the command line's entry.
        QTest::newRow("hard step") << "20" << "0" << "2.5";
    }

    void exportMatchesCommandLine()
    {
        QFETCH(QString, angle);
        QFETCH(QString, threshold);
        QFETCH(QString, scale);
        ScratchDir scratch;
        const std::string dat = MakeHeightFile(scratch);
        QVERIFY(!dat.empty());
        CliffFixture f;
        f.browse(QString::fromStdString(dat));
        DialogFixture::type(f.edit("m_cliffAngle"), angle);
        DialogFixture::type(f.edit("m_cliffThreshold"), threshold);
        DialogFixture::type(f.edit("m_heightScale"), scale);
        f.answers(scratch.qpath("gui.bmp"));
        f.saveBitmap();
        QVERIFY(f.dialogs.messages.empty());
        const FileDialogRequest& request = f.dialogs.requests.back().request;
        QVERIFY(request.save && request.pathMustExist && !request.fileMustExist);
        QCOMPARE(request.filter, QStringLiteral("Bitmap BMP 8 bit (*.bmp)"));
        QCOMPARE(request.defaultSuffix, QStringLiteral("bmp"));

        QCOMPARE(RunCli({"cliff", QString::fromStdString(dat), "-o", scratch.qpath("cli.bmp"), "--angle", angle,
                         "--threshold", threshold, "--height-scale", scale}),
                 0);
        const std::vector<char> saved = ReadFileBytes(scratch.path("gui.bmp"));
        QVERIFY(saved.size() > 256 * 256);
        QVERIFY(saved == ReadFileBytes(scratch.path("cli.bmp")));
    }

    void cancelledSaveUnreadableFileAndTheInputItselfWriteNothing()
    {
        ScratchDir scratch;
        const std::string dat = MakeHeightFile(scratch);
        QVERIFY(!dat.empty());
        CliffFixture f;
        const QStringList before = QDir(scratch.dir.path()).entryList();
        f.browse(QString::fromStdString(dat));
        f.answers(std::nullopt);
        f.saveBitmap();
        QCOMPARE(f.dialogs.requests.size(), std::size_t(2)); // the save dialog was shown
        QCOMPARE(QDir(scratch.dir.path()).entryList(), before);

        // A file that is not a height file ends the export silently, before any save dialog.
        QFile garbage(scratch.qpath("bad.dat"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("no height file");
        garbage.close();
        f.browse(scratch.qpath("bad.dat"));
        f.saveBitmap();
        QCOMPARE(f.dialogs.requests.size(), std::size_t(3));
        QVERIFY(f.dialogs.messages.empty());

        // The height file itself chosen as the bitmap is passed over as silently as a failed write.
        const std::vector<char> heights = ReadFileBytes(dat);
        f.browse(QString::fromStdString(dat));
        f.answers(QString::fromStdString(dat));
        f.saveBitmap();
        QCOMPARE(f.dialogs.requests.size(), std::size_t(5));
        QVERIFY(f.dialogs.messages.empty());
        QVERIFY(ReadFileBytes(dat) == heights);
    }
};

ALTIMO_GUI_TEST_MAIN(CliffPageTest)
#include "CliffPageTest.moc"
