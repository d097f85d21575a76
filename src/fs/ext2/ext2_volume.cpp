#include "fs/ext2/ext2_volume.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/ext2/ext2_extents.h"

namespace delvora {

namespace {

constexpr uint32_t kChunkBytes = 65536;
// Aligned stretches of an item go straight into the caller's buffer, this
// much per request.
constexpr uint32_t kDirectReadBytes = 4u << 20;

uint64_t RoundUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

}  // namespace

void Ext2FileTree::Destroy() {
    FileTree::Destroy();
    std::vector<uint64_t>().swap(m_FirstBlocks);
}

Ext2Volume::Ext2Volume() : Volume(std::make_unique<Ext2FileTree>()) {}

uint64_t Ext2Volume::BlockLimit() const {
    const Ext2Geometry& g = Geometry();
    const uint32_t spb = g.dwSectorsPerBlock;
    uint64_t limit = g.qwBlockCount;
    if (m_dwTotalSectors != 0 && m_dwTotalSectors != UINT32_MAX) limit = std::min<uint64_t>(limit, m_dwTotalSectors / spb);
    const uint64_t sourceSectors = m_pDataSource ? m_pDataSource->SizeBytes() / 512 : 0;
    if (sourceSectors != 0)
        limit = std::min<uint64_t>(limit, sourceSectors > m_dwSectorNo ? (sourceSectors - m_dwSectorNo) / spb : 0);
    // Sector numbers of the volume stay within 64 bits.
    limit = std::min<uint64_t>(limit, (UINT64_MAX - m_dwSectorNo) / spb);
    return limit;
}

bool Ext2Volume::CheckFeatures(const Ext2Geometry& g) {
    std::string name;
    const uint32_t bit = UnsupportedExt2Feature(g.dwIncompat, name);
    if (bit == 0) return true;
    // Reading on would give a wrong or empty tree: say which feature stops it.
    const std::string text = Format(Tr("Ext2Volume", "EXT 卷使用了本程序不支持的特性 %s (0x%X),无法读取该卷!"), name.c_str(), bit);
    Context().Logger().AppendLog(text);
    Context().Notify().Message(text, "提示", MessageIcon::Error);
    return false;
}

void Ext2Volume::MoveStartSector(uint64_t sector) {
    m_dwSectorNo = sector;
    Ext2Tree().m_qwSectorNo = sector;
}

bool Ext2Volume::Prepare() {
    try {
        if (!m_pDataSource) return false;
        Ext2FileTree& tree = Ext2Tree();
        tree.Destroy();
        ReleaseLoadTables();
        tree.m_pDataSource = m_pDataSource;
        tree.m_qwSectorNo = m_dwSectorNo;
        tree.m_Groups.Clear();
        tree.m_Geometry = Ext2Geometry{};
        SetDescription("EXT2");

        const bool fixed = m_pDataSource->HasFixedParams();
        std::vector<uint8_t> head;
        Ext2Geometry g;
        if (fixed) {
            g = ReadExt2FixedParams(m_pDataSource->GetExt2_Param());
        } else {
            head.resize(kExt2HeadBytes);
            if (!m_pDataSource->GetData(head.data(), kExt2HeadBytes, m_dwSectorNo)) return false;
            m_pDataSource->SetReportErrors(0);
            std::copy_n(head.begin() + kExt2SuperblockOffset, kExt2SuperblockBytes, tree.m_Superblock.begin());
            g = ReadExt2Superblock(ByteSpan(tree.m_Superblock));
        }
        if (!CompleteExt2Geometry(g)) return false;
        if (!CheckFeatures(g)) return false;
        tree.m_Geometry = g;
        SetDescription(Ext2KindName(g));
        tree.m_qwBlockLimit = BlockLimit();
        if (tree.m_qwBlockLimit == 0) return false;
        if (fixed) tree.m_Groups.AssignFixed(g);
        else if (!ReadDescriptors(ByteSpan(head))) return false;

        // The inode tables must fit in the volume; this bounds every table
        // sized by the inode count.
        const uint64_t volumeBytes = tree.m_qwBlockLimit * g.dwBlockSize;
        const uint32_t inodes =
            static_cast<uint32_t>(std::min<uint64_t>(g.dwInodeCount, volumeBytes / g.dwInodeSize));
        if (inodes < kExt2RootInode) return false;
        m_Inodes.Reset(inodes);
        m_VisitedFolders.assign(size_t{inodes} / 8 + 1, 0);
    } catch (const std::bad_alloc&) {
        ReleaseLoadTables();
        return false;
    }
    if (!Ext2Tree().AllocateBitmap(size_t{m_Inodes.Count()} / 8 + 1)) {
        ReleaseLoadTables();
        Context().Notify().Message(Tr("Ext2Volume", "分配簇使用位图失败!"), "提示", MessageIcon::Error);
        return false;
    }
    return true;
}

bool Ext2Volume::ReadDescriptors(ByteSpan head) {
    Ext2FileTree& tree = Ext2Tree();
    const Ext2Geometry& g = tree.m_Geometry;
    const uint64_t offset = Ext2DescriptorOffset(g);
    const uint64_t bytes = uint64_t{g.dwGroupCount} * g.dwDescriptorSize;
    if (offset + bytes <= head.size())
        return tree.m_Groups.Assign(head.subspan(offset, bytes), g.dwGroupCount, g.dwDescriptorSize);
    // A table larger than the first read is read on its own, inside the volume.
    if (offset + bytes > tree.m_qwBlockLimit * g.dwBlockSize) return false;
    std::vector<uint8_t> table(RoundUp(bytes, 512));
    if (!m_pDataSource->GetData(table.data(), static_cast<uint32_t>(table.size()), m_dwSectorNo + offset / 512))
        return false;
    return tree.m_Groups.Assign(ByteSpan(table), g.dwGroupCount, g.dwDescriptorSize);
}

void Ext2Volume::ReleaseLoadTables() {
    m_Inodes.Release();
    std::vector<FileItem>().swap(m_Scratch);
    std::vector<uint8_t>().swap(m_Chunk);
    std::vector<uint8_t>().swap(m_VisitedFolders);
    std::vector<uint32_t>().swap(m_DeferredInodes);
    std::vector<uint8_t>().swap(m_DeferredRead);
    std::unordered_set<uint64_t>().swap(m_DirectoryBlocks);
}

bool Ext2Volume::ReadBlock(uint64_t block, std::span<uint8_t> out) {
    const Ext2Geometry& g = Geometry();
    if (!m_pDataSource || block >= Ext2Tree().m_qwBlockLimit || out.size() < g.dwBlockSize) return false;
    return m_pDataSource->GetData(out.data(), g.dwBlockSize, m_dwSectorNo + block * g.dwSectorsPerBlock) != 0;
}

bool Ext2Volume::ReadInode(uint32_t n, Ext2Inode& inode, std::vector<uint8_t>* raw) {
    const Ext2FileTree& tree = Ext2Tree();
    const Ext2Geometry& g = tree.m_Geometry;
    if (!m_pDataSource || n == 0 || g.dwInodesPerGroup == 0 || g.dwBlockSize == 0) return false;
    const uint32_t group = (n - 1) / g.dwInodesPerGroup;
    const uint32_t index = (n - 1) % g.dwInodesPerGroup;
    if (group >= g.dwGroupCount) return false;
    const uint64_t table = tree.m_Groups.InodeTableBlock(group);
    const uint64_t byteOffset = uint64_t{index} * g.dwInodeSize;
    const uint32_t bytes = std::min(g.dwInodeSize, kExt2InodeReadBytes);
    // Inodes are a power of two in size, so one never straddles a sector
    // unless it starts on one.
    const uint32_t sectors = (bytes + 511) / 512;
    if (table == 0 || table >= tree.m_qwBlockLimit) return false;
    const uint64_t relative = table * g.dwSectorsPerBlock + byteOffset / 512;
    if (relative + sectors > tree.m_qwBlockLimit * g.dwSectorsPerBlock) return false;
    std::vector<uint8_t> local;
    std::vector<uint8_t>& buffer = raw ? *raw : local;
    buffer.resize(size_t{sectors} * 512);
    if (!m_pDataSource->GetData(buffer.data(), sectors * 512, m_dwSectorNo + relative)) return false;
    if (byteOffset % 512 != 0) buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(byteOffset % 512));
    buffer.resize(bytes);
    inode = DecodeExt2Inode(ByteSpan(buffer));
    return true;
}

