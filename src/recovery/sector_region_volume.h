#pragma once
// A stretch of sectors with no file system read: a whole raw image, or a
// partition taken as bare sectors. Its only items are the files carved out
// of it, under the recycle item; they read like any other item, so the
// export code recovers them.
#include <cstdint>
#include <utility>
#include <vector>

#include "fs/volume.h"
#include "recovery/carver.h"

namespace delvora {

class SectorRegionVolume final : public Volume {
public:
    SectorRegionVolume();

    /// Checks that the region has a source and sectors.
    bool Prepare() override;
    bool LoadTree() override { return true; }
    LoadTraits Traits() const override { return {true, 0, false}; }

    /// Carves the region's sectors (the options' HTML and DOC switches) in
    /// large sequential reads; the "HTML" and "DOC" folders replace the
    /// previous results. A failed read skips its block; a stop request ends
    /// the pass with what was found so far.
    bool ResidualSearch() override;

    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                       const ClusterRunList* runs) override;
    bool GetItemRuns(FileItem* item, ClusterRunList& runs) override;
    bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) override;
    using Volume::GetItemSizes;
    bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) override;
    bool GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) override;
    bool ListRootSectors(ClusterRunList&) override { return true; }
    bool ListRegions(std::vector<DiskRegion>& regions) override;
    uint64_t ClusterToSector(uint64_t cluster) const override { return cluster; }
    uint64_t SectorToCluster(uint64_t sector) const override { return sector; }
    uint32_t BytesPerCluster() const override { return 512; }
    uint32_t SectorsPerCluster() const override { return 1; }
    bool ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) override;
    int FileSystemKind() const override { return 0; }
    bool ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) override;

    /// Carves only these runs of region sectors, taken as one stream (the
    /// free space of a file system); gaps are tried in clusters of
    /// clusterBytes. Empty runs: the whole region.
    void SetCarveRuns(std::vector<std::pair<uint64_t, uint64_t>> runs, uint32_t clusterBytes);
    /// Carves only the files that start in stream sectors [first, end)
    /// (Carver::SetPart); reads past end only for what they need.
    void SetCarvePart(uint64_t first, uint64_t end) {
        m_partFirst = first;
        m_partEnd = end;
    }
    /// Starts the carve as a pass that came to the part's first sector would
    /// (Carver::SetEntry).
    void SetCarveEntry(uint64_t skipUntil, uint64_t htmlFrom) {
        m_entrySkip = skipUntil;
        m_entryHtml = htmlFrom;
    }
    /// The last carve's decisions and its pages (stream sectors).
    const std::vector<CarveEvent>& CarveEvents() const { return m_events; }
    const std::vector<CarvedFile>& CarvedPages() const { return m_pages; }
    /// Takes these pages and files (region sectors, no carve runs) as if a
    /// carve had found them: the folders under the recycle item, the
    /// rejected count and CarvedFiles.
    bool AdoptCarved(std::vector<CarvedFile> pages, std::vector<CarvedFile> files, uint64_t rejected);
    /// Header hits the last carve rejected.
    uint64_t Rejected() const { return m_rejected; }
    /// The files (other than web pages) the last carve found, stream sectors.
    const std::vector<CarvedFile>& CarvedFiles() const { return m_carved; }

private:
    /// Sectors of the carved stream.
    uint64_t StreamSectors() const;
    /// Reads stream sectors (mapped through the carve runs).
    bool ReadStream(uint64_t sector, uint8_t* dest, size_t bytes);
    /// Region sectors of a run of stream sectors, appended to runs.
    void MapStream(uint64_t first, uint64_t count, ClusterRunList& runs) const;

    std::vector<std::pair<uint64_t, uint64_t>> m_carveRuns;  // first region sector, count
    std::vector<uint64_t> m_carveStarts;                      // stream sector of each run
    uint32_t m_clusterBytes = 4096;
    uint64_t m_partFirst = 0;
    uint64_t m_partEnd = UINT64_MAX;
    uint64_t m_entrySkip = 0;
    uint64_t m_entryHtml = 0;
    std::vector<CarveEvent> m_events;
    std::vector<CarvedFile> m_pages;
    /// Hangs the folders of pages and files under the recycle item.
    bool HangCarved(const std::vector<CarvedFile>& pages, const std::vector<CarvedFile>& files);
    uint64_t m_rejected = 0;
    std::vector<CarvedFile> m_carved;

    /// Reads count bytes from a region-relative sector, inside the region.
    bool ReadSectors(uint64_t sector, uint8_t* dest, uint32_t count);
};

}  // namespace delvora
