// Gathering one file from its base record and, through its attribute list,
// its extension records: for the item operations, for the load's records
// that carry a list, and for an MFT that itself continues elsewhere.
#include <algorithm>
#include <new>

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_time.h"
#include "fs/ntfs/ntfs_volume.h"

namespace delvora {
namespace {

constexpr uint32_t kRootRecord = 5;

}  // namespace

bool NtfsVolume::CollectFile(uint64_t sector, uint64_t number, NtfsFileFacts& facts, ClusterRunList& runs,
                             std::vector<NtfsNameFact>* extensionNames) {
    facts = NtfsFileFacts{};
    runs.Clear();
    std::vector<uint8_t> record;
    if (sector == 0 || !ReadRecord(sector, record)) return false;
    if (FirstAttributeOffset(record) == 0) {
        Context().Logger().AppendLog(Tr("NtfsFileCollect", "取出第一个属性的偏移位置出错!位于GetRunArray函数"));
        return false;
    }
    ReadFileAttributes(record, facts, nullptr);
    if (facts.hasList) {
        std::vector<uint8_t> list;
        if (!facts.listValue.empty()) {
            list.swap(facts.listValue);
        } else if (facts.listSize != 0) {
            const uint64_t bytes = std::min(facts.listSize, ntfs::kMaxListBytes);
            list.assign(bytes, 0);
            if (!ReadRuns(facts.listRuns, list.data(), 0, static_cast<uint32_t>(bytes))) list.clear();
        }
        // One pass over a bounded, sorted set of records; each is read once.
        for (const uint64_t extension : ListedRecords(list, number)) {
            const uint64_t at = RecordToSector(extension, false);
            if (at == 0 || !ReadRecord(at, record)) continue;
            // A record reused by another file since the list was written is not part of this one.
            if (BaseRecordOf(record) != number) continue;
            ReadFileAttributes(record, facts, extensionNames);
        }
    }
    JoinPieces(facts.pieces, runs);
    return true;
}

bool NtfsVolume::ReadItemFacts(FileItem* item, NtfsFileFacts& facts, ClusterRunList& runs) {
    const bool volumePosition = item->flags & item_flags::kVolumePosition;
    uint64_t number = item == RootItem() ? kRootRecord : item->Address();
    const uint64_t sector = RecordToSector(number, volumePosition);
    if (volumePosition) {
        // Only the record itself knows its number then (0x2C, kept since NTFS 3.1).
        std::vector<uint8_t> record;
        if (sector == 0 || !ReadRecord(sector, record)) return false;
        number = Le32(record, 0x2C);
    }
    return CollectFile(sector, number, facts, runs, nullptr);
}

bool NtfsVolume::GetItemTimes(FileItem* item, ItemTimes& times) {
    times = ItemTimes{};
    if (!item || !m_pDataSource || item->IsFound() || item == RecycleItem()) return false;
    try {
        NtfsFileFacts facts;
        ClusterRunList runs;
        if (!ReadItemFacts(item, facts, runs) || !facts.hasTimes) return false;
        times = facts.times;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void NtfsVolume::ResolveAttributeLists(NtfsLoadTables& tables) {
    const size_t capacity = tables.items.size();
    NtfsFileFacts facts;
    ClusterRunList runs;
    std::vector<NtfsNameFact> names;
    // One pass over the records the batch saw with a list, each listed once.
    for (const uint32_t number : tables.withList) {
        names.clear();
        if (number >= capacity || !CollectFile(RecordToSector(number, false), number, facts, runs, &names)) continue;
        NtfsRecordItem& item = tables.items[number];
        if (facts.hasData && !item.IsDirectory()) {
            item.size = facts.size;
            if (facts.resident)
                item.flags |= item_flags::kInRecord;
            else
                item.flags &= static_cast<uint8_t>(~item_flags::kInRecord);
        }
        if (facts.hasTimes && item.writeDate == 0) {
            NtfsTimeToDos(facts.times.created, item.createTime, item.createDate);
            NtfsTimeToDos(facts.times.modified, item.writeTime, item.writeDate);
            uint16_t accessTime = 0;
            NtfsTimeToDos(facts.times.accessed, accessTime, item.accessDate);
            item.attributes = facts.fileAttributes & 0x0F;
        }
        for (const NtfsNameFact& name : names) {
            if (name.parent >= capacity) continue;
            tables.links.push_back({static_cast<uint32_t>(name.parent), number, tables.names->Add(name.name)});
        }
    }
}

bool NtfsVolume::ReadMftExtensions() {
    // Record 0's own runs reach its extension records on any volume a
    // formatter made: they are the first records after the system files.
    NtfsFileFacts facts;
    ClusterRunList runs;
    const uint64_t sector = RecordToSector(0, false);
    if (!CollectFile(sector, 0, facts, runs, nullptr) || runs.Empty()) return false;
    m_mftRuns = std::move(runs);
    return true;
}

}  // namespace delvora