bool Ext2Volume::InodeRuns(const Ext2Inode& inode, ClusterRunList& runs, bool readMapBlocks) {
    const Ext2Geometry& g = Geometry();
    runs.Clear();
    if (g.dwBlockSize == 0) return false;
    if (inode.dwFlags & ext2_inode_flag::kInlineData) return true;  // no blocks
    const uint64_t blocks = inode.qwSize / g.dwBlockSize + (inode.qwSize % g.dwBlockSize != 0);
    const Ext2MapLimits limits{g.dwBlockSize, Ext2Tree().m_qwBlockLimit};
    const auto read = [this, readMapBlocks](uint64_t block, std::span<uint8_t> out) {
        return readMapBlocks && ReadBlock(block, out);
    };
    if (inode.dwFlags & ext2_inode_flag::kExtents) return Ext2ExtentsToRuns(inode.blockMap, blocks, limits, read, runs);
    return Ext2BlockMapToRuns(inode.blockMap, blocks, limits, read, runs);
}

bool Ext2Volume::GetItemRuns(FileItem* item, ClusterRunList& runs) {
    try {
        Ext2Inode inode;
        if (!item || !ReadInode(item->startCluster, inode)) return false;
        return InodeRuns(inode, runs);
    } catch (const std::bad_alloc&) {
        runs.Clear();
        return false;
    }
}

