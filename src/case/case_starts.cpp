#include "case/case_starts.h"

#include <algorithm>
#include <iterator>

namespace delvora {
namespace {

constexpr uint8_t kSectionTag[4] = {'L', 'B', 'A', 1};
constexpr size_t kEntryBytes = 12;

}  // namespace

void WriteStartSection(ArchiveWriter& archive, const std::vector<std::unique_ptr<DataItem>>& items) {
    uint32_t count = 0;
    for (const auto& item : items) count += item->startSector > UINT32_MAX;
    if (count == 0) return;
    for (uint8_t b : kSectionTag) archive.WriteU8(b);
    archive.WriteU32(count);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i]->startSector <= UINT32_MAX) continue;
        archive.WriteU32(static_cast<uint32_t>(i));
        archive.WriteU32(static_cast<uint32_t>(items[i]->startSector));
        archive.WriteU32(static_cast<uint32_t>(items[i]->startSector >> 32));
    }
}

bool ReadStartSection(ArchiveReader& archive, std::vector<StoredStart>& out) {
    out.clear();
    uint8_t tag[4] = {};
    uint32_t count = 0;
    if (!archive.ReadBytes(tag) || !std::equal(std::begin(tag), std::end(tag), std::begin(kSectionTag)) ||
        !archive.ReadU32(count) || count > archive.Remaining() / kEntryBytes)
        return false;
    out.resize(count);
    for (StoredStart& entry : out) {
        uint32_t low = 0, high = 0;
        if (!archive.ReadU32(entry.itemIndex) || !archive.ReadU32(low) || !archive.ReadU32(high)) {
            out.clear();
            return false;
        }
        entry.startSector = uint64_t{high} << 32 | low;
    }
    return true;
}

}  // namespace delvora
