// Loading an NTFS volume: boot values and the MFT's own runs (Prepare), the
// MFT read in large blocks into a record table, and the tree built from the
// root folder's record downwards (LoadTree).
#include <algorithm>
#include <new>

#include "common/text_format.h"
#include "disk/data_source.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_run_list.h"
#include "fs/ntfs/ntfs_volume.h"

namespace delvora {
namespace {

constexpr uint32_t kRootRecord = 5;
constexpr uint32_t kBlockBytes = 65536;
// Deeper folders are shown without their contents: paths are far shorter on
// any real volume, and the bound keeps the recursive tree walks shallow.
constexpr uint32_t kMaxDepth = 16384;

}  // namespace

NtfsVolume::NtfsVolume() : Volume(std::make_unique<NtfsFileTree>()) {}

bool NtfsVolume::Prepare() {
    ReleaseLoadTables();
    m_pTree->Destroy();
    m_mftRuns.Clear();
    SetDescription("NTFS");
    if (!m_pDataSource || !m_pDataSource->ReadNtfs_BPB(m_dwSectorNo)) return false;
    m_bootBytes = m_pDataSource->GetNtfs_BPB();
    m_boot = ParseNtfsBoot(m_bootBytes);
    if (m_boot.totalSectors == 0) return false;
    // Sector arithmetic is in 512-byte units whatever the boot sector's own
    // sector size, so clusters are counted in those units.
    if (m_boot.clusterBytes == 0 || m_boot.clusterBytes % 512 != 0) return false;
    m_boot.sectorsPerCluster = m_boot.clusterBytes / 512;

    // Nothing is sized beyond what the source can hold: a damaged boot sector
    // must not make the load allocate for a volume that is not there.
    uint64_t usable = std::min<uint64_t>(m_boot.totalSectors, UINT32_MAX);
    if (const uint64_t bytes = m_pDataSource->SizeBytes(); bytes != 0)
        usable = std::min<uint64_t>(usable, bytes / 512 > m_dwSectorNo ? bytes / 512 - m_dwSectorNo : 0);
    if (m_dwTotalSectors != 0 && m_dwTotalSectors != UINT32_MAX)
        usable = std::min<uint64_t>(usable, m_dwTotalSectors);
    m_nUsableSectors = usable;

    const uint64_t mftSector = m_dwSectorNo + uint64_t{m_boot.sectorsPerCluster} * m_boot.mftCluster;
    if (mftSector > UINT32_MAX) return false;
    std::vector<uint8_t> record;
    if (!ReadRecord(static_cast<uint32_t>(mftSector - m_dwSectorNo), record)) return false;
    m_pDataSource->SetReportErrors(0);
    const auto fail = [this] {
        m_pDataSource->SetReportErrors(1);
        return false;
    };

    const ByteSpan bytes(record);
    uint32_t offset = Le16(bytes, 0x14);
    if (offset < ntfs::kMinFirstAttribute || offset >= m_boot.clusterBytes) {
        Context().Logger().AppendLog(Format("取出第一个属性的偏移位置出错,位于 %d 扇区,分析文件系统失败!",
                                            static_cast<int>(mftSector)));
        return fail();
    }
    // The offset grows by a non-zero length each step; the record bounds it.
    while (offset < m_boot.clusterBytes && Has(bytes, offset, 8)) {
        if (Le32(bytes, offset) == ntfs::kData) {
            DecodeRunList(Slice(bytes, size_t{offset} + 0x40, bytes.size()), m_mftRuns);
            break;
        }
        const uint32_t length = Le32(bytes, offset + 4);
        if (length == 0) return fail();
        if (length >= bytes.size() - offset) break;
        offset += length;
    }
    if (m_mftRuns.Empty()) return fail();

    uint64_t records = 0;
    for (const ClusterRun& run : m_mftRuns) records += uint64_t{m_boot.clusterBytes} * run.count / m_boot.recordBytes;
    records = std::min<uint64_t>(records, usable * 512 / m_boot.recordBytes);
    if (records == 0) return fail();

    if (usable / 8 == 0 || !m_pTree->AllocateBitmap(static_cast<size_t>(usable / 8))) {
        Context().Notify().Message("分配簇使用位图失败!", "提示", MessageIcon::Error);
        return fail();
    }
    try {
        auto tables = std::make_unique<NtfsLoadTables>();
        tables->items.resize(static_cast<size_t>(records));
        tables->names = m_pNames;
        m_pTables = std::move(tables);
    } catch (const std::bad_alloc&) {
        return fail();
    }
    m_dwCapacity = static_cast<uint32_t>(records);
    return true;
}

bool NtfsVolume::LoadTree() {
    if (!m_pTables || !m_pDataSource) return false;
    bool built = false;
    try {
        built = ReadMft(*m_pTables) && BuildTree(*m_pTables);
    } catch (const std::bad_alloc&) {
        FreeSubtree(m_pTree->m_RootItem);
        built = false;
    }
    m_pDataSource->SetReportErrors(1);
    if (!built) return false;
    m_pTree->m_RootItem.flags |= item_flags::kDirectory;
    m_pTree->m_RecycleItem.flags |= item_flags::kDirectory;
    return true;
}

void NtfsVolume::ReleaseLoadTables() {
    m_pTables.reset();
    m_dwCapacity = 0;
}

bool NtfsVolume::ReadRecord(uint32_t sector, std::vector<uint8_t>& record) {
    record.assign(m_boot.recordBytes, 0);
    if (!m_pDataSource->GetData(record.data(), m_boot.recordBytes, m_dwSectorNo + sector)) return false;
    return ApplyFixup(record) != FixupResult::Mismatch;
}

bool NtfsVolume::ReadMft(NtfsLoadTables& tables) {
    const uint32_t clusterBytes = m_boot.clusterBytes;
    if (clusterBytes == 0 || m_boot.sectorsPerCluster == 0) return false;
    std::vector<uint8_t> block(kBlockBytes);
    const uint64_t capacity = tables.items.size();
    uint64_t record = 0;
    for (const ClusterRun& run : m_mftRuns) {
        const uint64_t runBytes = uint64_t{clusterBytes} * run.count;
        const uint64_t firstSector = m_dwSectorNo + uint64_t{m_boot.sectorsPerCluster} * run.first;
        // Ends with the run, or once the table is full: records past the
        // table have no place to go, however many the runs claim.
        for (uint64_t done = 0; done < runBytes; done += kBlockBytes) {
            if (record >= capacity) return true;
            const uint64_t sector = firstSector + done / 512;
            if (sector > UINT32_MAX) return false;
            const auto bytes = static_cast<uint32_t>(std::min<uint64_t>(kBlockBytes, runBytes - done));
            if (!m_pDataSource->GetData(block.data(), bytes, static_cast<uint32_t>(sector))) return false;
            GetAttributeInfo(ByteSpan(block.data(), bytes), static_cast<uint32_t>(record), m_boot.recordBytes,
                             tables, Context().Logger());
            record += bytes / m_boot.recordBytes;
        }
    }
    return true;
}

bool NtfsVolume::BuildTree(NtfsLoadTables& tables) {
    const size_t capacity = tables.items.size();
    if (capacity <= kRootRecord) return false;
    // Child lists as one index: links grouped by parent, each group in the
    // order the records were parsed (a counting sort keeps that order).
    std::vector<uint32_t> first(capacity + 1, 0);
    for (const NtfsLink& link : tables.links) ++first[link.parent + 1];
    for (size_t i = 0; i < capacity; ++i) first[i + 1] += first[i];
    std::vector<uint32_t> byParent(tables.links.size());
    {
        std::vector<uint32_t> cursor(first.begin(), first.end() - 1);
        for (uint32_t i = 0; i < tables.links.size(); ++i) byParent[cursor[tables.links[i].parent]++] = i;
    }
    const auto hasChildren = [&](uint32_t record) { return first[record + 1] > first[record]; };
    if (!hasChildren(kRootRecord)) return false;

    struct Work {
        FileItem* folder;
        uint32_t record;
        uint32_t depth;
    };
    std::vector<Work> work{{&m_pTree->m_RootItem, kRootRecord, 0}};
    // A folder's contents are placed once: stale parent references that make
    // a record its own ancestor cannot loop, and the root is not re-entered.
    std::vector<uint8_t> expanded(capacity, 0);
    expanded[kRootRecord] = 1;
    std::vector<FileItem> scratch;
    // Each pass takes one folder; folders are pushed at most once each.
    while (!work.empty()) {
        const Work job = work.back();
        work.pop_back();
        scratch.clear();
        for (uint32_t i = first[job.record]; i < first[job.record + 1]; ++i) {
            const NtfsLink& link = tables.links[byParent[i]];
            FileItem child = tables.items[link.child];
            // A name from an extension record may precede (or outlive) its
            // base record's own parse: the link says which record it is.
            child.name = link.name;
            child.startCluster = link.child;
            scratch.push_back(child);
            if (const uint32_t sector = RecordToSector(link.child, false); sector != 0)
                m_pTree->SetBit(sector, true);
        }
        if (!SetChildren(*job.folder, scratch)) throw std::bad_alloc();
        if (job.depth + 1 >= kMaxDepth) continue;
        for (uint32_t i = 0; i < job.folder->childCount; ++i) {
            FileItem& child = job.folder->children[i];
            const uint32_t record = child.startCluster;
            if (!child.IsDirectory() || record >= capacity || expanded[record] || !hasChildren(record)) continue;
            expanded[record] = 1;
            work.push_back({&child, record, job.depth + 1});
        }
    }
    return true;
}

uint32_t NtfsVolume::RecordToSector(uint32_t record, bool volumePosition) const {
    if (volumePosition) return uint64_t{record} * 2 > UINT32_MAX ? 0 : record * 2;
    if (m_boot.recordBytes == 0) return 0;
    const uint64_t sectorsPerRecord = m_boot.recordBytes / 512;
    uint64_t runFirstRecord = 0;
    for (const ClusterRun& run : m_mftRuns) {
        const uint64_t records = uint64_t{m_boot.clusterBytes} * run.count / m_boot.recordBytes;
        if (record < runFirstRecord + records) {
            const uint64_t sector =
                uint64_t{m_boot.sectorsPerCluster} * run.first + sectorsPerRecord * (record - runFirstRecord);
            return sector > UINT32_MAX ? 0 : static_cast<uint32_t>(sector);
        }
        runFirstRecord += records;
    }
    return 0;
}

}  // namespace delvora