uint64_t Ext2Volume::AllocatedBytes(const Ext2Inode& inode) const {
    // Whole blocks the size takes; a size in the last block of the 64-bit
    // space keeps its own value.
    const uint32_t blockSize = Geometry().dwBlockSize;
    const uint64_t size = inode.qwSize;
    return size > UINT64_MAX - blockSize ? size : RoundUp(size, blockSize);
}

bool Ext2Volume::GetItemSizes(FileItem* item, const ClusterRunList&, uint64_t& allocated, uint64_t& valid) {
    if (!item || !m_pDataSource || Geometry().dwBlockSize == 0) return false;
    Ext2Inode sized;
    sized.qwSize = item->size;
    valid = item->size;
    allocated = AllocatedBytes(sized);
    return true;
}

bool Ext2Volume::GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) {
    try {
        const Ext2Geometry& g = Geometry();
        Ext2FileTree& tree = Ext2Tree();
        if (!item || !m_pDataSource || g.dwBlockSize == 0) return false;
        Ext2Inode sized;
        sized.qwSize = item->size;
        // The same figure as the item sizes give, whether learnt or not.
        allocated = AllocatedBytes(sized);
        uint64_t first = 0;
        if (item->link != 0 && item->link <= tree.m_FirstBlocks.size()) {
            first = tree.m_FirstBlocks[item->link - 1];
        } else {
            // Not learnt by the load (an extent tree with index nodes): the
            // first run tells.
            ClusterRunList runs;
            if (!GetItemRuns(item, runs)) return false;
            for (const ClusterRun& run : runs)
                if (!IsExt2Hole(run)) {
                    first = run.first;
                    break;
                }
            if (tree.m_FirstBlocks.size() < UINT32_MAX) {
                tree.m_FirstBlocks.push_back(first);
                item->link = static_cast<uint32_t>(tree.m_FirstBlocks.size());
            }
        }
        firstSector = first < tree.m_qwBlockLimit ? first * g.dwSectorsPerBlock : 0;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool Ext2Volume::GetItemTimes(FileItem* item, ItemTimes& times) {
    try {
        Ext2Inode inode;
        if (!item || item->IsFound() || !ReadInode(item->startCluster, inode)) return false;
        times = ItemTimes{};
        times.created = inode.bHasCreateTime ? Ext2TimeToUtcTicks(inode.create) : 0;
        times.modified = Ext2TimeToUtcTicks(inode.modify);
        times.accessed = Ext2TimeToUtcTicks(inode.access);
        times.changed = Ext2TimeToUtcTicks(inode.change);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool Ext2Volume::ReadRunBytes(uint8_t* dest, uint64_t sector, uint32_t skip, uint32_t bytes) {
    std::vector<uint8_t> bounce;
    // Each step consumes at least one byte of the request.
    while (bytes > 0) {
        if (skip == 0 && bytes >= 512) {
            const uint32_t n = std::min(bytes / 512 * 512, kDirectReadBytes);
            if (!m_pDataSource->GetData(dest, n, sector)) return false;
            dest += n;
            bytes -= n;
            sector += n / 512;
            continue;
        }
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunkBytes, RoundUp(uint64_t{skip} + bytes, 512)));
        bounce.resize(n);
        if (!m_pDataSource->GetData(bounce.data(), n, sector)) return false;
        const uint32_t take = std::min(n - skip, bytes);
        std::memcpy(dest, bounce.data() + skip, take);
        dest += take;
        bytes -= take;
        sector += n / 512;
        skip = 0;
    }
    return true;
}

bool Ext2Volume::ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                               const ClusterRunList* givenRuns) {
    try {
        const Ext2Geometry& g = Geometry();
        if (!item || !m_pDataSource || g.dwBlockSize == 0 || (!dest && count)) return false;
        ClusterRunList ownRuns;
        // Inline data has no runs: callers that fetched the item's runs
        // first hand an empty list, and the inode tells where the data is.
        if (!givenRuns || givenRuns->Empty()) {
            std::vector<uint8_t> raw;
            Ext2Inode inode;
            if (!ReadInode(item->startCluster, inode, &raw)) return false;
            if (inode.dwFlags & ext2_inode_flag::kInlineData) {
                // Inline data: as far as the allocation of its size, zeros
                // after the data.
                std::vector<uint8_t> data;
                if (!Ext2InlineData(ByteSpan(raw), inode.qwSize, data)) return false;
                if (offset > AllocatedBytes(inode) || count > AllocatedBytes(inode) - offset) return false;
                if (count == 0) return true;  // dest may be null then
                std::memset(dest, 0, count);
                if (offset < data.size())
                    std::memcpy(dest, data.data() + offset, std::min<uint64_t>(count, data.size() - offset));
                return true;
            }
            if (!InodeRuns(inode, ownRuns)) return false;
            givenRuns = &ownRuns;
        }
        const uint64_t limit = Ext2Tree().m_qwBlockLimit;
        uint64_t done = 0, runBegin = 0;
        for (const ClusterRun& run : *givenRuns) {
            if (done == count) break;
            // Runs from a caller are checked like runs from the map.
            if (run.count > UINT64_MAX / g.dwBlockSize - runBegin / g.dwBlockSize) return false;
            const uint64_t runEnd = runBegin + g.dwBlockSize * run.count;
            const uint64_t position = offset + done;
            if (runEnd > position) {
                const uint64_t p = position - runBegin;
                const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(runEnd - position, count - done));
                if (IsExt2Hole(run)) {
                    std::memset(dest + done, 0, n);
                } else {
                    if (run.first >= limit || run.count > limit - run.first) return false;
                    const uint64_t sector = m_dwSectorNo + run.first * g.dwSectorsPerBlock + p / 512;
                    if (!ReadRunBytes(dest + done, sector, static_cast<uint32_t>(p % 512), n)) return false;
                }
                done += n;
            }
            runBegin = runEnd;
        }
        return done == count;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void Ext2Volume::ListPlainStretches(FileItem* item, const ClusterRunList& runs,
                                    std::vector<PlainStretch>& stretches) {
    stretches.clear();
    const Ext2Geometry& g = Geometry();
    // Empty runs: inline data, which lives in the inode.
    if (!item || !m_pDataSource || g.dwBlockSize == 0 || g.dwSectorsPerBlock == 0 || runs.Empty()) return;
    const uint64_t limit = Ext2Tree().m_qwBlockLimit;
    uint64_t runBegin = 0;
    // The walk of ReadItemRange: its overflow check ends every read there,
    // a run outside the volume only the reads that touch it.
    for (const ClusterRun& run : runs) {
        if (runBegin >= item->size || run.count > UINT64_MAX / g.dwBlockSize - runBegin / g.dwBlockSize) break;
        const uint64_t runEnd = runBegin + g.dwBlockSize * run.count;
        if (!IsExt2Hole(run) && run.first < limit && run.count <= limit - run.first &&
            run.first <= (UINT64_MAX / 512 - m_dwSectorNo) / g.dwSectorsPerBlock) {
            const uint64_t sector = m_dwSectorNo + run.first * g.dwSectorsPerBlock;
            AddPlainStretch(stretches, runBegin, sector * 512, std::min(runEnd, item->size) - runBegin);
        }
        runBegin = runEnd;
    }
}

bool Ext2Volume::ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) {
    try {
        ClusterRunList runs;
        if (!GetItemRuns(item, runs) || !GetItemSizes(item, runs, allocated, valid)) return false;
        // Holes can make an item larger than its volume; such items are read
        // piece by piece, not into one buffer.
        if (allocated > Ext2Tree().m_qwBlockLimit * Geometry().dwBlockSize || allocated > UINT32_MAX) return false;
        buffer.assign(allocated, 0);
        return ReadItemRange(item, buffer.data(), 0, static_cast<uint32_t>(allocated), &runs);
    } catch (const std::bad_alloc&) {
        buffer.clear();
        return false;
    }
}

bool Ext2Volume::ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool) {
    if (!m_pDataSource || (!dest && count)) return false;
    if (position > UINT64_MAX - m_dwSectorNo) return false;
    return m_pDataSource->GetData(dest, count, m_dwSectorNo + position) != 0;
}

