#pragma once
// A second-extended-file-system volume: geometry from the superblock (or
// typed-in parameters), a summary pass over every inode table, then the
// directory tree walked from the root inode. Items keep their inode numbers;
// every later item operation re-reads the inode from the medium.
#include <array>
#include <cstdint>
#include <vector>

#include "fs/ext2/ext2_block_map.h"
#include "fs/ext2/ext2_inode.h"
#include "fs/ext2/ext2_layout.h"
#include "fs/volume.h"

namespace delvora {

class Ext2FileTree : public FileTree {
public:
    std::array<uint8_t, kExt2SuperblockBytes> m_Superblock{};
    Ext2Geometry m_Geometry;
    Ext2GroupTable m_Groups;
    DataSource* m_pDataSource = nullptr;
    uint32_t m_dwSectorNo = 0;
    // Block numbers at or beyond this lie outside the volume (the block
    // count, cut to the partition and to the 32-bit sector space).
    uint32_t m_dwBlockLimit = 0;
};

class Ext2Volume : public Volume {
public:
    Ext2Volume();

    bool Prepare() override;
    bool LoadTree() override;
    void ReleaseLoadTables() override;
    LoadTraits Traits() const override { return LoadTraits{false, 0, false}; }

    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                       const ClusterRunList* runs) override;
    bool GetItemRuns(FileItem* item, ClusterRunList& runs) override;
    bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) override;
    using Volume::GetItemSizes;
    bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) override;
    bool GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) override;
    bool ListRootSectors(ClusterRunList&) override { return true; }
    bool ListRegions(std::vector<DiskRegion>& regions) override;
    uint64_t ClusterToSector(uint64_t) const override { return 0; }
    uint64_t SectorToCluster(uint64_t) const override { return 0; }
    uint32_t BytesPerCluster() const override { return 0; }
    uint32_t SectorsPerCluster() const override { return 0; }
    bool ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) override;
    int FileSystemKind() const override { return kExt2; }
    bool ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) override;

    Ext2FileTree& Ext2Tree() { return static_cast<Ext2FileTree&>(*m_pTree); }
    const Ext2FileTree& Ext2Tree() const { return static_cast<const Ext2FileTree&>(*m_pTree); }
    const Ext2Geometry& Geometry() const { return Ext2Tree().m_Geometry; }

    /// Reads inode n from its inode table.
    bool ReadInode(uint32_t n, Ext2Inode& inode);
    /// Runs of an inode's data, covering its size (holes as runs from 0).
    bool InodeRuns(const Ext2Inode& inode, ClusterRunList& runs);
    /// Reads one whole block of the volume.
    bool ReadBlock(uint32_t block, std::span<uint8_t> out);

private:
    bool ReadDescriptors(ByteSpan head);
    uint32_t BlockLimit() const;
    bool InodePass();
    bool ReadDirectory(FileItem& folder);
    bool FillItem(const struct Ext2DirEntry& entry, FileItem& item);
    bool ReadRunBytes(uint8_t* dest, uint32_t sector, uint32_t skip, uint32_t bytes);

    Ext2InodeTable m_Inodes;
    std::vector<FileItem> m_Scratch;        // one directory's entries
    std::vector<uint8_t> m_Chunk;           // directory read buffer
    std::vector<uint8_t> m_VisitedFolders;  // one bit per inode read as a folder
};

}  // namespace delvora
