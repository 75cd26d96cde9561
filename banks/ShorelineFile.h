#pragma once
// The shoreline file (".sl"): plain text, one block per line of the set, in set order:
//
//   [LINE=<i>]                 i = 0, 1, ... without gaps
//   <tab>point_xz=<z>,<x>      one per point, z first; both whole metres printed with ".00"
//   [END]
//   <empty line>
//
// Line ends are "\n", the decimal separator is always ".", whatever the locale. An empty set
// gives an empty file. Layout with an example in docs/FORMATS.md.
#include "banks/Shoreline.h"

#include <string>

// The file's text. Refuses (tooLarge) a set beyond the 16-bit counts of the format.
StatusOr<std::string> FormatShorelines(const ShorelineSet& lines);

// FormatShorelines written atomically to `path`: on any failure (writeFailed, or a refusal)
// an existing file at `path` is left as it was. The messages name no file.
Status WriteShorelineFile(const std::string& path, const ShorelineSet& lines);

// Total number of points in the set.
std::size_t CountShorePoints(const ShorelineSet& lines);
