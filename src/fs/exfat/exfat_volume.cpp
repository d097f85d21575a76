#include "fs/exfat/exfat_volume.h"

#include <algorithm>
#include <new>

#include "common/codepage.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/fat/fat_file_tree.h"

namespace delvora {
namespace {

// Past this many rejected sets one summary line stands for the rest: a
// crafted volume may hold millions of them.
constexpr uint32_t kMaxFaultLines = 100;

const char* FaultText(ExfatSetFault fault) {
    switch (fault) {
        case ExfatSetFault::BadChecksum: return Tr("ExfatVolume", "校验和不符");
        case ExfatSetFault::BadCount: return Tr("ExfatVolume", "附属项数不合理");
        case ExfatSetFault::NoStream: return Tr("ExfatVolume", "缺少流扩展项");
        case ExfatSetFault::BadName: return Tr("ExfatVolume", "文件名项不合理");
        default: return "";
    }
}

}  // namespace

ExfatVolume::ExfatVolume() : Volume(std::make_unique<FileTree>()) {}

bool ExfatVolume::Prepare() {
    try {
        return PrepareSteps();
    } catch (const std::bad_alloc&) {
        Context().Logger().AppendLog("!ExfatVolume::Prepare(): out of memory");
        return false;
    }
}

bool ExfatVolume::ReadBootRegion() {
    Log& log = Context().Logger();
    // One boot region for each possible sector size is read from the
    // source; the main region starts the volume, the backup follows it.
    std::vector<uint8_t> region;
    auto readRegion = [&](uint64_t byteOffset, uint32_t bps) {
        region.assign(size_t{bps} * kExfatBootRegionSectors, 0);
        return m_pDataSource->GetData(region.data(), static_cast<uint32_t>(region.size()),
                                      m_dwSectorNo + byteOffset / 512) != 0;
    };
    const char* reason = "";
    if (m_pDataSource->HasFixedParams()) {
        // A virtual volume: the typed-in values stand for the boot sector,
        // which may be destroyed; they carry no checksum.
        std::vector<uint8_t> typed(512, 0);
        std::copy_n("EXFAT   ", 8, typed.begin() + 3);
        const NtfsBootParams& values = m_pDataSource->GetNtfs_BPB();
        std::copy(values.begin(), values.end(), typed.begin() + 32);
        PutLe16(typed.data() + 510, 0xAA55);
        if (ParseExfatBootSector(typed, m_geometry, reason)) return true;
        log.AppendLog(Format(Tr("ExfatVolume", "exFAT 输入的引导参数无效: %s"), reason));
        return false;
    }
    ExfatGeometry main;
    bool mainParsed = false;
    std::vector<uint8_t> head(512, 0);
    if (m_pDataSource->GetData(head.data(), 512, m_dwSectorNo)) mainParsed = ParseExfatBootSector(head, main, reason);
    if (mainParsed && readRegion(0, main.bytesPerSector) && ExfatBootRegionValid(region, main.bytesPerSector)) {
        m_geometry = main;
        return true;
    }
    const std::string mainFault = mainParsed ? Tr("ExfatVolume", "校验和不符") : reason;
    for (uint32_t shift = 9; shift <= 12; ++shift) {
        const uint32_t bps = 1u << shift;
        ExfatGeometry backup;
        if (!readRegion(uint64_t{bps} * kExfatBootRegionSectors, bps)) continue;
        if (!ParseExfatBootSector(region, backup, reason) || backup.bytesPerSector != bps) continue;
        if (!ExfatBootRegionValid(region, bps)) continue;
        log.AppendLog(Format(Tr("ExfatVolume", "exFAT 主引导区损坏(%s),已使用备份引导区(第 %u 扇区起)"), mainFault.c_str(),
                             kExfatBootRegionSectors));
        m_geometry = backup;
        m_usedBackup = true;
        return true;
    }
    if (mainParsed) {
        // A checksum that fails on both regions still leaves readable fields.
        log.AppendLog(Tr("ExfatVolume", "exFAT 引导区校验和不符且无可用的备份引导区,仍按主引导区读取"));
        m_geometry = main;
        return true;
    }
    log.AppendLog(Format(Tr("ExfatVolume", "exFAT 引导扇区无效: %s"), reason));
    return false;
}

bool ExfatVolume::PrepareSteps() {
    Log& log = Context().Logger();
    m_pTree->Destroy();
    m_facts.clear();
    m_shortValid.clear();
    m_label.clear();
    m_usedBackup = false;
    m_faultLines = 0;
    SetDescription("exFAT");
    if (!m_pDataSource || !m_pDataSource->IsOpen()) {
        log.AppendLog("m_pDataSource==NULL || !IsOpen()");
        return false;
    }
    m_pDataSource->SetReportErrors(0);
    if (!ReadBootRegion()) {
        Context().Notify().Message(Tr("ExfatVolume", "DOS引导记录区损坏,请重建!"));
        return false;
    }
    const ExfatGeometry& g = m_geometry;
    RootItem()->flags |= item_flags::kDirectory;
    RecycleItem()->flags |= item_flags::kDirectory;
    RootItem()->startCluster = g.rootCluster;
    m_medium = FatMedium(m_pDataSource, m_dwSectorNo, g.bytesPerSector);

    // The FAT is read for the clusters the heap has, never past the source.
    uint64_t fatBytes = (uint64_t{g.clusterCount} + 2) * 4;
    const uint32_t activeFat = (g.flags & 1) && g.fatCount == 2 ? 1 : 0;
    const uint64_t fatStart = g.fatOffset + uint64_t{g.fatLength} * activeFat;
    if (const uint64_t onSource = m_medium.SectorsOnSource(); onSource != UINT64_MAX)
        fatBytes = std::min(fatBytes, onSource > fatStart ? (onSource - fatStart) * g.bytesPerSector : 0);
    m_fat.SetKind(3);
    m_fat.Attach(m_medium, fatStart, fatBytes, &log);
    if (!m_fat.ReadAllBuffer()) log.AppendLog("!m_fat.ReadAllBuffer()");

    // One bit a cluster number: the folders read so far, so that no
    // cluster is read as two folders.
    if (!m_pTree->AllocateBitmap(static_cast<size_t>((uint64_t{g.clusterCount} + 2 + 7) / 8))) {
        Context().Notify().Message(Tr("ExfatVolume", "分配簇使用位图失败!"));
        return false;
    }
    if (!FollowChain(g.rootCluster, kExfatMaxDirectoryBytes / g.clusterBytes, m_rootClusters) &&
        m_rootClusters.empty()) {
        log.AppendLog(Tr("ExfatVolume", "exFAT 根文件夹的簇链无效"));
        return false;
    }
    for (uint32_t c : m_rootClusters) m_pTree->SetBit(c, true);

    // The root holds the bitmap, the up-case table and the label.
    std::vector<uint8_t> root(m_rootClusters.size() * g.clusterBytes, 0);
    for (size_t i = 0; i < m_rootClusters.size(); ++i)
        if (!ReadClusters(m_rootClusters[i], &root[i * g.clusterBytes], 1))
            log.AppendLog(Format(Tr("ExfatVolume", "exFAT 根文件夹簇 %u 读取失败"), m_rootClusters[i]));
    bool bitmapSeen = false, upcaseSeen = false;
    ExfatDirectoryVisitor visitor;
    visitor.onVolumeEntry = [&](uint8_t type, ByteSpan entry) {
        if (type == kExfatBitmapEntry && !bitmapSeen && (Le8(entry, 1) & 1) == activeFat) {
            bitmapSeen = true;
            ReadBitmap(entry);
        } else if (type == kExfatUpcaseEntry && !upcaseSeen) {
            upcaseSeen = true;
            ReadUpcase(entry);
        } else if (type == kExfatLabelEntry && m_label.empty()) {
            const uint32_t units = std::min<uint32_t>(Le8(entry, 1), 11);
            std::vector<uint16_t> text(units);
            for (uint32_t i = 0; i < units; ++i) text[i] = Le16(entry, 2 + 2 * i);
            m_label = Utf16ToUtf8(text);
        }
    };
    visitor.onSet = [](const ExfatEntrySet&) { return true; };
    WalkExfatDirectory(root, visitor);
    if (!bitmapSeen) log.AppendLog(Tr("ExfatVolume", "exFAT 根文件夹中没有分配位图,所有簇按已使用处理"));
    if (!upcaseSeen) log.AppendLog(Tr("ExfatVolume", "exFAT 根文件夹中没有大小写转换表"));
    if (!m_label.empty()) SetDescription("exFAT " + m_label);
    return true;
}

bool ExfatVolume::ReadBitmap(ByteSpan entry) {
    Log& log = Context().Logger();
    const ExfatGeometry& g = m_geometry;
    const uint64_t needed = (uint64_t{g.clusterCount} + 7) / 8;
    const uint64_t length = Le64(entry, 24);
    m_bitmapCluster = Le32(entry, 20);
    m_bitmapBytes = length;
    if (length < needed)
        log.AppendLog(Format(Tr("ExfatVolume", "exFAT 分配位图只有 %llu 字节,少于 %u 个簇所需的 %llu 字节,其余簇按已使用处理"),
                             static_cast<unsigned long long>(length), g.clusterCount,
                             static_cast<unsigned long long>(needed)));
    const uint64_t take = std::min(length, needed);
    std::vector<uint32_t> chain;
    if (!FollowChain(static_cast<uint32_t>(m_bitmapCluster), (take + g.clusterBytes - 1) / g.clusterBytes, chain))
        log.AppendLog(Tr("ExfatVolume", "exFAT 分配位图的簇链不完整"));
    m_bitmap.assign(static_cast<size_t>(std::min<uint64_t>(take, chain.size() * uint64_t{g.clusterBytes})), 0);
    std::vector<uint8_t> cluster(g.clusterBytes);
    for (size_t i = 0; i < chain.size(); ++i) {
        const size_t at = i * g.clusterBytes;
        if (at >= m_bitmap.size()) break;
        if (!ReadClusters(chain[i], cluster.data(), 1)) {
            // Unreadable stretches count as in use: nothing is read as free.
            std::fill(cluster.begin(), cluster.end(), 0xFF);
            log.AppendLog(Format(Tr("ExfatVolume", "exFAT 分配位图簇 %u 读取失败"), chain[i]));
        }
        std::copy_n(cluster.begin(), std::min<size_t>(g.clusterBytes, m_bitmap.size() - at), m_bitmap.begin() + at);
    }
    return true;
}

void ExfatVolume::ReadUpcase(ByteSpan entry) {
    Log& log = Context().Logger();
    const uint64_t length = Le64(entry, 24);
    m_upcaseCluster = Le32(entry, 20);
    m_upcaseBytes = length;
    if (length == 0 || length > kExfatMaxUpcaseBytes || (length & 1)) {
        log.AppendLog(Format(Tr("ExfatVolume", "exFAT 大小写转换表的长度 %llu 字节不合理,已忽略该表"), static_cast<unsigned long long>(length)));
        m_upcaseBytes = 0;
        return;
    }
    std::vector<uint32_t> chain;
    if (!FollowChain(static_cast<uint32_t>(m_upcaseCluster), (length + m_geometry.clusterBytes - 1) / m_geometry.clusterBytes,
                     chain)) {
        log.AppendLog(Tr("ExfatVolume", "exFAT 大小写转换表的簇链不完整"));
        return;
    }
    std::vector<uint8_t> table(chain.size() * m_geometry.clusterBytes);
    for (size_t i = 0; i < chain.size(); ++i)
        if (!ReadClusters(chain[i], &table[i * m_geometry.clusterBytes], 1)) return;
    table.resize(static_cast<size_t>(length));
    if (ExfatTableChecksum(table) != Le32(entry, 4)) log.AppendLog(Tr("ExfatVolume", "exFAT 大小写转换表校验和不符"));
}

bool ExfatVolume::ClusterInUse(uint64_t cluster) const {
    if (!m_geometry.ValidCluster(cluster)) return true;
    const uint64_t bit = cluster - 2;
    if (bit / 8 >= m_bitmap.size()) return true;
    return (m_bitmap[static_cast<size_t>(bit / 8)] >> (bit % 8)) & 1;
}

bool ExfatVolume::FollowChain(uint32_t first, uint64_t needed, std::vector<uint32_t>& chain) {
    chain.clear();
    ChainLoopGuard guard;
    uint32_t cluster = first;
    // At most `needed` steps, each to a heap cluster; a loop is cut.
    while (chain.size() < needed && m_geometry.ValidCluster(cluster)) {
        if (guard.Closes(cluster)) {
            guard.CutLoop(chain, cluster);
            Context().Logger().AppendLog(Format(Tr("ExfatVolume", "exFAT 簇链在簇 %u 处成环,已截断"), cluster));
            return false;
        }
        chain.push_back(cluster);
        if (chain.size() == needed) break;
        cluster = m_fat.NextCluster(cluster);
    }
    return chain.size() == needed;
}

bool ExfatVolume::ReadClusters(uint64_t cluster, uint8_t* dest, uint32_t clusters) {
    if (!m_pDataSource || clusters == 0 || !m_geometry.ValidCluster(cluster) ||
        !m_geometry.ValidCluster(cluster + clusters - 1))
        return false;
    const uint64_t bytes = uint64_t{m_geometry.clusterBytes} * clusters;
    if (bytes > UINT32_MAX) return false;
    return m_medium.Read(ClusterToSector(cluster), dest, static_cast<uint32_t>(bytes));
}

bool ExfatVolume::AttachSetFacts(FileItem& item, uint64_t entryByte, const ExfatEntrySet& set) {
    if (m_facts.size() >= UINT32_MAX - 1) return false;
    m_facts.push_back({entryByte | (set.NoFatChain() ? 1u : 0u) | (set.inUse ? 2u : 0u)});
    item.link = static_cast<uint32_t>(m_facts.size());
    if (set.validLength < set.dataLength) m_shortValid[item.link] = set.validLength;
    return true;
}

const ExfatVolume::SetFacts* ExfatVolume::FactsOf(const FileItem* item) const {
    // Carved items use link for the high half of their address.
    if (!item || item->IsFound() || (item->flags & item_flags::kWideAddress) || item->link == 0 ||
        item->link > m_facts.size())
        return nullptr;
    return &m_facts[item->link - 1];
}

uint64_t ExfatVolume::EntryByte(const FileItem* item) const {
    const SetFacts* facts = FactsOf(item);
    return facts ? facts->entryByte & ~uint64_t{31} : 0;
}

bool ExfatVolume::SetInUse(const FileItem* item) const {
    const SetFacts* facts = FactsOf(item);
    return !facts || (facts->entryByte & 2);
}

bool ExfatVolume::NoFatChain(const FileItem* item) const {
    const SetFacts* facts = FactsOf(item);
    return facts && (facts->entryByte & 1);
}

uint64_t ExfatVolume::ValidLength(const FileItem* item) const {
    if (!item || item->IsFound() || !FactsOf(item)) return item ? item->size : 0;
    const auto it = m_shortValid.find(item->link);
    return it == m_shortValid.end() ? item->size : std::min(it->second, item->size);
}

std::vector<uint32_t> ExfatVolume::FolderClusters(const FileItem& folder, uint64_t& folderBytes) {
    std::vector<uint32_t> clusters;
    folderBytes = 0;
    if (&folder == RootItem()) {
        clusters = m_rootClusters;
    } else {
        ClusterRunList runs;
        if (CollectRuns(const_cast<FileItem*>(&folder), runs) == RunsResult::NoItem) return clusters;
        for (const ClusterRun& run : runs)
            for (uint64_t k = 0; k < run.count; ++k) clusters.push_back(static_cast<uint32_t>(run.first + k));
    }
    const uint64_t most = kExfatMaxDirectoryBytes / m_geometry.clusterBytes;
    if (clusters.size() > most) clusters.resize(static_cast<size_t>(most));
    folderBytes = clusters.size() * uint64_t{m_geometry.clusterBytes};
    return clusters;
}

bool ExfatVolume::ReadFolder(FileItem& folder, std::vector<FileItem*>& pending) {
    Log& log = Context().Logger();
    const ExfatGeometry& g = m_geometry;
    uint64_t bytes = 0;
    std::vector<uint32_t> clusters = FolderClusters(folder, bytes);
    if (&folder != RootItem()) {
        // A cluster that an earlier folder holds is not read again: two
        // folders sharing clusters would otherwise nest without end.
        for (size_t i = 0; i < clusters.size(); ++i) {
            if (m_pTree->GetBit(clusters[i])) {
                clusters.resize(i);
                break;
            }
            m_pTree->SetBit(clusters[i], true);
        }
    }
    if (clusters.empty()) return true;
    std::vector<uint8_t> buffer(clusters.size() * size_t{g.clusterBytes}, 0);
    for (size_t i = 0; i < clusters.size(); ++i)
        if (!ReadClusters(clusters[i], &buffer[i * g.clusterBytes], 1)) {
            log.AppendLog(Format(Tr("ExfatVolume", "exFAT 文件夹簇 %u 读取失败"), clusters[i]));
            std::fill_n(buffer.begin() + i * g.clusterBytes, g.clusterBytes, 0);
        }
    const bool folderDeleted = folder.IsDeleted();
    std::vector<FileItem> records;
    ExfatDirectoryVisitor visitor;
    visitor.onSet = [&](const ExfatEntrySet& set) {
        FileItem item = MakeItem(Utf16ToUtf8(std::span<const uint16_t>(set.name, set.nameUnits)));
        item.size = set.dataLength;
        item.startCluster = set.firstCluster;
        item.createDate = static_cast<uint16_t>(set.created >> 16);
        item.createTime = static_cast<uint16_t>(set.created);
        item.writeDate = static_cast<uint16_t>(set.modified >> 16);
        item.writeTime = static_cast<uint16_t>(set.modified);
        item.accessDate = static_cast<uint16_t>(set.accessed >> 16);
        item.attributes = static_cast<uint8_t>(set.attributes & 0x3F);
        if (set.IsDirectory()) item.flags |= item_flags::kDirectory;
        if (!set.inUse || folderDeleted) item.flags |= item_flags::kDeleted;
        const uint64_t at = set.offset;
        const uint64_t entryByte = ClusterToSector(clusters[at / g.clusterBytes]) * g.bytesPerSector + at % g.clusterBytes;
        if (!AttachSetFacts(item, entryByte, set)) return false;
        records.push_back(item);
        return true;
    };
    visitor.onFault = [&](size_t at, ExfatSetFault fault) {
        const uint64_t entryByte = ClusterToSector(clusters[at / g.clusterBytes]) * g.bytesPerSector + at % g.clusterBytes;
        if (m_faultLines < kMaxFaultLines)
            log.AppendLog(Format(Tr("ExfatVolume", "exFAT 文件项集%s,已跳过: 文件夹 %s, 卷内字节 %llu"), FaultText(fault),
                                 FullPath(folder).c_str(), static_cast<unsigned long long>(entryByte)));
        else if (m_faultLines == kMaxFaultLines)
            log.AppendLog(Tr("ExfatVolume", "exFAT 跳过的文件项集过多,以后的不再逐条记录"));
        ++m_faultLines;
    };
    WalkExfatDirectory(buffer, visitor);
    if (!SetChildren(folder, records)) return false;
    for (uint32_t i = 0; i < folder.childCount; ++i) {
        FileItem& child = folder.children[i];
        if (!child.IsDirectory() || child.startCluster == 0 || !g.ValidCluster(child.startCluster)) continue;
        // A deleted folder is read only while its first cluster is free:
        // once reused it holds someone else's bytes.
        if (child.IsDeleted() && ClusterInUse(child.startCluster)) continue;
        pending.push_back(&child);
    }
    return true;
}

bool ExfatVolume::LoadTree() {
    try {
        std::vector<FileItem*> pending{RootItem()};
        // Each folder is taken once from the list and its clusters are
        // marked before its children join, so the walk ends.
        while (!pending.empty()) {
            FileItem* folder = pending.back();
            pending.pop_back();
            if (!ReadFolder(*folder, pending)) Context().Logger().AppendLog("!ExfatVolume::ReadFolder()");
        }
    } catch (const std::bad_alloc&) {
        Context().Logger().AppendLog("!ExfatVolume::LoadTree(): out of memory");
    }
    return true;
}

void ExfatVolume::ReleaseLoadTables() { m_fat.ReleaseAllBuffer(); }

uint64_t ExfatVolume::SectorToCluster(uint64_t sector) const {
    if (sector < m_geometry.heapOffset) return 2;
    return ((sector - m_geometry.heapOffset) >> m_geometry.sectorsPerClusterShift) + 2;
}

void ExfatVolume::MoveStartSector(uint64_t sector) {
    m_dwSectorNo = sector;
    if (!m_pDataSource) return;
    m_medium = FatMedium(m_pDataSource, sector, m_geometry.bytesPerSector);
    m_fat.MoveMedium(m_medium);
}

bool ExfatVolume::ListRootSectors(ClusterRunList& runs) {
    for (uint32_t c : m_rootClusters) runs.AddJoined(ClusterToSector(c), m_geometry.sectorsPerCluster);
    return !m_rootClusters.empty();
}

bool ExfatVolume::ListRegions(std::vector<DiskRegion>& regions) {
    const ExfatGeometry& g = m_geometry;
    if (g.clusterCount == 0) return false;
    regions.push_back({0, 2 * kExfatBootRegionSectors - 1, 1});
    for (uint32_t copy = 0; copy < g.fatCount; ++copy) {
        const uint64_t first = g.fatOffset + uint64_t{copy} * g.fatLength;
        regions.push_back({first, first + g.fatLength - 1, static_cast<uint8_t>(copy == 0 ? 2 : 3)});
    }
    // The tables inside the heap go before the heap: the first region wins.
    const auto addChain = [&](uint64_t first, uint64_t bytes, uint8_t kind) {
        if (bytes == 0 || first == 0) return;
        std::vector<uint32_t> chain;
        FollowChain(static_cast<uint32_t>(first), (bytes + g.clusterBytes - 1) / g.clusterBytes, chain);
        for (uint32_t c : chain) {
            const uint64_t s = ClusterToSector(c);
            regions.push_back({s, s + g.sectorsPerCluster - 1, kind});
        }
    };
    addChain(m_bitmapCluster, m_bitmapBytes, kRegionAllocationBitmap);
    addChain(m_upcaseCluster, m_upcaseBytes, kRegionUpcaseTable);
    for (uint32_t c : m_rootClusters) {
        const uint64_t s = ClusterToSector(c);
        regions.push_back({s, s + g.sectorsPerCluster - 1, 6});
    }
    regions.push_back({g.heapOffset, g.heapOffset + (uint64_t{g.clusterCount} << g.sectorsPerClusterShift) - 1, 7});
    return true;
}

bool ExfatVolume::ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) {
    if (!dest || !m_pDataSource || m_geometry.clusterCount == 0) return false;
    if (position < 2 && !allowLow) return false;
    const uint64_t spc = m_geometry.sectorsPerCluster;
    uint64_t sector = 0;
    if (position >= 2) {
        if (position - 2 > (UINT64_MAX - m_geometry.heapOffset) / spc) return false;
        sector = m_geometry.heapOffset + spc * (position - 2);
    } else {
        const uint64_t back = spc * (2 - position);
        if (back > m_geometry.heapOffset) return false;
        sector = m_geometry.heapOffset - back;
    }
    return m_medium.Read(sector, dest, count);
}

}  // namespace delvora
