// Loading an NTFS volume: boot values and the MFT's own runs (Prepare), the
// MFT read in large blocks into a record table, and the tree built from the
// root folder's record downwards (LoadTree).
#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "disk/image_map.h"
#include "fs/ntfs/ntfs_file_facts.h"
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
    {
        const std::lock_guard<std::mutex> lock(m_initializedMutex);
        m_pInitializedItem = nullptr;
    }
    SetDescription("NTFS");
    if (!m_pDataSource || !m_pDataSource->ReadNtfs_BPB(m_dwSectorNo)) return false;
    m_bootBytes = m_pDataSource->GetNtfs_BPB();
    if (!ParseNtfsBoot(m_bootBytes, m_boot)) return false;

    // Nothing is sized beyond what the source can hold: a damaged boot sector
    // must not make the load allocate for a volume that is not there.
    uint64_t usable = m_boot.totalSectors;
    if (const uint64_t bytes = m_pDataSource->SizeBytes(); bytes != 0)
        usable = std::min<uint64_t>(usable, bytes / 512 > m_dwSectorNo ? bytes / 512 - m_dwSectorNo : 0);
    if (m_dwTotalSectors != 0 && m_dwTotalSectors != UINT32_MAX)
        usable = std::min<uint64_t>(usable, m_dwTotalSectors);
    m_nUsableSectors = usable;

    if (m_boot.mftCluster > ntfs::kMaxCluster) return false;
    const uint64_t mftSector = uint64_t{m_boot.sectorsPerCluster} * m_boot.mftCluster;
    std::vector<uint8_t> record;
    if (!ReadRecord(mftSector, record)) return false;
    m_pDataSource->SetReportErrors(0);
    const auto fail = [this] {
        m_pDataSource->SetReportErrors(1);
        return false;
    };

    const ByteSpan bytes(record);
    if (FirstAttributeOffset(bytes) == 0) {
        Context().Logger().AppendLog(Format(Tr("NtfsLoader", "取出第一个属性的偏移位置出错,位于 %d 扇区,分析文件系统失败!"),
                                            static_cast<int>(m_dwSectorNo + mftSector)));
        return fail();
    }
    NtfsFileFacts facts;
    ReadFileAttributes(bytes, facts, nullptr);
    JoinPieces(facts.pieces, m_mftRuns);
    if (m_mftRuns.Empty()) return fail();
    // A fragmented MFT continues its runs in extension records.
    if (facts.hasList) ReadMftExtensions();

    uint64_t records = 0;
    for (const ClusterRun& run : m_mftRuns) records += uint64_t{m_boot.clusterBytes} * run.count / m_boot.recordBytes;
    records = std::min<uint64_t>({records, usable * 512 / m_boot.recordBytes, UINT32_MAX});
    if (records == 0) return fail();

    if (usable / 8 == 0 || usable / 8 > SIZE_MAX || !m_pTree->AllocateBitmap(static_cast<size_t>(usable / 8))) {
        Context().Notify().Message(Tr("NtfsLoader", "分配簇使用位图失败!"), "提示", MessageIcon::Error);
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
        built = ReadMft(*m_pTables);
        if (built) ResolveAttributeLists(*m_pTables);
        built = built && BuildTree(*m_pTables);
    } catch (const std::bad_alloc&) {
        m_pTree->ClearTop(m_pTree->m_RootItem);
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

bool NtfsVolume::ReadRecord(uint64_t sector, std::vector<uint8_t>& record) {
    record.assign(m_boot.recordBytes, 0);
    if (record.empty() || !m_pDataSource->GetData(record.data(), m_boot.recordBytes, m_dwSectorNo + sector))
        return false;
    return ApplyFixup(record) != FixupResult::Mismatch;
}

bool NtfsVolume::ReadMft(NtfsLoadTables& tables) {
    const uint32_t clusterBytes = m_boot.clusterBytes;
    const uint32_t recordBytes = m_boot.recordBytes;
    if (clusterBytes == 0 || recordBytes == 0 || m_boot.sectorsPerCluster == 0) return false;
    std::vector<uint8_t> block(kBlockBytes);
    const uint64_t capacity = tables.items.size();
    // An image file is parsed where it lies in the page cache: the MFT is
    // the bulk of what a load reads, and copying it out costs more than
    // parsing it. Blocks a read would not give whole go through GetData.
    const std::unique_ptr<ImageMap> map = ImageMap::Open(*m_pDataSource);
    std::optional<MappedPass> pass;
    if (map) pass.emplace(*map, m_pDataSource->SectorSize());
    uint64_t record = 0;
    for (const ClusterRun& run : m_mftRuns) {
        const uint64_t runBytes = uint64_t{clusterBytes} * run.count;
        // A hole in the MFT holds no records; their numbers are passed over.
        if (run.first == ntfs::kSparseRun) {
            record += runBytes / recordBytes;
            continue;
        }
        const uint64_t firstSector = m_dwSectorNo + uint64_t{m_boot.sectorsPerCluster} * run.first;
        // Ends with the run, or once the table is full: records past the
        // table have no place to go, however many the runs claim.
        for (uint64_t done = 0; done + recordBytes <= runBytes; done += kBlockBytes) {
            if (record >= capacity) return true;
            const auto bytes = static_cast<uint32_t>(std::min<uint64_t>(kBlockBytes, runBytes - done));
            ByteSpan data = pass ? pass->WholeSectors(firstSector + done / 512, bytes) : ByteSpan();
            if (data.empty()) {
                if (!m_pDataSource->GetData(block.data(), bytes, firstSector + done / 512)) return false;
                data = ByteSpan(block.data(), bytes);
            }
            GetAttributeInfo(data, static_cast<uint32_t>(record), recordBytes, tables, Context().Logger());
            record += bytes / recordBytes;
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
    // The root's own record belongs to the loaded tree as well.
    if (const uint64_t sector = RecordToSector(kRootRecord, false); sector != 0) m_pTree->SetBit(sector, true);
    std::vector<FileItem> scratch;
    // Each pass takes one folder; folders are pushed at most once each.
    while (!work.empty()) {
        const Work job = work.back();
        work.pop_back();
        scratch.clear();
        for (uint32_t i = first[job.record]; i < first[job.record + 1]; ++i) {
            const NtfsLink& link = tables.links[byParent[i]];
            // The root folder names itself as its own parent ("."): it is the tree's root, not a child.
            if (link.child == kRootRecord) continue;
            // A name from an extension record may precede (or outlive) its
            // base record's own parse: the link says which record it is.
            scratch.push_back(tables.items[link.child].ToItem(link.name, link.child));
            if (const uint64_t sector = RecordToSector(link.child, false); sector != 0)
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

uint64_t NtfsVolume::RecordToSector(uint64_t record, bool volumePosition) const {
    const uint64_t sectorsPerRecord = m_boot.recordBytes / 512;
    if (sectorsPerRecord == 0) return 0;
    if (volumePosition) return record > UINT64_MAX / sectorsPerRecord ? 0 : record * sectorsPerRecord;
    uint64_t runFirstRecord = 0;
    // One step per MFT run.
    for (const ClusterRun& run : m_mftRuns) {
        const uint64_t records = uint64_t{m_boot.clusterBytes} * run.count / m_boot.recordBytes;
        if (record < runFirstRecord + records) {
            if (run.first == ntfs::kSparseRun) return 0;
            return uint64_t{m_boot.sectorsPerCluster} * run.first + sectorsPerRecord * (record - runFirstRecord);
        }
        runFirstRecord += records;
    }
    return 0;
}

}  // namespace delvora
