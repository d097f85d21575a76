#pragma once
// The sectors of a loaded volume that no live item owns: what carving the
// free space searches.
#include <cstdint>
#include <utility>
#include <vector>

#include "fs/volume.h"

namespace delvora {

/// Runs (first sector, count) of volume sectors from dataStart to
/// totalSectors that no live item (neither deleted nor found) holds, in
/// ascending order. False when memory fails.
bool FreeSectorRuns(Volume& volume, uint64_t dataStart, uint64_t totalSectors,
                    std::vector<std::pair<uint64_t, uint64_t>>& free);

}  // namespace delvora
