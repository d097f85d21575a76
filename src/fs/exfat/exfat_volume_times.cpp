// Exact times of an exFAT item, read again from its file entry: the DOS
// fields the tree keeps lack the 10-ms part and the UTC offset.
#include <array>

#include "fs/exfat/exfat_volume.h"

namespace delvora {
namespace {

/// Ticks of one timestamp; local wall-clock time through the host's zone
/// when the set recorded no UTC offset.
uint64_t TicksOf(uint32_t stamp, uint8_t tenMs, uint8_t utcOffset, DosLocalTimeCache& local) {
    const uint16_t date = static_cast<uint16_t>(stamp >> 16), time = static_cast<uint16_t>(stamp);
    if (ValidDosDate(date) == 0 || ValidDosDate(date) != date || ValidDosTime(time) != time) return 0;
    if (tenMs > 199) tenMs = 0;
    int64_t seconds = 0;
    if (utcOffset & 0x80) {
        std::tm tm{};
        tm.tm_year = ((date >> 9) & 0x7F) + 80;
        tm.tm_mon = ((date >> 5) & 0x0F) - 1;
        tm.tm_mday = date & 0x1F;
        tm.tm_hour = (time >> 11) & 0x1F;
        tm.tm_min = (time >> 5) & 0x3F;
        tm.tm_sec = (time & 0x1F) * 2;
        seconds = timegm(&tm);
        // Seven-bit signed count of 15-minute steps east of UTC.
        const int steps = (utcOffset & 0x40) ? static_cast<int>(utcOffset & 0x7F) - 128 : utcOffset & 0x7F;
        seconds -= int64_t{steps} * 15 * 60;
    } else if (!local.ToUnix(date, time, seconds)) {
        return 0;
    }
    return UnixToUtcTicks(seconds + tenMs / 100, (tenMs % 100) * 10000000u);
}

}  // namespace

bool ExfatVolume::GetItemTimes(FileItem* item, ItemTimes& times) {
    times = ItemTimes{};
    const SetFacts* facts = FactsOf(item);
    if (!facts || !m_pDataSource) return false;
    const uint64_t entryByte = EntryByte(item);
    const uint64_t bps = m_geometry.bytesPerSector;
    std::vector<uint8_t> sector(static_cast<size_t>(bps));
    if (!m_medium.Read(entryByte / bps, sector.data(), static_cast<uint32_t>(bps))) return false;
    const ByteSpan entry = Slice(sector, static_cast<size_t>(entryByte % bps), kExfatEntryBytes);
    if (entry.size() < kExfatEntryBytes || (entry[0] | kExfatInUse) != kExfatFileEntry) return false;
    times.created = TicksOf(Le32(entry, 8), entry[20], entry[22], m_localTimes);
    times.modified = TicksOf(Le32(entry, 12), entry[21], entry[23], m_localTimes);
    times.accessed = TicksOf(Le32(entry, 16), 0, entry[24], m_localTimes);
    return times.created || times.modified || times.accessed;
}

}  // namespace delvora
