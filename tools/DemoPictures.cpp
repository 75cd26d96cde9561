#include "tools/DemoPictures.h"

#include "base/ByteOrder.h"
#include "base/JobFiles.h"
#include "base/LargeBuffer.h"
#include "tools/Image.h"
#include "tools/LoadedDat.h"
#include "tools/PngWriter.h"
#include "tools/PreviewJob.h"
#include "tools/Relief.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <new>
#include <vector>

namespace
{

constexpr int kCloseUpGap = 8;
constexpr int kCloseUpSide = (kDemoPanelSide - kCloseUpGap) / 2;
// The close-up shows the runway with half its length of land around it.
constexpr int kCloseUpSpanPercent = 150;
constexpr int kCloseUpMinSide = 16;
// Steeper shading than the whole map's, so that the levelled strip stands out smooth.
constexpr ReliefSettings kCloseUpRelief{50.0};
constexpr OverviewColour kBackground = OverviewLayout{}.background;

struct Window
{
    int x = 0, y = 0, side = 0;
};

// A square around the runway, moved inside the map where it would reach past an edge.
Window RunwayWindow(const DemoRunway& runway, int size)
{
    Window window;
    window.side = std::min(size, std::max(kCloseUpMinSide, runway.length * kCloseUpSpanPercent / 100));
    window.x = std::clamp(runway.x + runway.length / 2 - window.side / 2, 0, size - window.side);
    window.y = std::clamp(runway.y + runway.width / 2 - window.side / 2, 0, size - window.side);
    return window;
}

// The samples of the window and one more on every side where the map has them, so that the
// window's edge pixels shade from the same neighbours as in the whole map.
struct HeightWindow
{
    std::vector<std::uint16_t> samples;
    int x = 0, y = 0, width = 0, height = 0; // in the map

    ConstRasterView<std::uint16_t> view() const { return {samples.data(), width, height}; }
};

HeightWindow CopyWindow(ConstRasterView<std::uint16_t> map, const Window& window)
{
    HeightWindow copy;
    copy.x = std::max(0, window.x - 1);
    copy.y = std::max(0, window.y - 1);
    copy.width = std::min(map.width, window.x + window.side + 1) - copy.x;
    copy.height = std::min(map.height, window.y + window.side + 1) - copy.y;
    copy.samples.resize(std::size_t(copy.width) * std::size_t(copy.height));
    for (int row = 0; row < copy.height; ++row)
        std::copy_n(map.row(copy.y + row) + copy.x, copy.width,
                    copy.samples.data() + std::size_t(row) * std::size_t(copy.width));
    return copy;
}

SampleRange CombinedRange(const HeightWindow& a, const HeightWindow& b)
{
    const SampleRange first = FindSampleRange(a.view(), 1);
    const SampleRange second = FindSampleRange(b.view(), 1);
    return {std::min(first.low, second.low), std::max(first.high, second.high)};
}

// The relief of the window with the tint stretched over `range`: the runway's few metres of
// change stand out against the land around it, which the whole map's tint would hide.
Picture RenderCloseUp(const HeightWindow& heights, const Window& window, float pixelSize, SampleRange range)
{
    Picture picture = MakePicture(window.side, window.side, 3, {0, 0, 0});
    for (int y = 0; y < window.side; ++y)
        for (int x = 0; x < window.side; ++x)
        {
            const Rgb colour = ReliefPixel(heights.view(), window.x + x - heights.x, window.y + y - heights.y,
                                           pixelSize, kCloseUpRelief, range);
            std::copy(colour.begin(), colour.end(), picture.pixels.begin() + 3 * (std::ptrdiff_t(y) * window.side + x));
        }
    return picture;
}

// The RAW map as the demo wrote it: 16-bit little-endian samples, size x size.
Status ReadRawHeights(const std::string& path, int size, LargeBuffer<std::uint16_t>& heights)
{
    const std::size_t count = std::size_t(size) * std::size_t(size);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {StatusCode::cannotOpen, InputFailure(path)};
    heights.allocate(count);
    const bool complete = std::fread(heights.data(), 2, count, file) == count && std::fgetc(file) == EOF;
    std::fclose(file);
    if (!complete)
        return {StatusCode::invalidInput,
                path + ": not a " + std::to_string(size) + " x " + std::to_string(size) + " 16-bit RAW map"};
    LittleEndianSamples(heights.data(), count);
    return Ok();
}

class DemoPictures
{
public:
    DemoPictures(const DemoPictureInputs& inputs, const DemoPictureReport& report, IProgressSink& progress)
        : m_in(inputs), m_report(report), m_progress(progress)
    {
    }

    Status run()
    {
        if (before() && after() && water() && cliff() && overview())
            return Ok();
        return m_failure;
    }

private:
    std::string path(const char* suffix) const { return m_in.base + suffix; }

    bool write(const std::string& file, const std::uint8_t* pixels, int width, int height, int channels,
               const std::string& note) const
    {
        m_progress.setPos(0);
        if (!WritePng8(file, pixels, width, height, channels, m_progress, 200))
        {
            m_failure = {StatusCode::writeFailed, OutputFailure(file)};
            return false;
        }
        m_report(file, note);
        return true;
    }

    // Writes a full-size picture and keeps its panel.
    bool keep(const std::string& file, const LargeBuffer<std::uint8_t>& rgb, const std::string& note,
              Picture& panel) const
    {
        if (!write(file, rgb.data(), m_in.size, m_in.size, 3, note))
            return false;
        panel = DemoPanel({rgb.data(), m_in.size, m_in.size, 3});
        return true;
    }

