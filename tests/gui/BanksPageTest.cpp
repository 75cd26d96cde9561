// The water banks page and its preview: refusals, Browse, a real Generate and
// Save compared with the command line, zoom and drag, and the preview's drawing.
#include "GuiTestSupport.h"

#include "banks/BanksPage.h"
#include "banks/BanksPreview.h"
#include "banks/PreviewDrawing.h"
#include "banks/WaterImage.h"

#include <QFile>

namespace
{
struct BanksFixture : DialogFixture
{
    CBanksPage* page = qobject_cast<CBanksPage*>(sheet()->widget(1));

    BanksFixture()
    {
        scope = page;
        showPage(1);
    }
    void browse(const QString& path)
    {
        dialogs.answer(path);
        QTest::mouseClick(button("browseButton"), Qt::LeftButton);
    }
    void generate() { QTest::mouseClick(button("generateButton"), Qt::LeftButton); }
    QImage picture() { return page->m_preview->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

bool AllBlack(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
    {
        for (int x = 0; x < image.width(); ++x)
        {
            if ((image.pixel(x, y) & 0xffffff) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

class BanksPageTest : public QObject
{
    Q_OBJECT

private slots:
    // A refused field stops Generate (each field's range is checked in MainDialogTest).
    void refusedFieldStopsGenerate()
    {
        ScratchDir scratch;
        WriteTestWater(scratch.path("water.wtr"), 640, 640);
        BanksFixture f;
        f.browse(scratch.qpath("water.wtr"));
        QLineEdit* edit = f.edit("m_tesselation");
        DialogFixture::type(edit, QStringLiteral("9"));
        f.generate();
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialog.focusWidget(), static_cast<QWidget*>(edit));
        QVERIFY(f.page->m_lines.empty());
        QVERIFY(!f.page->m_preview->HasImage());
        QVERIFY(!f.button("m_saveButton")->isEnabled());
    }

    void generateWithoutFileDoesNothing()
    {
        BanksFixture f;
        QVERIFY(AllBlack(f.picture()));
        f.generate();
        QVERIFY(f.dialogs.messages.empty());
        QVERIFY(!f.page->m_preview->HasImage());
        QVERIFY(!f.button("m_saveButton")->isEnabled());
    }

    void browseAsksTheMainDialogAndResetsThePage()
    {
        ScratchDir scratch;
        WriteTestWater(scratch.path("water.wtr"), 640, 640);
        BanksFixture f;
        f.browse(scratch.qpath("water.wtr"));
        const FileDialogRequest& request = f.dialogs.requests[0].request;
        QCOMPARE(request.filter, QStringLiteral("Compressed Water (*.wtr)"));
        QVERIFY(!request.save);
        QVERIFY(request.fileMustExist && request.pathMustExist);
        QCOMPARE(f.dialogs.requests[0].owner, static_cast<QWidget*>(&f.dialog));
        QCOMPARE(f.edit("m_waterPath")->text(), scratch.qpath("water.wtr"));

        f.generate();
        QVERIFY(!f.page->m_lines.empty());
        QVERIFY(f.button("m_saveButton")->isEnabled());

        // Unvalidated typing is replaced by the stored values; the set and the image go, the
        // preview's own lines stay but are not drawn.
        f.edit("m_minRiverSize")->setText(QStringLiteral("3"));
        f.browse(scratch.qpath("water.wtr"));
        QCOMPARE(f.edit("m_minRiverSize")->text(), QStringLiteral("8"));
        QVERIFY(f.page->m_lines.empty());
        QVERIFY(!f.button("m_saveButton")->isEnabled());
        QVERIFY(!f.page->m_preview->HasImage());
        QVERIFY(!f.page->m_preview->m_lines.empty());
        QVERIFY(AllBlack(f.picture()));

        // A cancelled dialog changes nothing.
        f.generate();
        f.dialogs.cancel();
        QTest::mouseClick(f.button("browseButton"), Qt::LeftButton);
        QCOMPARE(f.page->m_waterPath, scratch.path("water.wtr"));
        QVERIFY(!f.page->m_lines.empty());
        QVERIFY(f.button("m_saveButton")->isEnabled());
    }

    void unreadableFileLeavesEverythingAsItWas()
    {
        ScratchDir scratch;
        WriteTestWater(scratch.path("water.wtr"), 640, 640);
        BanksFixture f;
        f.browse(scratch.qpath("water.wtr"));
        f.generate();
        const ShorelineSet lines = f.page->m_lines;
        QVERIFY(!lines.empty());
        QVERIFY(QFile::remove(scratch.qpath("water.wtr")));
        f.generate();
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        QCOMPARE(f.dialogs.messages[0].text, scratch.qpath("water.wtr"));
        QCOMPARE(f.dialogs.messages[0].caption, QStringLiteral("Can not open WTR file"));
        QVERIFY(f.page->m_lines == lines);
        QVERIFY(f.page->m_preview->m_lines == lines);
        QVERIFY(f.page->m_preview->HasImage());
        QVERIFY(f.button("m_saveButton")->isEnabled());

        // A file that is not a water mask is named in a message and changes nothing either.
        QFile garbage(scratch.qpath("water.wtr"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("not a water mask at all");
        garbage.close();
        f.generate();
        QCOMPARE(f.dialogs.messages.size(), std::size_t(2));
        QCOMPARE(f.dialogs.messages[1].text, scratch.qpath("water.wtr"));
        QVERIFY(f.page->m_lines == lines);
    }

    void generateAndSaveMatchCommandLine()
    {
        ScratchDir scratch;
        WriteTestWater(scratch.path("water.wtr"), 1280, 1280);
        BanksFixture f;
        f.browse(scratch.qpath("water.wtr"));
        f.generate();
        QVERIFY(f.dialogs.messages.empty());
        const ShorelineSet& lines = f.page->m_lines;
        QVERIFY(!lines.empty());
        for (const Shoreline& line : lines)
            QVERIFY(line.size() > 5 * 4);
        QVERIFY(f.page->m_preview->m_lines == lines);
        QCOMPARE(f.page->m_preview->m_imageWidth, 256);
        QCOMPARE(f.page->m_preview->m_imageHeight, 256);
        QVERIFY(f.button("m_saveButton")->isEnabled());

        f.dialogs.answer(scratch.qpath("gui.sl"));
        QTest::mouseClick(f.button("m_saveButton"), Qt::LeftButton);
        const FileDialogRequest& request = f.dialogs.requests.back().request;
        QVERIFY(request.save);
        QCOMPARE(request.filter, QStringLiteral("Shoreline (*.sl)"));
        QCOMPARE(request.defaultSuffix, QStringLiteral("sl"));
        QVERIFY(request.pathMustExist && !request.fileMustExist);
        QCOMPARE(f.dialogs.requests.back().owner, static_cast<QWidget*>(&f.dialog));

        QCOMPARE(RunCli({"banks", scratch.qpath("water.wtr"), "-o", scratch.qpath("cli.sl")}), 0);
        const std::vector<std::uint8_t> saved = ReadBytes(scratch.path("gui.sl"));
        QVERIFY(!saved.empty());
        QVERIFY(saved == ReadBytes(scratch.path("cli.sl")));

        // Saving again, over the file, writes the same; a cancelled dialog writes nothing.
        f.dialogs.answer(scratch.qpath("gui.sl"));
        QTest::mouseClick(f.button("m_saveButton"), Qt::LeftButton);
        QVERIFY(ReadBytes(scratch.path("gui.sl")) == saved);
        f.dialogs.cancel();
        QTest::mouseClick(f.button("m_saveButton"), Qt::LeftButton);
        QVERIFY(!Exists(scratch.path("cancelled.sl")));

        // Saved over the water file: one box naming both, and the water file is left as it was.
        const std::vector<std::uint8_t> water = ReadBytes(scratch.path("water.wtr"));
        f.dialogs.answer(scratch.qpath("water.wtr"));
        QTest::mouseClick(f.button("m_saveButton"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), std::size_t(1));
        const QString wtr = scratch.qpath("water.wtr");
        QVERIFY2(f.dialogs.messages[0].text.startsWith(wtr + ": is the same file as the input " + wtr),
                 qPrintable(f.dialogs.messages[0].text));
        QVERIFY(ReadBytes(scratch.path("water.wtr")) == water);
    }

    // The buttons and the mouse reach the preview's placement (its geometry is tested on its own).
    void zoomButtonsAndDragReachThePreview()
    {
        ScratchDir scratch;
        WriteTestWater(scratch.path("water.wtr"), 1280, 1280);
        BanksFixture f;
        f.browse(scratch.qpath("water.wtr"));
        f.generate();
        CBanksPreview* preview = f.page->m_preview;
        QCOMPARE(preview->m_zoom, 1.0f); // 256 x 256 fits: 1:1
        QTest::mouseClick(f.button("zoomInButton"), Qt::LeftButton);
        QCOMPARE(preview->m_zoom, 2.0f);
        QTest::mouseClick(f.button("zoomOutButton"), Qt::LeftButton);
        QTest::mouseClick(f.button("zoomOutButton"), Qt::LeftButton);
        QCOMPARE(preview->m_zoom, 0.5f);
        QTest::mouseClick(f.button("zoomInButton"), Qt::LeftButton);

        QTest::mousePress(preview, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(preview, QPoint(130, 120));
        QTest::mouseRelease(preview, Qt::LeftButton, {}, QPoint(130, 120));
        QCOMPARE(preview->m_panX, -30.0f);
        QCOMPARE(preview->m_panY, -20.0f);
        QTest::mouseMove(preview, QPoint(10, 10)); // without the button: no pan
        QCOMPARE(preview->m_panX, -30.0f);
    }

    // A shrunk image shows the average of the pixels under each screen pixel: columns
    // alternately black and white, shrunk to a third, are grey throughout, where a blend of the
    // nearest pixels would show them black and white again.
    void shrinkingAveragesThePixels()
    {
        CBanksPreview preview;
        preview.resize(300, 100);
        WaterImage image(900, 300);
        for (int m = 0; m < image.height; ++m)
            for (int c = 0; c < image.width; ++c)
                image.view().at(c, m) = c % 2 ? 255 : 0;
        preview.SetImage(&image);
        QCOMPARE(preview.m_zoom, 1.0f / 3.0f);
        const QImage picture = preview.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 10; y < 90; y += 7)
        {
            for (int x = 10; x < 290; ++x)
            {
                const int grey = qGreen(picture.pixel(x, y));
                QVERIFY2(grey > 40 && grey < 215, qPrintable(QStringLiteral("%1 at %2,%3").arg(grey).arg(x).arg(y)));
            }
        }
    }

    // The window shows exactly the shared picture, the one the command line's preview is, also
    // zoomed in and moved.
    void windowShowsTheSharedPicture()
    {
        CBanksPreview preview;
        preview.resize(560, 350);
        WaterImage image(819, 613);
        for (int m = 0; m < image.height; ++m)
            for (int c = 0; c < image.width; ++c)
                image.view().at(c, m) = std::uint8_t((c * 7 + (image.height - 1 - m) * 13) % 200 + 40);
        const ShorePoint diagonal[2] = {{0, 0}, {819 * 50, 613 * 50}};
        preview.AddLine(diagonal, 2);
        preview.SetImage(&image);
        const float fitted = preview.m_zoom;
        preview.m_zoom = fitted * 4.0f;
        preview.m_panX = 10.3f;
        std::vector<std::uint8_t> rgb;
        RenderPreview(preview.m_bitmap, preview.m_lines, preview.Geometry(), 560, 350, kPreviewMetresPerPixel, rgb);
        const QImage expected(rgb.data(), 560, 350, 560 * 3, QImage::Format_RGB888);
        QCOMPARE(preview.grab().toImage().convertToFormat(QImage::Format_RGB32),
                 expected.convertToFormat(QImage::Format_RGB32));
    }
};

ALTIMO_GUI_TEST_MAIN(BanksPageTest)
#include "BanksPageTest.moc"
