#include "fs/ext2/ext2_volume.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "disk/data_source.h"

namespace delvora {

namespace {

constexpr uint32_t kChunkBytes = 65536;
// Aligned stretches of an item go straight into the caller's buffer, this
// much per request.
constexpr uint32_t kDirectReadBytes = 4u << 20;

uint64_t RoundUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

}  // namespace

Ext2Volume::Ext2Volume() : Volume(std::make_unique<Ext2FileTree>()) {}

uint32_t Ext2Volume::BlockLimit() const {
    const Ext2Geometry& g = Geometry();
    const uint32_t spb = g.dwSectorsPerBlock;
    uint64_t limit = g.dwBlockCount;
    if (m_dwTotalSectors != 0 && m_dwTotalSectors != UINT32_MAX) limit = std::min<uint64_t>(limit, m_dwTotalSectors / spb);
    const uint64_t sourceSectors = m_pDataSource ? m_pDataSource->SizeBytes() / 512 : 0;
    if (sourceSectors != 0)
        limit = std::min<uint64_t>(limit, sourceSectors > m_dwSectorNo ? (sourceSectors - m_dwSectorNo) / spb : 0);
    // Sector numbers are 32-bit.
    limit = std::min<uint64_t>(limit, ((uint64_t{1} << 32) - m_dwSectorNo) / spb);
    return static_cast<uint32_t>(limit);
}

bool Ext2Volume::Prepare() {
    try {
        if (!m_pDataSource) return false;
        Ext2FileTree& tree = Ext2Tree();
        tree.Destroy();
        ReleaseLoadTables();
        tree.m_pDataSource = m_pDataSource;
        tree.m_dwSectorNo = m_dwSectorNo;
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
        tree.m_Geometry = g;
        tree.m_dwBlockLimit = BlockLimit();
        if (tree.m_dwBlockLimit == 0) return false;
        if (fixed) tree.m_Groups.AssignFixed(g);
        else if (!ReadDescriptors(ByteSpan(head))) return false;

        // The inode tables must fit in the volume; this bounds every table
        // sized by the inode count.
        const uint64_t volumeBytes = uint64_t{tree.m_dwBlockLimit} * g.dwBlockSize;
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
        Context().Notify().Message("分配簇使用位图失败!", "提示", MessageIcon::Error);
        return false;
    }
    return true;
}

bool Ext2Volume::ReadDescriptors(ByteSpan head) {
    Ext2FileTree& tree = Ext2Tree();
    const Ext2Geometry& g = tree.m_Geometry;
    const uint64_t offset = Ext2DescriptorOffset(g);
    const uint64_t bytes = uint64_t{g.dwGroupCount} * kExt2DescriptorBytes;
    if (offset + bytes <= head.size()) return tree.m_Groups.Assign(head.subspan(offset, bytes), g.dwGroupCount);
    // A table larger than the first read is read on its own, inside the volume.
    if (offset + bytes > uint64_t{tree.m_dwBlockLimit} * g.dwBlockSize) return false;
    std::vector<uint8_t> table(RoundUp(bytes, 512));
    if (!m_pDataSource->GetData(table.data(), static_cast<uint32_t>(table.size()),
                                m_dwSectorNo + static_cast<uint32_t>(offset / 512)))
        return false;
    return tree.m_Groups.Assign(ByteSpan(table), g.dwGroupCount);
}

void Ext2Volume::ReleaseLoadTables() {
    m_Inodes.Release();
    std::vector<FileItem>().swap(m_Scratch);
    std::vector<uint8_t>().swap(m_Chunk);
    std::vector<uint8_t>().swap(m_VisitedFolders);
}

bool Ext2Volume::ReadBlock(uint32_t block, std::span<uint8_t> out) {
    const Ext2Geometry& g = Geometry();
    if (!m_pDataSource || block >= Ext2Tree().m_dwBlockLimit || out.size() < g.dwBlockSize) return false;
    return m_pDataSource->GetData(out.data(), g.dwBlockSize, m_dwSectorNo + block * g.dwSectorsPerBlock) != 0;
}

bool Ext2Volume::ReadInode(uint32_t n, Ext2Inode& inode) {
    const Ext2FileTree& tree = Ext2Tree();
    const Ext2Geometry& g = tree.m_Geometry;
    if (!m_pDataSource || n == 0 || g.dwInodesPerGroup == 0 || g.dwBlockSize == 0) return false;
    const uint32_t group = (n - 1) / g.dwInodesPerGroup;
    const uint32_t index = (n - 1) % g.dwInodesPerGroup;
    if (group >= g.dwGroupCount) return false;
    const uint32_t table = tree.m_Groups.InodeTableBlock(group);
    const uint64_t byteOffset = uint64_t{index} * g.dwInodeSize;
    const uint64_t relative = uint64_t{table} * g.dwSectorsPerBlock + byteOffset / 512;
    if (table == 0 || relative >= uint64_t{tree.m_dwBlockLimit} * g.dwSectorsPerBlock) return false;
    uint8_t sector[512];
    if (!m_pDataSource->GetData(sector, 512, m_dwSectorNo + static_cast<uint32_t>(relative))) return false;
    inode = DecodeExt2Inode(Slice(ByteSpan(sector), byteOffset % 512, kExt2InodeReadBytes));
    return true;
}

bool Ext2Volume::InodeRuns(const Ext2Inode& inode, ClusterRunList& runs) {
    const Ext2Geometry& g = Geometry();
    if (g.dwBlockSize == 0) return false;
    const uint64_t blocks = (uint64_t{inode.dwSize} + g.dwBlockSize - 1) / g.dwBlockSize;
    return Ext2BlockMapToRuns(inode.blockMap, blocks, {g.dwBlockSize, Ext2Tree().m_dwBlockLimit},
                              [this](uint32_t block, std::span<uint8_t> out) { return ReadBlock(block, out); },
                              runs);
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

namespace {

/// Whole blocks the size takes, raised to the size when that overflows.
uint32_t AllocatedBytes(uint32_t size, uint32_t blockSize) {
    const uint64_t rounded = RoundUp(size, blockSize);
    return rounded > UINT32_MAX ? size : static_cast<uint32_t>(rounded);
}

}  // namespace

bool Ext2Volume::GetItemSizes(FileItem* item, const ClusterRunList&, uint64_t& allocated, uint64_t& valid) {
    const uint32_t blockSize = Geometry().dwBlockSize;
    if (!item || !m_pDataSource || blockSize == 0) return false;
    valid = item->size;
    allocated = AllocatedBytes(item->size, blockSize);
    return true;
}

bool Ext2Volume::GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) {
    const Ext2Geometry& g = Geometry();
    if (!item || !m_pDataSource || g.dwBlockSize == 0) return false;
    if (item->link != 0) {
        allocated = AllocatedBytes(item->size, g.dwBlockSize);
        firstSector = item->link;
        return true;
    }
    Ext2Inode inode;
    if (!ReadInode(item->startCluster, inode)) return false;
    const uint32_t first = inode.blockMap[0];
    firstSector = first < Ext2Tree().m_dwBlockLimit ? first * g.dwSectorsPerBlock : 0;
    // The same figure as the item sizes give, whether cached or not.
    allocated = AllocatedBytes(inode.dwSize, g.dwBlockSize);
    item->link = firstSector;
    return true;
}

bool Ext2Volume::ReadRunBytes(uint8_t* dest, uint32_t sector, uint32_t skip, uint32_t bytes) {
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
        if (!givenRuns) {
            if (!GetItemRuns(item, ownRuns)) return false;
            givenRuns = &ownRuns;
        }
        const uint32_t limit = Ext2Tree().m_dwBlockLimit;
        uint64_t done = 0, runBegin = 0;
        for (const ClusterRun& run : *givenRuns) {
            if (done == count) break;
            const uint64_t runEnd = runBegin + uint64_t{g.dwBlockSize} * run.count;
            const uint64_t position = uint64_t{offset} + done;
            if (runEnd > position) {
                const uint64_t p = position - runBegin;
                const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(runEnd - position, count - done));
                if (IsExt2Hole(run)) {
                    std::memset(dest + done, 0, n);
                } else {
                    // Runs from a caller are checked like runs from the map.
                    if (uint64_t{run.first} + run.count > limit) return false;
                    const uint64_t sector = m_dwSectorNo + uint64_t{run.first} * g.dwSectorsPerBlock + p / 512;
                    if (!ReadRunBytes(dest + done, static_cast<uint32_t>(sector), static_cast<uint32_t>(p % 512), n))
                        return false;
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

bool Ext2Volume::ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) {
    try {
        ClusterRunList runs;
        if (!GetItemRuns(item, runs) || !GetItemSizes(item, runs, allocated, valid)) return false;
        // Holes can make an item larger than its volume; such items are read
        // piece by piece, not into one buffer.
        if (allocated > uint64_t{Ext2Tree().m_dwBlockLimit} * Geometry().dwBlockSize) return false;
        buffer.assign(allocated, 0);
        return ReadItemRange(item, buffer.data(), 0, allocated, &runs);
    } catch (const std::bad_alloc&) {
        buffer.clear();
        return false;
    }
}

bool Ext2Volume::ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool) {
    if (!m_pDataSource || (!dest && count)) return false;
    const uint64_t sector = uint64_t{m_dwSectorNo} + position;
    if (sector > UINT32_MAX) return false;
    return m_pDataSource->GetData(dest, count, static_cast<uint32_t>(sector)) != 0;
}

bool Ext2Volume::ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) {
    const uint32_t k = Geometry().dwSectorsPerBlock;
    if (!item || !m_pDataSource || k == 0) return false;
    for (const ClusterRun& run : source) {
        if (IsExt2Hole(run)) continue;  // a hole has no sectors
        const uint64_t first = uint64_t{run.first} * k, count = uint64_t{run.count} * k;
        if (first > UINT32_MAX || count > UINT32_MAX) return false;
        sectors.Add(static_cast<uint32_t>(first), static_cast<uint32_t>(count));
    }
    return true;
}

bool Ext2Volume::ListRegions(std::vector<DiskRegion>& regions) {
    const Ext2Geometry& g = Geometry();
    const uint64_t s = g.dwSectorsPerBlock, S = g.dwSectorsPerGroup;
    if (g.dwGroupCount == 0 || g.dwBlockSize == 0 || s == 0 || S == 0) return false;
    const uint64_t q = uint64_t{g.dwInodesPerGroup} * g.dwInodeSize / 512;
    auto add = [&](uint64_t first, uint64_t last, uint8_t kind) {
        // Regions past the group (a tiny group) or past 32 bits are left out.
        if (first > last || last >= S) return;
        regions.push_back({static_cast<uint32_t>(first), static_cast<uint32_t>(last), kind});
    };
    uint64_t c = 1;
    if (s < 3) {
        add(0, 1, 19);
    } else {
        add(0, 1, 12);
        add(2, 3, 19);
        if (s >= 5) add(4, s - 1, 12);
        c = s >= 5 ? s - 1 : 3;
    }
    const uint64_t d = c + s;
    add(c + 1, d, 20);
    add(d + 1, d + 1, 21);
    add(d + 2, d + 2, 22);
    add(d + 2, d + q + 1, 23);
    add(d + q + 2, S - 1, 7);
    return true;
}

}  // namespace delvora
