#include "GuiTestSupport.h"

#include "support/Bitmap.h"
#include "support/WtrWriter.h"
#include "tests/common/TestFiles.h"

#include <QProcess>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cmath>

void WriteTestRaw(const std::string& path, int width, int height)
{
    std::vector<unsigned char> bytes;
    bytes.reserve(std::size_t(width) * std::size_t(height) * 2);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            const double dx = x - width * 0.6;
            const double dy = y - height * 0.4;
            const double bump = 9000.0 * std::exp(-(dx * dx + dy * dy) / (width * width * 0.02));
            const auto sample = static_cast<unsigned>(2000 + 40 * x + 25 * y + bump) & 0xffffu;
            bytes.push_back(static_cast<unsigned char>(sample & 0xff));
            bytes.push_back(static_cast<unsigned char>(sample >> 8));
        }
    }
    testcli::WriteBytes(path, bytes);
}

void WriteTestLever(const std::string& path, int width, int height)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, width, height, 24);
    for (int y = height / 3; y < 2 * height / 3; ++y)
    {
        for (int x = width / 3; x < 2 * width / 3; ++x)
        {
            std::uint8_t* pixel = bitmap.data + std::size_t(height - 1 - y) * std::size_t(bitmap.bytesPerRow) + 3 * x;
            pixel[2] = 40; // red: target height 40 * 256
        }
    }
    (void)SaveBitmap(&bitmap, path.c_str());
    FreeBitmap(&bitmap);
}

void WriteTestWater(const std::string& path, int width, int height, int blockSize)
{
    // A round lake and a river that leaves it to the right edge; the values ramp at the shore.
    const std::vector<std::uint8_t> cells = testcli::MaskCells(width, height, [&](int x, int z) {
        const double dx = x - width * 0.4;
        const double dz = z - height * 0.45;
        const double lake = width * 0.22 - std::sqrt(dx * dx + dz * dz);
        const double river = width * 0.06 - std::fabs(z - height * 0.45 - (x - width * 0.4) * 0.3);
        const double inside = x > width * 0.4 ? std::max(lake, river) : lake;
        return std::clamp(8.0 + inside * 0.5, 0.0, 15.0);
    });
    (void)WriteWtr(path, cells.data(), width, height, blockSize);
}

int RunCli(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(ALTIMO_CLI_PATH), arguments);
    if (!process.waitForFinished(120000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool UseTestLocale()
{
    const char* name = std::getenv("ALTIMO_TEST_LOCALE");
    if (!name || !*name)
        return true;
    setenv("LC_ALL", name, 1);
    if (!std::setlocale(LC_ALL, ""))
    {
        // Not installed on this system: try the one the fixture generated.
        const char* generated = std::getenv("ALTIMO_TEST_LOCPATH");
        if (generated && *generated)
            setenv("LOCPATH", generated, 1);
        if (!std::setlocale(LC_ALL, ""))
        {
            std::fprintf(stderr, "SKIPPED: the locale %s is neither installed nor could it be generated (localedef)\n",
                         name);
            return false;
        }
    }
    return true;
}

QString ExpectedCaption()
{
    const QString expected = qEnvironmentVariable("ALTIMO_EXPECTED_CAPTION");
    if (expected.isEmpty())
        qFatal("ALTIMO_EXPECTED_CAPTION is not set; run the GUI tests through CTest");
    return expected;
}
