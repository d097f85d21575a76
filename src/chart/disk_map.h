#pragma once
// The data behind the disk map: a volume's regions (boot area, FAT copies,
// MFT, EXT2 group structures, allocated space), the marks of a selected
// file, the current cell and the scale that maps sectors onto cells. No
// drawing here: the widget and the command line's picture read this model.
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fs/volume.h"

namespace delvora {

struct FileItem;

/// A run of marked sectors, both ends inclusive.
struct MapMark {
    uint64_t first = 0;
    uint64_t last = 0;
    bool operator==(const MapMark&) const = default;
};

/// How a region type is drawn: its cell colour (0xRRGGBB), the legend label
/// (empty for unlabelled types), the letter in the cell, whether the cell
/// carries an ellipse, and whether the type is drawn at all.
struct RegionStyle {
    uint32_t rgb = 0;
    std::string_view label;
    char letter = 0;
    bool ellipse = false;
    bool drawn = false;
};

/// The style of a region type; types without a style are not drawn.
const RegionStyle& StyleOfRegion(uint8_t type);
/// The labelled types in legend order ("启动卷" … "索引节点表").
const std::vector<uint8_t>& LegendTypes();

/// Above this many cells one cell stands for a run of sectors (a real disk
/// has billions of sectors; neither a picture nor 32-bit scroll arithmetic
/// holds one cell each).
inline constexpr uint64_t kDefaultCellBudget = 1u << 20;

class DiskMap {
public:
    void ClearRegions();
    /// Appends a region (sectors, inclusive); first > last is ignored. Where
    /// regions overlap, the one added first decides.
    void AddRegion(uint8_t type, uint64_t first, uint64_t last);
    const std::vector<DiskRegion>& Regions() const { return m_regions; }

    void ClearMarks();
    /// Extends the mark that ends just before first, else appends a mark.
    void AddMark(uint64_t first, uint64_t last);
    const std::vector<MapMark>& Marks() const { return m_marks; }

    /// One cell per sector up to budget cells, then as many sectors a cell
    /// as keep the count within it. A budget of 0 counts as 1.
    void SetCellBudget(uint64_t budget);
    uint64_t SectorsPerCell() const { return m_sectorsPerCell; }
    /// Cells needed for every region (0 without regions).
    uint64_t CellCount() const { return m_cellCount; }
    uint64_t CellOfSector(uint64_t sector) const { return sector / m_sectorsPerCell; }
    uint64_t FirstSectorOfCell(uint64_t cell) const;

    /// The type of the first sector of the cell that lies in a region (the
    /// first region added wins where they overlap); nullopt when none does.
    std::optional<uint8_t> CellType(uint64_t cell) const;
    /// True when some sector of the cell is marked.
    bool CellMarked(uint64_t cell) const;

    /// Ignored (false) for a cell at or beyond the cell count.
    bool SetCurrentCell(uint64_t cell);
    uint64_t CurrentCell() const { return CellOfSector(m_currentSector); }
    /// The sector the current cell was chosen for (its first, or a marked one).
    bool SetCurrentSector(uint64_t sector);
    uint64_t CurrentSector() const { return m_currentSector; }

private:
    void Rescale();
    void Flatten() const;

    std::vector<DiskRegion> m_regions;
    std::vector<MapMark> m_marks;
    std::unordered_map<uint64_t, size_t> m_markEnds;  // last + 1 → index in m_marks
    uint64_t m_maxLast = 0;
    uint64_t m_budget = kDefaultCellBudget;
    uint64_t m_sectorsPerCell = 1;
    uint64_t m_cellCount = 0;
    uint64_t m_currentSector = 0;  // a sector, so that a new scale keeps the place
    // Disjoint pieces sorted by sector, each with the type that wins there,
    // and the marks in sector order; rebuilt when the lists change.
    mutable std::vector<DiskRegion> m_flat;
    mutable bool m_flatValid = false;
    mutable std::vector<MapMark> m_sortedMarks;
    mutable bool m_marksSorted = true;
};

/// Fills the map with the volume's regions (cleared first). False when the
/// volume gives none; the map is then empty.
bool LoadVolumeRegions(Volume& volume, DiskMap& map);

/// Clears the marks and marks the sectors of the item's data as the volume
/// reports them; the lowest marked sector's cell becomes the current cell.
/// False when the volume gives no runs (nothing is marked then).
bool MarkItemSectors(Volume& volume, FileItem* item, DiskMap& map);

}  // namespace delvora
