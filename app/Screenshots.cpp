// altimo-screenshots OUTDIR [DEMODIR]: renders the main dialog with each page selected to PNG
// files in OUTDIR, for the documentation. With DEMODIR (the output of `altimo-cli demo`) the
// pages show the demo files chosen, and the water banks page is rendered once more after a
// Generate. File dialogs are answered from the demo files, by their paths relative to the
// current folder, so the pictures show no folder of the machine that made them; message boxes
// are printed. At a device pixel ratio other than 1 (QT_SCALE_FACTOR=2) the files are named
// "name@2x.png".
#include "app/AltimoApp.h"
#include "app/AltimoDlg.h"
#include "gui/UserDialogs.h"
#include "banks/BanksPage.h"
#include "demo/DemoTerrain.h"
#include "cliff/CliffPage.h"
#include "heightproc/ProcessPage.h"
#include "support/BitMask.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTabWidget>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <deque>
#include <optional>

namespace
{
class AnsweringDialogs final : public IUserDialogs
{
public:
    void message(QWidget*, const QString& text, const QString& caption, MessageIcon) override
    {
        QTextStream(stderr) << caption << ": " << text << '\n';
    }
    std::optional<QString> chooseFile(QWidget*, const FileDialogRequest&) override
    {
        if (answers.empty())
            return std::nullopt;
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;
};

QString FirstFile(const QDir& dir, const QString& pattern)
{
    const QStringList names = dir.entryList({pattern}, QDir::Files, QDir::Name);
    return names.isEmpty() ? QString() : QDir::current().relativeFilePath(dir.absoluteFilePath(names.first()));
}

// Mask cells along one height sample when the mask spans the map's side - 1 samples exactly;
// 0 otherwise.
long MaskCellsPerSample(const QString& wtrPath, int side)
{
    CBitMask mask(256);
    std::FILE* file = std::fopen(QFile::encodeName(wtrPath).constData(), "rb");
    if (file == nullptr)
        return 0;
    const bool loaded = mask.load(file);
    std::fclose(file);
    const long cells = loaded ? mask.getXRes() : 0;
    mask.close();
    return side > 1 && cells % (side - 1) == 0 ? cells / (side - 1) : 0;
}

bool Save(CAltimoDlg& dialog, int page, const QDir& out, const QString& name)
{
    dialog.m_pSheet->setCurrentIndex(page);
    QApplication::processEvents();
    const QPixmap picture = dialog.grab();
    const qreal ratio = picture.devicePixelRatio();
    const QString path = out.filePath(ratio == 1.0 ? name + QStringLiteral(".png")
                                                   : QStringLiteral("%1@%2x.png").arg(name).arg(ratio));
    const bool saved = picture.save(path);
    QTextStream(saved ? stdout : stderr) << (saved ? "wrote " : "could not write ") << path << '\n';
    return saved;
}
} // namespace

int main(int argc, char** argv)
{
    CAltimoApp app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2)
    {
        QTextStream(stderr) << "usage: altimo-screenshots OUTDIR [DEMODIR]\n";
        return 2;
    }
    const QDir out(arguments[1]);
    if (!QDir().mkpath(out.absolutePath()))
        return 1;
    AnsweringDialogs dialogs;
    CAltimoDlg dialog(dialogs);
    dialog.show();
    QApplication::processEvents();

    auto* process = dialog.findChild<CAltimoPage*>();
    auto* banks = dialog.findChild<CBanksPage*>();
    auto* cliff = dialog.findChild<CCliffPage*>();
    const bool demo = arguments.size() > 2;
    const QDir demoDir(demo ? arguments[2] : QString());
    if (demo)
    {
        for (const QString& pattern : {QStringLiteral("*.raw"), QStringLiteral("*_lever.bmp"), QStringLiteral("*.wtr")})
            dialogs.answers.push_back(FirstFile(demoDir, pattern));
        process->OnBrowseRaw();
        process->OnBrowseLever();
        process->OnBrowseWater();
        // The demo map is square: its side follows from the file size.
        const qint64 samples = QFileInfo(QString::fromStdString(process->m_rawPath)).size() / 2;
        const auto side = static_cast<int>(std::lround(std::sqrt(static_cast<double>(samples))));
        if (qint64(side) * side == samples && side > 0)
        {
            process->m_rawWidth = side;
            process->m_rawHeight = side;
            process->UpdateData(false);
            // The demo's settings, so that the pictures show what the demo made: its mask has
            // `scale` cells along one height sample.
            const long scale = MaskCellsPerSample(FirstFile(demoDir, QStringLiteral("*.wtr")), side);
            if (scale > 0)
            {
                dialog.m_resolutionScale = scale;
                dialog.UpdateData(false);
                process->m_pixelSize = kDemoExtentMetres / float(side - 1);
                process->UpdateData(false);
                banks->m_waterPixelSize = process->m_pixelSize / float(scale);
                banks->UpdateData(false);
            }
        }
        dialogs.answers.push_back(FirstFile(demoDir, QStringLiteral("*.wtr")));
        banks->OnBrowse();
        QStringList heightFiles = demoDir.entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name);
        heightFiles.removeIf([](const QString& name) { return name.endsWith(QLatin1String("_w.dat")); });
        if (!heightFiles.isEmpty())
        {
            dialogs.answers.push_back(QDir::current().relativeFilePath(demoDir.absoluteFilePath(heightFiles.first())));
            cliff->OnBrowse();
        }
    }

    bool ok = Save(dialog, 0, out, QStringLiteral("process-page"));
    ok = Save(dialog, 1, out, QStringLiteral("banks-page")) && ok;
    ok = Save(dialog, 2, out, QStringLiteral("cliff-page")) && ok;
    if (demo)
    {
        dialog.m_pSheet->setCurrentIndex(1);
        QApplication::processEvents();
        banks->OnGenerate();
        ok = Save(dialog, 1, out, QStringLiteral("banks-preview")) && ok;
    }
    return ok ? 0 : 1;
}
