#pragma once
// The nodata cells of an imported map, and the heights they get. A DEM has two kinds: a void,
// a connected region of nodata that does not touch the raster's edge (a lake the sensor did not
// see, a shadow), and the cells outside its footprint (beyond a border, or the padding that makes
// a square), every nodata region that reaches the edge. Both are filled so that no job sees a
// pit, a cliff or a wall where the data stop: every nodata cell becomes the average of its eight
// neighbours (a membrane stretched over the void from its rim, and outward from the footprint's
// edge to the raster's edge), so that each filled height lies between the lowest and the highest
// of the valid cells around its region.
#include <cstdint>
#include <string>

// What a cell of a nodata mask holds: data, or one of the two kinds of nodata.
enum class NodataKind : std::uint8_t
{
    Data = 0,
    Void = 1,    // in a nodata region that does not touch the raster's edge
    Outside = 2, // in one that does: outside the footprint
};

struct NodataCounts
{
    long long voidCells = 0;
    long long outsideCells = 0;
    long long voids = 0; // regions of void cells, each 8-connected

    long long cells() const { return voidCells + outsideCells; }
};

// Sorts the nodata cells of `mask` (width x height, row-major, nonzero where there is no data)
// into voids and cells outside the footprint, writing NodataKind values; regions are
// 8-connected. Returns what it found.
NodataCounts ClassifyNodata(std::uint8_t* mask, int width, int height);

// Fills the samples where `mask` (as ClassifyNodata left it) is not Data from the data around
// them: the solution of Laplace's equation over each region with its rim's samples held, to the
// sample (the result depends on nothing but the inputs). Every filled sample lies between the
// lowest and highest sample of the data cells 8-adjacent to its region. `mask` must have at
// least one Data cell.
void FillNodata(std::uint16_t* samples, const std::uint8_t* mask, int width, int height);

// For summaries: "2 voids of 1234 cells filled from their rims, 5678 cells outside the footprint
// carried outward from its edge", or with `filled` false "..., all set to one height"; "none"
// when there are no nodata cells.
std::string DescribeNodata(const NodataCounts& counts, bool filled);