    // Both close-ups share one tint, so that only the levering changes their colours.
    void closeUps()
    {
        if (m_in.runway.length == 0)
            return;
        const Window window = RunwayWindow(m_in.runway, m_in.size);
        const HeightWindow after = CopyWindow(m_terrain.view(), window);
        const SampleRange range = CombinedRange(m_windowBefore, after);
        const Picture before = RenderCloseUp(m_windowBefore, window, m_in.pixelSize, range);
        const Picture levered = RenderCloseUp(after, window, m_in.pixelSize, range);
        m_closeUp = SideBySide(FitToSide(before.view(), kCloseUpSide).view(),
                               FitToSide(levered.view(), kCloseUpSide).view(), kCloseUpGap, kBackground);
        m_windowBefore = {};
    }

    bool before()
    {
        LargeBuffer<std::uint8_t> rgb;
        {
            LargeBuffer<std::uint16_t> heights;
            if (!(m_failure = ReadRawHeights(path(".raw"), m_in.size, heights)))
                return false;
            rgb.allocate(std::size_t(m_in.size) * std::size_t(m_in.size) * 3);
            const ConstRasterView<std::uint16_t> map{heights.data(), m_in.size, m_in.size};
            RenderRelief(map, m_in.pixelSize, ReliefSettings{}, rgb.data());
            if (m_in.runway.length > 0)
                m_windowBefore = CopyWindow(map, RunwayWindow(m_in.runway, m_in.size));
        }
        return keep(path("_before.png"), rgb, "shaded relief of the RAW map, before levering", m_before);
    }

    bool after()
    {
        if (!(m_failure = LoadDatFile(path(".dat"), m_terrain)))
            return false;
        if (m_terrain.width != m_in.size || m_terrain.height != m_in.size)
        {
            m_failure = {StatusCode::invalidInput, path(".dat") + ": not the " + std::to_string(m_in.size) + " x " +
                                                       std::to_string(m_in.size) + " map of the demo"};
            return false;
        }
        closeUps();
        LargeBuffer<std::uint8_t> rgb;
        RenderDatPicture(m_terrain, LoadedDat{}, false, ReliefSettings{}, rgb);
        return keep(path("_after.png"), rgb, "shaded relief of the height file, after levering", m_after);
    }

    bool water()
    {
        if (!m_in.water)
            return true;
        LargeBuffer<std::uint8_t> rgb;
        {
            LoadedDat surface;
            if (!(m_failure = LoadDatFile(path("_w.dat"), surface)))
                return false;
            if (surface.width != m_terrain.width || surface.height != m_terrain.height)
            {
                m_failure = {StatusCode::invalidInput, path("_w.dat") + ": not the size of " + path(".dat")};
                return false;
            }
            RenderDatPicture(surface, m_terrain, true, ReliefSettings{}, rgb);
        }
        m_terrain = {};
        if (!write(path("_water.png"), rgb.data(), m_in.size, m_in.size, 3, "water depth over the height file"))
            return false;
        m_water = DemoPanel({rgb.data(), m_in.size, m_in.size, 3});
        return true;
    }

    bool cliff()
    {
        m_terrain = {};
        GreyImage mask;
        if (!(m_failure = LoadGreyImage(path("_cliff.bmp"), mask)))
            return false;
        if (!write(path("_cliff.png"), mask.pixels.data(), mask.width, mask.height, 1, "the cliff mask"))
            return false;
        m_cliff = DemoPanel({mask.pixels.data(), mask.width, mask.height, 1});
        return true;
    }

    bool overview()
    {
        std::vector<OverviewPanel> panels;
        panels.push_back({"Relief before levering", std::move(m_before)});
        panels.push_back({"Relief after levering", std::move(m_after)});
        if (!m_closeUp.empty())
            panels.push_back({"Runway: before | after", std::move(m_closeUp)});
        if (!m_water.empty())
            panels.push_back({"Water depth", std::move(m_water)});
        panels.push_back({"Cliff mask", std::move(m_cliff)});
        if (!m_in.shorelines.empty())
            panels.push_back({"Shorelines", m_in.shorelines});
        const std::size_t count = panels.size();
        const Picture canvas = ComposeOverview(panels, OverviewLayout{});
        return write(path("_overview.png"), canvas.pixels.data(), canvas.width, canvas.height, 3,
                     std::to_string(count) + " panels for the README");
    }

    const DemoPictureInputs& m_in;
    const DemoPictureReport& m_report;
    IProgressSink& m_progress;
    mutable Status m_failure;    // why the step that stopped the run failed
    LoadedDat m_terrain;         // the height file, from after() to water()
    HeightWindow m_windowBefore; // the RAW heights around the runway, from before() to after()
    Picture m_before, m_after, m_closeUp, m_water, m_cliff;
};

} // namespace

Picture DemoPanel(PixelsView picture)
{
    return FitToSide(picture, kDemoPanelSide);
}

Status WriteDemoPictures(const DemoPictureInputs& inputs, const DemoPictureReport& report, IProgressSink& progress)
{
    try
    {
        return DemoPictures(inputs, report, progress).run();
    }
    catch (const std::bad_alloc&)
    {
        return {StatusCode::tooLarge, "not enough memory for the pictures"};
    }
}
