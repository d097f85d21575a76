#pragma once
// A volume that reads nothing: every operation answers false or 0. Test
// doubles derive from it and override only what their tests exercise.
#include <memory>
#include <string>
#include <vector>

#include "fs/volume.h"

namespace delvora::test {

class StubVolume : public Volume {
public:
    StubVolume() : Volume(std::make_unique<FileTree>()) {}
    using Volume::SetDescription;

    bool Prepare() override { return true; }
    bool LoadTree() override { return true; }
    LoadTraits Traits() const override { return {}; }
    bool ReadItemRange(FileItem*, uint8_t*, uint64_t, uint32_t, const ClusterRunList*) override { return false; }
    bool GetItemRuns(FileItem*, ClusterRunList&) override { return false; }
    bool GetItemSizes(FileItem*, const ClusterRunList&, uint64_t&, uint64_t&) override { return false; }
    using Volume::GetItemSizes;
    bool ReadWholeItem(FileItem*, std::vector<uint8_t>&, uint64_t&, uint64_t&) override { return false; }
    bool GetItemExtent(FileItem*, uint64_t&, uint64_t&) override { return false; }
    bool ListRootSectors(ClusterRunList&) override { return false; }
    bool ListRegions(std::vector<DiskRegion>&) override { return false; }
    uint64_t ClusterToSector(uint64_t) const override { return 0; }
    uint64_t SectorToCluster(uint64_t) const override { return 0; }
    uint32_t BytesPerCluster() const override { return 512; }
    uint32_t SectorsPerCluster() const override { return 1; }
    bool ReadRaw(uint8_t*, uint32_t, uint64_t, bool) override { return false; }
    int FileSystemKind() const override { return kFat32; }
    bool ConvertRunsToSectors(FileItem*, const ClusterRunList&, ClusterRunList&) override { return false; }
};

}  // namespace delvora::test
