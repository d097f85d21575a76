#pragma once
// FAT images for the tests: made by mkfs.fat and mtools at test time, or
// built byte by byte for the cases the tools never produce.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/recorders.h"
#include "common/reporting.h"
#include "disk/block_backend.h"
#include "disk/data_source.h"
#include "fs/fat/fat_volume.h"

namespace delvora::test {

/// A source and a FAT volume on it, prepared and loaded.
struct LoadedFat {
    std::unique_ptr<DataSource> source;
    std::unique_ptr<FatVolume> volume;
    bool prepared = false;
};

/// Opens a backend (bytes made in memory) and loads the FAT volume on it.
LoadedFat LoadFatFrom(std::unique_ptr<BlockBackend> backend, const CoreContext& context);

/// Opens an image file and loads the FAT volume at startSector (Prepare,
/// LoadTree, ReleaseLoadTables). `prepared` tells whether Prepare passed.
LoadedFat LoadFat(const std::string& path, int fatKind, const CoreContext& context, uint32_t startSector = 0);

/// The item at a '/'-separated path below the root, or null.
FileItem* FindItem(FileItem& root, const std::string& path);

/// Every item below the root by '/'-separated path → deleted flag.
std::map<std::string, bool> ListTree(const FileItem& root);

/// The standard content the tool-made images carry, by path: nested
/// folders, a long Chinese name, a file over 64 KiB, an empty file.
std::map<std::string, std::vector<uint8_t>> StandardFiles();

/// Makes a FAT image of a kind (12, 16, 32) in dir with mkfs.fat and
/// mtools: the standard files, plus a deleted file (gone.txt) and a deleted
/// folder with children (old/inner/a.txt). Sectors other than 512 bytes
/// come with one sector per cluster (sparse images). Empty path on failure.
std::string MakeToolImage(const std::string& dir, int fatBits, uint32_t sectorSize = 512);

/// The same content on a bare FAT32 volume of 32 MiB with one sector per
/// cluster: fewer than 65,525 clusters. mtools refuses such a volume, so it
/// is filled while its boot sector claims 40 MiB, then cut down.
std::string MakeSmallFat32Image(const std::string& dir);

/// fls -r -p of a volume at a sector offset: '/'-separated path → deleted
/// flag, without fls's virtual entries. Empty when fls fails.
std::map<std::string, bool> FlsTree(const std::string& image, uint64_t sectorOffset = 0);

/// One line of fls -m (the body format): an item as The Sleuth Kit sees it.
struct FlsItem {
    uint64_t inode = 0;
    bool deleted = false;
    bool directory = false;
    uint64_t size = 0;
    int64_t accessed = 0, modified = 0, created = 0;  // Unix seconds; 0: none
};
/// fls -m / -r -p with a file-system type (-f, "" to let it choose): path
/// without the leading '/' → item, virtual entries left out.
std::map<std::string, FlsItem> FlsBody(const std::string& image, const std::string& fsType = "");

/// A small FAT12 volume built in memory: 512-byte clusters, 16 root
/// entries, data from sector 4, 60 clusters.
class TinyFat12 {
public:
    static constexpr uint32_t kDataStart = 4;
    TinyFat12();
    void SetFat(uint32_t cluster, uint32_t value);
    /// Writes a 32-byte entry into the root (index) or a cluster's slot.
    void SetRootEntry(size_t index, const std::vector<uint8_t>& entry);
    void SetClusterEntry(uint32_t cluster, size_t index, const std::vector<uint8_t>& entry);
    void FillCluster(uint32_t cluster, uint8_t value);
    std::vector<uint8_t>& Bytes() { return m_image; }
    std::string Write(const std::string& path) const;

private:
    std::vector<uint8_t> m_image;
};

/// A FAT32 volume as a test lays it out: 512-byte sectors, one sector a
/// cluster, 32 reserved sectors, two FATs.
struct Fat32Layout {
    uint32_t totalSectors = 0;
    uint32_t fatSectors = 0;
    uint32_t rootCluster = 2;
    std::vector<uint8_t> BootSector() const;
    uint64_t DataStart() const { return 32 + 2 * uint64_t{fatSectors}; }
    uint64_t FatOffset(uint32_t cluster) const { return 32 * 512 + uint64_t{cluster} * 4; }
    uint64_t ClusterOffset(uint32_t cluster) const { return (DataStart() + cluster - 2) * 512; }
};

/// A FAT32 volume whose bytes are made as they are read, as large or as
/// deep as a test needs without storing it: the boot sector from the
/// layout, each FAT entry and each cluster from a function.
class GeneratedFat32 final : public BlockBackend {
public:
    using FatEntry = std::function<uint32_t(uint32_t cluster)>;
    using Cluster = std::function<void(uint32_t cluster, uint8_t* bytes)>;  // fills 512 bytes
    GeneratedFat32(Fat32Layout layout, FatEntry fatEntry, Cluster cluster)
        : m_layout(layout), m_fatEntry(std::move(fatEntry)), m_cluster(std::move(cluster)) {}
    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) override;

private:
    Fat32Layout m_layout;
    FatEntry m_fatEntry;
    Cluster m_cluster;
};

/// A short (8.3) entry: name11 is the 11 padded name bytes.
std::vector<uint8_t> ShortEntry(const std::string& name11, uint8_t attributes, uint32_t cluster, uint32_t size,
                                uint8_t caseFlags = 0);
/// A long-name entry with sequence byte and up to 13 characters.
std::vector<uint8_t> LongEntry(uint8_t sequence, const std::u16string& chars);

}  // namespace delvora::test
