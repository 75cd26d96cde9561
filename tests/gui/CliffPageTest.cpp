// The cliff export page: refusals, Browse, and the page's export compared with the command line's.
#include "GuiTestSupport.h"

#include "cliff/CliffPage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    // A refused field stops the export before the save dialog (each field's range is checked in
    // MainDialogTest).
    void refusedFieldStopsTheExport()
    {
        ScratchDir scratch;
        const std::string dat = MakeHeightFile(scratch);
        QVERIFY(!dat.empty());
        CliffFixture f;
        f.browse(QString::fromStdString(dat));
        QLineEdit* edit = f.edit("m_heightScale");
        DialogFixture::type(edit, QStringLiteral("101"));
        f.saveBitmap();
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialog.focusWidget(), static_cast<QWidget*>(edit));
        QCOMPARE(f.dialogs.requests.size(), std::size_t(1)); // the Browse only: no save dialog
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

    // The page exports through the same function as the command line: one run with settings
    // other than the defaults shows the page hands its fields over, and the page's Height scale
    // S reads the map as the command line's auto does for a map whose samples are S / 257 m.
    void exportMatchesCommandLine()
    {
        const QString angle = QStringLiteral("20");
        const QString threshold = QStringLiteral("0");
        const QString scale = QStringLiteral("2.5");
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

        QFile sidecar(scratch.qpath("map.dat.json"));
        QVERIFY(sidecar.open(QIODevice::WriteOnly));
        sidecar.write(R"({"kind": "altimo map", "version": 1, "width": 256, "height": 256,
                          "geoTransform": [0, 1, 0, 0, 0, 1], "heights": {"gain": 0.009727626459143969, "offset": 0}})");
        sidecar.close();
        QCOMPARE(RunCli({"cliff", QString::fromStdString(dat), "-o", scratch.qpath("cli.bmp"), "--angle", angle,
                         "--threshold", threshold, "--height-scale", "auto"}),
                 0);
        const std::vector<std::uint8_t> saved = ReadBytes(scratch.path("gui.bmp"));
        QVERIFY(saved.size() > 256 * 256);
        QVERIFY(saved == ReadBytes(scratch.path("cli.bmp")));
    }

    // Each ends the export silently but the last: the height file itself, here through a link,
    // chosen as the bitmap gets one box naming both.
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

        const std::vector<std::uint8_t> heights = ReadBytes(dat);
        QVERIFY(QFile::link(QString::fromStdString(dat), scratch.qpath("link.bmp")));
        f.browse(QString::fromStdString(dat));
        f.answers(scratch.qpath("link.bmp"));
        f.saveBitmap();
        QCOMPARE(f.dialogs.requests.size(), std::size_t(5));
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QVERIFY2(f.dialogs.messages[0].text.startsWith(scratch.qpath("link.bmp") + ": is the same file as the input " +
                                                       QString::fromStdString(dat)),
                 qPrintable(f.dialogs.messages[0].text));
        QVERIFY(ReadBytes(dat) == heights);
        QVERIFY(QFileInfo(scratch.qpath("link.bmp")).isSymLink());
    }
};

ALTIMO_GUI_TEST_MAIN(CliffPageTest)
#include "CliffPageTest.moc"
