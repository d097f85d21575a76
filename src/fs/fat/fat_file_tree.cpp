#include "fs/fat/fat_file_tree.h"

#include <algorithm>
#include <new>

#include "common/options.h"
#include "fs/fat/fat_directory.h"

namespace delvora {
namespace {

constexpr uint32_t kMaxDirectoryBytes = 65536 * kFatEntryBytes;

}  // namespace

void FatFileTree::Attach(const FatMedium& medium, FatTable* fat, const FatGeometry& geometry,
                         const CoreContext& context) {
    m_medium = medium;
    m_pFat = fat;
    m_geometry = geometry;
    m_pContext = &context;
    m_visited.clear();
}

bool ChainLoopGuard::Closes(uint32_t cluster) {
    if (!m_started) {
        m_started = true;
        m_tortoise = cluster;
        return false;
    }
    ++m_lam;
    if (cluster == m_tortoise) return true;
    if (m_lam == m_power) {
        m_tortoise = cluster;
        m_power *= 2;
        m_lam = 0;
    }
    return false;
}

void ChainLoopGuard::CutLoop(std::vector<uint32_t>& chain, uint32_t repeat) const {
    // The loop is m_lam clusters long; it starts at the first i whose
    // cluster comes back m_lam places later.
    chain.push_back(repeat);
    const size_t lam = static_cast<size_t>(m_lam);
    size_t mu = 0;
    while (mu + lam < chain.size() && chain[mu] != chain[mu + lam]) ++mu;
    chain.resize(std::min(chain.size() - 1, mu + lam));
}

bool FatFileTree::DirectoryChainContinues(uint32_t next) const {
    const uint32_t limit = m_geometry.kind == 1 ? 0xFF0 : m_geometry.kind == 2 ? 0xFFF0 : 0x0FFFFFFE;
    return next > 0 && next <= limit && ValidCluster(next);
}

bool FatFileTree::ItemChainContinues(uint32_t next) const {
    const uint32_t limit = m_geometry.kind == 1 ? 0xFEF : m_geometry.kind == 2 ? 0xFFEF : 0x0FFFFFF7;
    return next > 0 && next <= limit && ValidCluster(next);
}

uint32_t FatFileTree::MaxDirectoryClusters() const {
    return m_geometry.clusterBytes ? std::max<uint32_t>(1, kMaxDirectoryBytes / m_geometry.clusterBytes) : 1;
}

std::vector<uint32_t> FatFileTree::DirectoryChain(uint32_t start, size_t maxClusters, bool skipVisited) const {
    std::vector<uint32_t> clusters;
    uint32_t cluster = start;
    // Ends at the chain's end, at maxClusters, or after as many clusters as
    // the volume has, so a looping chain cannot run forever.
    const uint64_t bound = std::min<uint64_t>(maxClusters, m_geometry.clusterCount);
    ChainLoopGuard guard;
    while (clusters.size() < bound && ValidCluster(cluster)) {
        if (skipVisited && m_visited.count(cluster)) break;
        if (guard.Closes(cluster)) {
            guard.CutLoop(clusters, cluster);
            break;
        }
        clusters.push_back(cluster);
        const uint32_t next = m_pFat ? m_pFat->NextInChain(cluster) : 0;
        if (!DirectoryChainContinues(next)) break;
        cluster = next;
    }
    return clusters;
}

template <typename Read>
bool FatFileTree::ForEachClusterRun(const std::vector<uint32_t>& clusters, Read read) const {
    const uint32_t cb = m_geometry.clusterBytes;
    // Neighbouring clusters are read with one call.
    for (size_t i = 0; i < clusters.size();) {
        size_t n = 1;
        while (i + n < clusters.size() && clusters[i + n] == clusters[i] + n && n * cb < (1u << 20)) ++n;
        if (!read(i, n)) return false;
        i += n;
    }
    return true;
}

bool FatFileTree::ReadClusters(const std::vector<uint32_t>& clusters, std::vector<uint8_t>& buffer) {
    const uint32_t cb = m_geometry.clusterBytes;
    buffer.resize(size_t{cb} * clusters.size());
    return ForEachClusterRun(clusters, [&](size_t i, size_t n) {
        return m_medium.Read(m_geometry.ClusterSector(clusters[i]), buffer.data() + i * cb,
                             static_cast<uint32_t>(n * cb));
    });
}

void FatFileTree::HintFolders(const std::vector<FileItem*>& stack, std::unordered_set<const FileItem*>& hinted) {
    // Enough folders for one level of a wide tree to travel together,
    // little enough to stay inside the source's cap.
    constexpr size_t kAhead = 64;
    const uint32_t cb = m_geometry.clusterBytes;
    for (size_t k = 0; k < std::min(kAhead, stack.size()); ++k) {
        const FileItem* folder = stack[stack.size() - 1 - k];
        if (!hinted.insert(folder).second) continue;
        const size_t maxClusters = folder->IsDeleted() ? 1 : MaxDirectoryClusters();
        const std::vector<uint32_t> clusters = DirectoryChain(folder->startCluster, maxClusters, true);
        ForEachClusterRun(clusters, [&](size_t i, size_t n) {
            m_medium.Prefetch(m_geometry.ClusterSector(clusters[i]), static_cast<uint32_t>(n * cb));
            return true;
        });
    }
}

bool FatFileTree::GetSubDirector(FileItem& folder, ByteSpan entries) {
    try {
        m_scratch.clear();
        ConvertDirectoryEntries(entries, folder.IsDeleted(), m_geometry.kind, m_pContext->Options().codepage,
                                m_scratch);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return SetChildren(folder, m_scratch);
}

bool FatFileTree::GetSubDirector(FileItem& folder) {
    // A deleted folder's chain is gone from the FAT: only its first cluster.
    const size_t maxClusters = folder.IsDeleted() ? 1 : MaxDirectoryClusters();
    const std::vector<uint32_t> clusters = DirectoryChain(folder.startCluster, maxClusters, true);
    if (clusters.empty()) return true;  // nothing of its own to read
    for (uint32_t c : clusters) {
        SetBit(c, true);
        MarkVisited(c);
    }
    std::vector<uint8_t> buffer;
    try {
        if (!ReadClusters(clusters, buffer)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    const AnalysisOptions& options = m_pContext->Options();
    if (folder.IsDeleted() && options.verifyDeletedFolders &&
        !CheckDirectoryBuffer(buffer, static_cast<uint32_t>(buffer.size() / kFatEntryBytes), m_geometry.clusterCount,
                              m_geometry.kind, m_geometry.dataBytes, options))
        return true;
    return GetSubDirector(folder, buffer);
}

bool FatFileTree::HoldsOwnDotEntry(uint32_t cluster) {
    // A folder's first entry is "." with the folder's own cluster: when that
    // is what the cluster holds, the number (high word included) is intact.
    if (!ValidCluster(cluster) || m_visited.count(cluster)) return false;
    uint8_t bytes[kFatEntryBytes];
    if (!m_medium.Read(m_geometry.ClusterSector(cluster), bytes, sizeof(bytes))) return false;
    const ByteSpan entry(bytes, kFatEntryBytes);
    static const char kDot[] = ".          ";
    return std::equal(kDot, kDot + 11, entry.begin()) && (entry[11] & 0x10) &&
           FatEntryCluster(entry, m_geometry.kind) == cluster;
}

void FatFileTree::WalkSubfolders() {
    // Live folders first, so that a deleted folder whose cluster was reused
    // cannot take a live folder's place; deleted ones afterwards. An explicit
    // stack instead of recursion: nesting depth comes from the medium.
    std::vector<FileItem*> live, deleted;
    const bool fat32 = m_geometry.kind == 3;
    // On FAT32 a deleted entry may have lost its cluster's high word; it is
    // trusted when every cluster number fits in the low word (root level),
    // or when the cluster it names starts with the folder's own "." entry.
    const bool deletedRootChildren = !fat32 || uint64_t{m_geometry.clusterCount} + 1 <= 0xFFFF;
    auto queueChildren = [&](FileItem& folder, bool rootLevel) {
        for (uint32_t i = 0; i < folder.childCount; ++i) {
            FileItem& child = folder.children[i];
            if (!child.IsDirectory()) continue;
            if (!child.IsDeleted()) live.push_back(&child);
            else if (!fat32 || (rootLevel && deletedRootChildren) || HoldsOwnDotEntry(child.startCluster))
                deleted.push_back(&child);
        }
    };
    queueChildren(m_RootItem, true);
    Log& log = m_pContext->Logger();
    // A remote source is told the next folders' reads ahead of them.
    const bool hint = m_medium.TakesPrefetch();
    std::unordered_set<const FileItem*> hinted;
    auto drain = [&](std::vector<FileItem*>& stack) {
        // Each folder is read once; every read marks its clusters visited,
        // so the stack only ever holds children of folders not yet read.
        while (!stack.empty()) {
            if (hint) HintFolders(stack, hinted);
            FileItem* folder = stack.back();
            stack.pop_back();
            hinted.erase(folder);
            if (!GetSubDirector(*folder) && folder->parent == &m_RootItem)
                log.AppendLog("!GetSubDirector(pSubItem,*m_pDataSource,*m_pFat)");
            queueChildren(*folder, false);
        }
    };
    drain(live);
    drain(deleted);
}

void FatFileTree::ReleaseScratch() {
    std::vector<FileItem>().swap(m_scratch);
    std::unordered_set<uint32_t>().swap(m_visited);
}

}  // namespace delvora
