// Exact times of a FAT item. FAT keeps wall-clock times without a zone; they
// are read as the host's local time (TZ honoured) and answered in UTC.
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_volume.h"

namespace delvora {

bool FatVolume::GetItemTimes(FileItem* item, ItemTimes& times) {
    times = ItemTimes{};
    // The top items and found items have no directory entry.
    if (!item || !item->parent || item->IsFound()) return false;
    int64_t seconds = 0;
    if (m_localTimes.ToUnix(item->createDate, item->createTime, seconds)) {
        // Byte 13 adds 0..199 units of 10 ms to the two-second time.
        uint32_t hundredths = (item->link & kFatHundredthsKnown) ? item->link & 0xFF : 0;
        if (hundredths > 199) hundredths = 0;
        times.created = UnixToUtcTicks(seconds + hundredths / 100, (hundredths % 100) * 10000000u);
    }
    if (m_localTimes.ToUnix(item->writeDate, item->writeTime, seconds)) times.modified = UnixToUtcTicks(seconds);
    if (m_localTimes.ToUnix(item->accessDate, 0, seconds)) times.accessed = UnixToUtcTicks(seconds);
    return times.created || times.modified || times.accessed;
}

}  // namespace delvora
