#include "GuiTestSupport.h"

#include "support/Bitmap.h"
#include "support/WtrWriter.h"

#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <fstream>
#include <iterator>

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
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
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
    std::vector<std::uint8_t> cells(std::size_t(width) * std::size_t(height), 0);
    for (int z = 0; z < height; ++z)
    {
        for (int x = 0; x < width; ++x)
        {
            const double dx = x - width * 0.4;
            const double dz = z - height * 0.45;
            const double lake = width * 0.22 - std::sqrt(dx * dx + dz * dz);
            const double river = width * 0.06 - std::fabs(z - height * 0.45 - (x - width * 0.4) * 0.3);
            const double inside = x > width * 0.4 ? std::max(lake, river) : lake;
            const double value = std::clamp(8.0 + inside * 0.5, 0.0, 15.0);
            cells[std::size_t(z) * std::size_t(width) + std::size_t(x)] = static_cast<std::uint8_t>(value);
        }
    }
    (void)WriteWtr(path, cells.data(), width, height, blockSize);
}

std::vector<char> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path));
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
