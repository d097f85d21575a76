#pragma once
// The sector range one run of a residual search covers, so a search can be
// split over machines and the parts joined into the whole search's finds.
#include <cstdint>

namespace delvora {

/// Sectors [first, end), 512-byte units counted from the volume's first
/// sector. An item belongs to the part holding its first sector (the
/// cluster, record slot or inode slot where the scan finds it; a carved
/// file's header), so parts that tile the volume find together what the
/// whole search finds. Reads past end go only as far as an item starting
/// inside needs.
struct ResidualPart {
    uint64_t first = 0;
    uint64_t end = UINT64_MAX;
    bool Holds(uint64_t sector) const { return sector >= first && sector < end; }
    bool Whole() const { return first == 0 && end == UINT64_MAX; }
};

/// Clusters [first, end) of a cluster heap whose first sectors lie in a part.
struct ClusterSpan {
    uint64_t first = 0;
    uint64_t end = 0;
};

/// The clusters, numbered from 2 and below clusterEnd, whose first sector
/// lies in part; heapUnit: cluster 2's first sector, unitsPerCluster > 0,
/// both in 512-byte units.
inline ClusterSpan PartClusters(const ResidualPart& part, uint64_t heapUnit, uint64_t unitsPerCluster,
                                uint64_t clusterEnd) {
    // The first cluster starting at or after a sector.
    auto from = [&](uint64_t sector) -> uint64_t {
        if (sector <= heapUnit) return 2;
        const uint64_t d = sector - heapUnit;
        const uint64_t k = d / unitsPerCluster + (d % unitsPerCluster != 0);
        return k > clusterEnd ? clusterEnd : 2 + k;
    };
    const uint64_t first = from(part.first), end = from(part.end);
    return {first < clusterEnd ? first : clusterEnd, end < clusterEnd ? end : clusterEnd};
}

/// The part in sectors of `unit` bytes (a multiple of 512): those whose
/// first 512-byte unit it holds.
inline ResidualPart PartInUnits(const ResidualPart& part, uint32_t unit) {
    const uint64_t r = unit >= 512 ? unit / 512 : 1;
    auto up = [r](uint64_t v) { return v / r + (v % r != 0); };
    return {up(part.first), part.end == UINT64_MAX ? UINT64_MAX : up(part.end)};
}

}  // namespace delvora
