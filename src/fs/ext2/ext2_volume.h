#pragma once
// An EXT2/3/4 volume: geometry from the superblock (or typed-in
// parameters), a summary pass over every inode table, then the directory
// tree walked from the root inode, deleted records included. Items keep
// their inode numbers; later item operations re-read the inode from the
// medium.
#include <array>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "fs/ext2/ext2_block_map.h"
#include "fs/ext2/ext2_inode.h"
#include "fs/ext2/ext2_layout.h"
#include "fs/volume.h"

namespace delvora {

class Ext2FileTree : public FileTree {
public:
    void Destroy() override;

    std::array<uint8_t, kExt2SuperblockBytes> m_Superblock{};
    Ext2Geometry m_Geometry;
    Ext2GroupTable m_Groups;
    DataSource* m_pDataSource = nullptr;
    uint64_t m_qwSectorNo = 0;
    // Block numbers at or beyond this lie outside the volume (the block
    // count, cut to the partition and to the source).
    uint64_t m_qwBlockLimit = 0;
    // First data block of items, learnt by the load: item.link is 1 + the
    // index here (0: not known, read from the inode when asked).
    std::vector<uint64_t> m_FirstBlocks;
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
    void ListPlainStretches(FileItem* item, const ClusterRunList& runs, std::vector<PlainStretch>& stretches) override;
    bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) override;
    using Volume::GetItemSizes;
    bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) override;
    bool GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) override;
    bool GetItemTimes(FileItem* item, ItemTimes& times) override;
    bool ListRootSectors(ClusterRunList&) override { return true; }
    bool ListRegions(std::vector<DiskRegion>& regions) override;
    void MoveStartSector(uint64_t sector) override;
    bool StartClusterFits(uint64_t inode) const override {
        return inode == 0 || (inode >= 1 && inode <= Geometry().dwInodeCount);
    }
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

    /// Reads inode n from its inode table: the decoded fields, and (raw, when
    /// given) its on-disk bytes up to kExt2InodeReadBytes.
    bool ReadInode(uint32_t n, Ext2Inode& inode, std::vector<uint8_t>* raw = nullptr);
    /// Runs of an inode's data, covering its size (holes as runs from 0);
    /// none for data kept inline. Without readMapBlocks, a map that needs
    /// indirect or index blocks read fails instead.
    bool InodeRuns(const Ext2Inode& inode, ClusterRunList& runs, bool readMapBlocks = true);
    /// Reads one whole block of the volume.
    bool ReadBlock(uint64_t block, std::span<uint8_t> out);

private:
    bool ReadDescriptors(ByteSpan head);
    uint64_t BlockLimit() const;
    bool CheckFeatures(const Ext2Geometry& g);
    bool InodePass();
    /// The summary of inode n, read now when its group's table was left to
    /// later by the pass; false outside the table.
    bool InodeSummary(uint32_t n, Ext2Inode& inode);
    bool InodeHasBlockMap(uint32_t n);
    void ReadDeferredInode(uint32_t n);
    bool ReadDirectory(FileItem& folder);
    /// Tells a remote source which reads the next folders on the stack (read
    /// from its back) will make, so that it fetches them together.
    void HintFolders(const std::vector<std::pair<FileItem*, uint32_t>>& stack,
                     std::unordered_set<const FileItem*>& hinted);
    bool ReadDirectoryBlocks(const Ext2Inode& inode, uint32_t n,
                             const std::function<bool(const struct Ext2DirEntry&)>& visit);
    bool FillItem(const struct Ext2DirEntry& entry, FileItem& item);
    bool ReadRunBytes(uint8_t* dest, uint64_t sector, uint32_t skip, uint32_t bytes);
    uint64_t AllocatedBytes(const Ext2Inode& inode) const;

    Ext2InodeTable m_Inodes;
    // Per group: the inodes the pass would have read from a table it left to
    // later, because the descriptor says none is in use (0: read or none).
    // Their summaries are read one by one when a record names them.
    std::vector<uint32_t> m_DeferredInodes;
    std::vector<uint8_t> m_DeferredRead;       // one bit per inode of those groups, once read
    std::vector<FileItem> m_Scratch;              // one directory's entries
    std::vector<uint8_t> m_Chunk;                 // directory read buffer
    std::vector<uint8_t> m_VisitedFolders;        // one bit per inode read as a folder
    std::unordered_set<uint64_t> m_DirectoryBlocks;  // blocks read as directory blocks
    bool m_bSharedBlocksLogged = false;
};

}  // namespace delvora
