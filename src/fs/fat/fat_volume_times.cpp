// Exact times of a FAT item. FAT keeps wall-clock times without a zone; they
// are read as the host's local time (TZ honoured) and answered in UTC.
#include <new>

#include "common/bytes.h"
#include "common/text_format.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_volume.h"

namespace delvora {

bool FatVolume::ReadCreateHundredths(FileItem* item, uint8_t& hundredths) {
    FileItem* folder = item->parent;
    if (item->link == 0 || !folder || folder == RecycleItem()) return false;
    const uint64_t at = uint64_t{item->link - 1} * kFatEntryBytes;
    uint8_t bytes[kFatEntryBytes];
    bool read = false;
    if (IsFixedRoot(folder)) {
        ClusterRunList region;
        region.Add(m_geometry.rootStart, FixedRootSectors());
        read = ReadRunBytes(region, true, bytes, at, kFatEntryBytes, false);
    } else {
        if (folder != m_pTimesFolder) {
            m_pTimesFolder = nullptr;
            if (CollectRuns(folder, m_timesFolderRuns) != RunsResult::Ok) return false;
            m_pTimesFolder = folder;
        }
        read = ReadRunBytes(m_timesFolderRuns, false, bytes, at, kFatEntryBytes, false);
    }
    // The entry must still be the one the item was made from.
    const ByteSpan entry(bytes, kFatEntryBytes);
    if (!read || entry[11] != item->attributes || Le16(entry, 14) != item->createTime ||
        Le16(entry, 16) != item->createDate)
        return false;
    hundredths = entry[13];
    return true;
}

bool FatVolume::GetItemTimes(FileItem* item, ItemTimes& times) {
    times = ItemTimes{};
    // The top items and found items have no directory entry.
    if (!item || !item->parent || item->IsFound()) return false;
    try {
        int64_t seconds = 0;
        if (DosLocalToUnix(item->createDate, item->createTime, seconds)) {
            // Byte 13 adds 0..199 units of 10 ms to the two-second time.
            uint8_t hundredths = 0;
            if (!ReadCreateHundredths(item, hundredths) || hundredths > 199) hundredths = 0;
            times.created = UnixToUtcTicks(seconds + hundredths / 100, (hundredths % 100) * 10000000u);
        }
        if (DosLocalToUnix(item->writeDate, item->writeTime, seconds)) times.modified = UnixToUtcTicks(seconds);
        if (DosLocalToUnix(item->accessDate, 0, seconds)) times.accessed = UnixToUtcTicks(seconds);
    } catch (const std::bad_alloc&) {
        m_pTimesFolder = nullptr;
        return false;
    }
    return times.created || times.modified || times.accessed;
}

}  // namespace delvora
