#pragma once
// The optional inputs of the process and banks jobs, made from the demo landscape: a lever
// bitmap that flattens a runway, and a compressed water mask of its sea, lakes and river.
#include "demo/DemoTerrain.h"
#include "base/LargeBuffer.h"

#include <cstdint>
#include <string>
#include <vector>

struct DemoRunway
{
    int x = 0, y = 0;          // top-left sample
    int length = 0, width = 0; // in samples, east-west and north-south
    std::uint16_t target = 0;  // the height it is flattened to (red * 256)
};

// The flattest stretch of dry land that takes a 2.5 km by 300 m runway, its target the mean
// height there rounded to a multiple of 256. Length 0 when the landscape has no such place.
DemoRunway FindDemoRunway(const DemoTerrain& terrain);

// Writes the lever bitmap: a 24-bit BMP as large as the terrain, red = target / 256 (and blue
// 255) on the runway, black elsewhere. False when the file could not be written.
bool WriteDemoLever(const std::string& path, const DemoTerrain& terrain, const DemoRunway& runway);

// Water-mask cells along one height sample for a terrain of `size` samples, and the side of the
// mask's blocks. At the default size the desktop's own scale 5 in blocks of 320 cells: the mask
// of (1025 - 1) x 5 = 5120 cells is 16 whole blocks, each 64 whole samples, so the process job
// and the shoreline job at the desktop's defaults draw it without a gap. Other sizes take 4, or
// 2 or 1 where the mask would pass 16384 cells along a side, in blocks of 256 cells: a power of
// two, so that a block covers a whole number of water-image pixels too.
int DemoWaterScale(int size);
int DemoWaterBlock(int size);

// Cells along each side of the water mask: (size - 1) * scale rounded down to whole blocks
// of DemoWaterBlock(size) cells, so that the process job places the mask from the top row down
// and leaves the terrain's last row and column beyond it (exactly those for sizes 2^k + 1).
int DemoWaterMaskSide(int size, int scale);

// The water mask at `scale`, row 0 the north. Cell (c, r) lies on sample (c / scale,
// top + r / scale) with top = size - 1 - side / scale, as the process job places it. A cell's
// value says how far its centre lies inside the water: 7.5 plus 15 per cell of distance from
// the shore (the water's depth over the ground's fall per cell, a fall of at least
// kDemoShoreSoftness height units), rounded and clamped to 0..15. So the edge is about one cell
// wide and soft, deep water is 15, dry land 0, and 8 (water) starts exactly at the shore.
inline constexpr float kDemoShoreSoftness = 4.0f;
LargeBuffer<std::uint8_t> BuildDemoWaterMask(const DemoTerrain& terrain, int scale, int threads = 0);
