#pragma once
// The demo's example data: a deterministic fractal landscape (sea in the south, a coast,
// valleys, steep ridges in the north, lakes and a river running to the sea) and the inputs the
// other jobs need from it. Every size shows the same 51.2 km square: the first levels of the
// fractal are the same at every size, the larger sizes add finer detail.
#include <cstdint>
#include <vector>

inline constexpr int kDemoMinSize = 257;
inline constexpr int kDemoMaxSize = 8193;
inline constexpr int kDemoDefaultSize = 1025;
// The process job's sea level setting for the demo: its sea height (x 257) is the terrain's
// sea level, so the sea fill and the water mask agree.
inline constexpr int kDemoSeaLevelSetting = 35;
inline constexpr float kDemoExtentMetres = 51200.0f; // the landscape's side, whatever the size

struct DemoLake
{
    float x = 0, y = 0;      // centre, in samples
    float radius = 0;        // mean shore radius, in samples
    float phase = 0;         // of the shore's wobble
    std::uint16_t level = 0; // water surface height
};

struct DemoTerrain
{
    int size = 0;                       // samples along each side
    float pixelSize = 50.0f;            // metres per sample
    std::uint16_t seaLevel = 0;         // samples below it are sea
    std::vector<std::uint16_t> heights; // size x size, row 0 the northern edge

    // Water that is not sea, carved into the heights: lakes and one river flowing south.
    std::vector<DemoLake> lakes;
    float riverHalfWidth = 0;      // in samples
    std::vector<float> riverX;     // the river's centre column in each row (rows it crosses)
    std::vector<float> riverLevel; // its water surface height in each row; 0 where it has none
};

// The shore radius of a lake in a direction (radians), and a position's distance from its
// centre in shore radii (below 1: under the lake).
float LakeShoreRadius(const DemoLake& lake, float angle);
float LakeDistance(const DemoLake& lake, float x, float y);

// The highest water surface that reaches a position (in samples): the sea level everywhere, a
// lake's level within two shore radii, the river's level near its course. The position is
// under water where the ground is lower than this.
float DemoWaterSurface(const DemoTerrain& terrain, float x, float y);

// Synthesises the landscape on `threads` threads (0: every core); the same size and seed give
// the same heights whatever the number of threads. size is kDemoMinSize..kDemoMaxSize.
DemoTerrain SynthesizeDemoTerrain(int size, std::uint32_t seed = 1, int threads = 0);

// A shaded-relief colour picture of the terrain (red, green, blue per pixel, top row first),
// scaled down by an integer factor to at most maxSide pixels along a side.
std::vector<std::uint8_t> RenderTerrainPreview(const DemoTerrain& terrain, int maxSide, int& width, int& height);
