#include "chart/disk_map.h"

#include <algorithm>
#include <array>
#include <new>
#include <set>

#include "common/translation.h"
#include "fs/file_item.h"

namespace delvora {
namespace {

// Colours of the cell styles; 9, 12, 16 and 17 take the classic desktop's
// system colours (button face, scroll bar, grey text, highlight).
constexpr std::array<RegionStyle, 25> kStyles = {{
    {},
    {0xFF9614, TrNoop("DiskMap", "启动卷"), 0, false, true},
    {0x00FFFF, "FAT1", '1', false, true},
    {0x00FFFF, "FAT2", '2', false, true},
    {},
    {},
    {0x00FF00, TrNoop("DiskMap", "根文件夹"), 0, false, true},
    {0x0000FF, TrNoop("DiskMap", "已分配"), 0, false, true},
    {0xDCD2D2, "", 0, true, true},
    {0xD4D0C8, "", 0, false, true},
    {0xFFFF00, "", 0, false, true},
    {0xFF00FF, "", 0, false, true},
    {0xC8C8C8, TrNoop("DiskMap", "Dos启动扇区"), 0, false, true},
    {0xC8FFC8, "", 0, false, true},
    {0x969696, "", 0, false, true},
    {0xC8C8C8, "", '?', false, true},
    {0x808080, "", 0, false, true},
    {0x0A246A, "", 0, false, true},
    {0x3291FA, "NTFS MFT", 'M', false, true},
    {0x6673A0, TrNoop("DiskMap", "超级块"), 's', false, true},
    {0x962DBE, TrNoop("DiskMap", "组描述符"), 'g', false, true},
    {0xFA2D64, TrNoop("DiskMap", "块位图"), 0, false, true},
    {0x5F9656, TrNoop("DiskMap", "索引节点位图"), 0, false, true},
    {0xAABE64, TrNoop("DiskMap", "索引节点表"), 'I', false, true},
    {0x64C8C8, TrNoop("DiskMap", "大小写表"), 'U', false, true},
}};

}  // namespace

const RegionStyle& StyleOfRegion(uint8_t type) {
    static const RegionStyle kNone{};
    return type < kStyles.size() ? kStyles[type] : kNone;
}

const std::vector<uint8_t>& LegendTypes() {
    static const std::vector<uint8_t> kTypes{1, 2, 3, 6, 7, 12, 18, 19, 20, 21, 22, 23, 24};
    return kTypes;
}

void DiskMap::ClearRegions() {
    m_regions.clear();
    m_maxLast = 0;
    m_flatValid = false;
    Rescale();
}

void DiskMap::AddRegion(uint8_t type, uint64_t first, uint64_t last) {
    // The sweep below needs last + 1 to exist.
    last = std::min(last, UINT64_MAX - 1);
    if (first > last) return;
    m_regions.push_back({first, last, type});
    m_maxLast = std::max(m_maxLast, last);
    m_flatValid = false;
    Rescale();
}

void DiskMap::ClearMarks() {
    m_marks.clear();
    m_markEnds.clear();
    m_sortedMarks.clear();
    m_marksSorted = true;
}

void DiskMap::AddMark(uint64_t first, uint64_t last) {
    last = std::min(last, UINT64_MAX - 1);
    if (first > last) return;
    m_marksSorted = false;
    auto joined = m_markEnds.find(first);
    if (joined != m_markEnds.end()) {
        const size_t index = joined->second;
        m_markEnds.erase(joined);
        m_marks[index].last = std::max(m_marks[index].last, last);
        m_markEnds[m_marks[index].last + 1] = index;
        return;
    }
    m_marks.push_back({first, last});
    m_markEnds.emplace(last + 1, m_marks.size() - 1);
}

void DiskMap::SetCellBudget(uint64_t budget) {
    m_budget = std::max<uint64_t>(budget, 1);
    Rescale();
}

void DiskMap::Rescale() {
    if (m_regions.empty()) {
        m_sectorsPerCell = 1;
        m_cellCount = 0;
        m_currentSector = 0;
        return;
    }
    const uint64_t sectors = m_maxLast + 1;  // AddRegion keeps m_maxLast below UINT64_MAX
    m_sectorsPerCell = sectors <= m_budget ? 1 : sectors / m_budget + (sectors % m_budget != 0);
    m_cellCount = sectors / m_sectorsPerCell + (sectors % m_sectorsPerCell != 0);
    if (m_currentSector > m_maxLast) m_currentSector = 0;
}

uint64_t DiskMap::FirstSectorOfCell(uint64_t cell) const {
    return cell > UINT64_MAX / m_sectorsPerCell ? UINT64_MAX : cell * m_sectorsPerCell;
}

void DiskMap::Flatten() const {
    m_flat.clear();
    m_flatValid = true;
    // Boundaries where the set of covering regions changes; between two of
    // them the region added first (lowest index) decides.
    std::vector<std::pair<uint64_t, size_t>> starts, ends;
    starts.reserve(m_regions.size());
    ends.reserve(m_regions.size());
    for (size_t i = 0; i < m_regions.size(); ++i) {
        starts.emplace_back(m_regions[i].first, i);
        ends.emplace_back(m_regions[i].last + 1, i);
    }
    std::sort(starts.begin(), starts.end());
    std::sort(ends.begin(), ends.end());
    std::set<size_t> active;
    size_t s = 0, e = 0;
    // Each step consumes at least one start or end event.
    while (s < starts.size() || e < ends.size()) {
        const uint64_t at = e >= ends.size() || (s < starts.size() && starts[s].first < ends[e].first)
                                ? starts[s].first
                                : ends[e].first;
        while (e < ends.size() && ends[e].first == at) active.erase(ends[e++].second);
        while (s < starts.size() && starts[s].first == at) active.insert(starts[s++].second);
        if (active.empty()) continue;
        uint64_t next = UINT64_MAX;
        if (s < starts.size()) next = std::min(next, starts[s].first);
        if (e < ends.size()) next = std::min(next, ends[e].first);
        const uint8_t type = m_regions[*active.begin()].kind;
        if (!m_flat.empty() && m_flat.back().kind == type && m_flat.back().last + 1 == at)
            m_flat.back().last = next - 1;
        else
            m_flat.push_back({at, next - 1, type});
    }
}

std::optional<uint8_t> DiskMap::CellType(uint64_t cell) const {
    if (cell >= m_cellCount) return std::nullopt;
    if (!m_flatValid) Flatten();
    const uint64_t first = FirstSectorOfCell(cell);
    const uint64_t last = first + (m_sectorsPerCell - 1);
    // The first piece that ends at or after the cell's first sector.
    auto it = std::lower_bound(m_flat.begin(), m_flat.end(), first,
                               [](const DiskRegion& piece, uint64_t sector) { return piece.last < sector; });
    if (it == m_flat.end() || it->first > last) return std::nullopt;
    return it->kind;
}

bool DiskMap::CellMarked(uint64_t cell) const {
    if (m_marks.empty()) return false;
    if (!m_marksSorted) {
        m_sortedMarks = m_marks;
        std::sort(m_sortedMarks.begin(), m_sortedMarks.end(),
                  [](const MapMark& a, const MapMark& b) { return a.first < b.first; });
        // Overlapping marks are merged so that one search finds any of them.
        size_t out = 0;
        for (size_t i = 1; i < m_sortedMarks.size(); ++i) {
            if (m_sortedMarks[i].first <= m_sortedMarks[out].last + 1)
                m_sortedMarks[out].last = std::max(m_sortedMarks[out].last, m_sortedMarks[i].last);
            else
                m_sortedMarks[++out] = m_sortedMarks[i];
        }
        m_sortedMarks.resize(out + 1);
        m_marksSorted = true;
    }
    const uint64_t first = FirstSectorOfCell(cell);
    const uint64_t last = first > UINT64_MAX - (m_sectorsPerCell - 1) ? UINT64_MAX : first + (m_sectorsPerCell - 1);
    auto it = std::lower_bound(m_sortedMarks.begin(), m_sortedMarks.end(), first,
                               [](const MapMark& mark, uint64_t sector) { return mark.last < sector; });
    return it != m_sortedMarks.end() && it->first <= last;
}

bool DiskMap::SetCurrentCell(uint64_t cell) {
    if (cell >= m_cellCount) return false;
    m_currentSector = FirstSectorOfCell(cell);
    return true;
}

bool DiskMap::SetCurrentSector(uint64_t sector) {
    if (CellOfSector(sector) >= m_cellCount) return false;
    m_currentSector = sector;
    return true;
}

bool LoadVolumeRegions(Volume& volume, DiskMap& map) {
    map.ClearRegions();
    try {
        std::vector<DiskRegion> regions;
        if (!volume.ListRegions(regions)) return false;
        for (const DiskRegion& region : regions) map.AddRegion(region.kind, region.first, region.last);
        return !regions.empty();
    } catch (const std::bad_alloc&) {
        map.ClearRegions();
        return false;
    }
}

bool MarkItemSectors(Volume& volume, FileItem* item, DiskMap& map) {
    map.ClearMarks();
    if (!item) return false;
    try {
        ClusterRunList runs, sectors;
        if (!volume.GetItemRuns(item, runs) || !volume.ConvertRunsToSectors(item, runs, sectors)) return false;
        uint64_t lowest = UINT64_MAX;
        for (const ClusterRun& run : sectors) {
            if (run.count == 0) continue;
            const uint64_t last = run.first > UINT64_MAX - (run.count - 1) ? UINT64_MAX : run.first + (run.count - 1);
            map.AddMark(run.first, last);
            lowest = std::min(lowest, run.first);
        }
        if (lowest != UINT64_MAX) map.SetCurrentSector(lowest);
        return !map.Marks().empty();
    } catch (const std::bad_alloc&) {
        map.ClearMarks();
        return false;
    }
}

}  // namespace delvora
