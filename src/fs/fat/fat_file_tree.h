#pragma once
// The tree of a FAT volume and the walk that fills it: the root's entries,
// then every folder below, live ones first and deleted ones after, each
// folder's clusters marked in the cluster usage bitmap.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/bytes.h"
#include "common/reporting.h"
#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_medium.h"
#include "fs/fat/fat_table.h"
#include "fs/file_tree.h"

namespace delvora {

/// Notices a chain that loops while it is walked (Brent's method, no
/// memory per cluster). Feed every cluster in chain order; Closes answers
/// true for the cluster that repeats an earlier one.
class ChainLoopGuard {
public:
    bool Closes(uint32_t cluster);
    /// Cuts a chain that was about to take `repeat` (the cluster Closes
    /// answered true for) so that every cluster appears once.
    void CutLoop(std::vector<uint32_t>& chain, uint32_t repeat) const;

private:
    uint32_t m_tortoise = 0;
    uint64_t m_power = 1;
    uint64_t m_lam = 0;
    bool m_started = false;
};

class FatFileTree final : public FileTree {
public:
    /// Everything the walk reads through; set by the volume before loading.
    void Attach(const FatMedium& medium, FatTable* fat, const FatGeometry& geometry, const CoreContext& context);
    /// Reads through another medium from now on (the volume was moved).
    void MoveMedium(const FatMedium& medium) { m_medium = medium; }
    const FatGeometry& Geometry() const { return m_geometry; }
    int FatKind() const { return m_geometry.kind; }

    /// True when a cluster number may be read (a data-area cluster).
    bool ValidCluster(uint64_t cluster) const { return m_geometry.ValidCluster(cluster); }
    /// Whether the chain goes on after `next`, by the rule for directories and
    /// the bitmap (FAT12 up to 0xFF0, FAT16 up to 0xFFF0, FAT32 below 0x0FFFFFFF),
    /// and only to clusters that exist on the volume.
    bool DirectoryChainContinues(uint32_t next) const;
    /// The same for an item's data (FAT12 up to 0xFEF, FAT16 up to 0xFFEF,
    /// FAT32 below 0x0FFFFFF8, where the end-of-chain markers begin).
    bool ItemChainContinues(uint32_t next) const;

    /// Clusters of a directory chain from start, at most maxClusters, never
    /// more than the volume has (a looping chain ends), never a cluster that
    /// an earlier folder already owns when skipVisited is set.
    std::vector<uint32_t> DirectoryChain(uint32_t start, size_t maxClusters, bool skipVisited) const;

    /// Largest directory the walk reads, in clusters (65,536 entries).
    uint32_t MaxDirectoryClusters() const;

    /// Marks clusters as holding a folder already read (cycles end there).
    void MarkVisited(uint32_t cluster) { m_visited.insert(cluster); }

    /// Converts a directory buffer into folder's children (scratch array,
    /// then one children array). False when memory fails.
    bool GetSubDirector(FileItem& folder, ByteSpan entries);
    /// Reads a subfolder's clusters, converts them; false when a cluster
    /// cannot be read or memory fails (the folder then has no children).
    bool GetSubDirector(FileItem& folder);

    /// Reads every folder below the root's children.
    void WalkSubfolders();

    /// Frees what only the load needed.
    void ReleaseScratch();

private:
    /// True when a cluster starts with a "." entry that names it.
    bool HoldsOwnDotEntry(uint32_t cluster);
    bool ReadClusters(const std::vector<uint32_t>& clusters, std::vector<uint8_t>& buffer);
    /// Calls read(first index, clusters) for each run of neighbouring
    /// clusters, as ReadClusters reads them.
    template <typename Read>
    bool ForEachClusterRun(const std::vector<uint32_t>& clusters, Read read) const;
    /// Tells the medium which reads the next folders on the stack (read from
    /// its back) will make, so that a remote one fetches them together.
    void HintFolders(const std::vector<FileItem*>& stack, std::unordered_set<const FileItem*>& hinted);

    FatMedium m_medium;
    FatTable* m_pFat = nullptr;
    FatGeometry m_geometry;
    const CoreContext* m_pContext = &DefaultContext();
    std::vector<FileItem> m_scratch;
    std::unordered_set<uint32_t> m_visited;
};

}  // namespace delvora
