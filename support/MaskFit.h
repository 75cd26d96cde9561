#pragma once
// Which water masks fit a height map. At resolution scale S a map of M samples along a side takes
// a mask of (M - 1) x S cells along it (1280 for 257 at scale 5, 5115 for 1024, 5120 for 1025),
// cut in blocks of B cells with S dividing B, so that every block covers whole samples (and whole
// water-image pixels), and B dividing the mask's sides, so that no block passes the mask's edge
// and the block rows end on the map's last row. The process job places and the shoreline job
// draws such a mask without a gap; every size the tools suggest is one of these.
#include "base/Status.h"

// The mask's side for a map's side: (mapSide - 1) x scale.
long MaskSideForMap(long mapSide, long scale);

// The block size nearest 256 (the larger of two as near) that is a multiple of `scale` and
// divides both sides, within the format's block sizes; 0 when there is none, that is when a side
// is not a multiple of the scale.
int FittingBlockSize(long width, long height, long scale);

// Why a mask of width x height cells cannot be cut in blocks that fit at `scale`, naming the
// sides that would ("5116 is not a multiple of scale 5: 5115 or 5120 cells fit"), invalidInput;
// ok when it can.
Status MaskSideProblem(long width, long height, long scale);

// Why a mask of width x height cells does not fit a mapWidth x mapHeight map at `scale`, with
// the size that does ("the map of 257 x 257 samples takes 1280 x 1280 cells at scale 5"),
// invalidInput; ok when it fits.
Status MaskMapProblem(long width, long height, long mapWidth, long mapHeight, long scale);