bool Ext2Volume::ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) {
    const uint64_t k = Geometry().dwSectorsPerBlock;
    if (!item || !m_pDataSource || k == 0) return false;
    for (const ClusterRun& run : source) {
        if (IsExt2Hole(run)) continue;  // a hole has no sectors
        if (run.first > UINT64_MAX / k || run.count > UINT64_MAX / k) return false;
        sectors.Add(run.first * k, run.count * k);
    }
    return true;
}

bool Ext2Volume::ListRegions(std::vector<DiskRegion>& regions) {
    const Ext2Geometry& g = Geometry();
    const Ext2GroupTable& groups = Ext2Tree().m_Groups;
    const uint64_t s = g.dwSectorsPerBlock;
    if (g.dwGroupCount == 0 || g.dwBlockSize == 0 || s == 0 || g.dwBlocksPerGroup == 0) return false;
    const uint64_t volumeBlocks = g.qwBlockCount;
    if (volumeBlocks > UINT64_MAX / s) return false;
    // Blocks [first, first + count) as sectors, kept inside the volume: the
    // descriptors are read from the medium and may point anywhere.
    auto addBlocks = [&](uint64_t first, uint64_t count, uint8_t kind) {
        if (first == 0 || count == 0 || first >= volumeBlocks) return;
        count = std::min(count, volumeBlocks - first);
        regions.push_back({first * s, (first + count) * s - 1, kind});
    };
    // The boot sectors and the superblock at byte 1024 of the volume.
    regions.push_back({0, 1, 12});
    regions.push_back({2, 3, 19});
    if (s > 4) regions.push_back({4, s - 1, 12});
    const uint64_t descriptorBlocks =
        (uint64_t{g.dwGroupCount} * g.dwDescriptorSize + g.dwBlockSize - 1) / g.dwBlockSize;
    const uint64_t tableBlocks = (uint64_t{g.dwInodesPerGroup} * g.dwInodeSize + g.dwBlockSize - 1) / g.dwBlockSize;
    // Groups beyond the bound are drawn as allocated space only, which keeps
    // the list (and the map's memory) small on a volume of millions of groups.
    const uint32_t mapped = std::min<uint32_t>(g.dwGroupCount, kExt2MappedGroups);
    for (uint32_t group = 0; group < mapped; ++group) {
        const uint64_t base = g.dwFirstDataBlock + uint64_t{group} * g.dwBlocksPerGroup;
        if (Ext2GroupHasSuper(g, group)) {
            if (group > 0) addBlocks(base, 1, 19);
            addBlocks(base + 1, descriptorBlocks, 20);
        }
        addBlocks(groups.BlockBitmapBlock(group), 1, 21);
        addBlocks(groups.InodeBitmapBlock(group), 1, 22);
        addBlocks(groups.InodeTableBlock(group), tableBlocks, 23);
    }
    // Everything else of the volume; the structures above come first and win.
    regions.push_back({0, volumeBlocks * s - 1, 7});
    return true;
}

}  // namespace delvora
