#include "case/case_virtual.h"

#include <algorithm>
#include <iterator>

namespace delvora {
namespace {

constexpr uint8_t kSectionTag[4] = {'V', 'V', 'P', 1};
constexpr size_t kEntryBytes =
    4 + std::tuple_size_v<FatBootParams> + std::tuple_size_v<NtfsBootParams> + std::tuple_size_v<Ext2Params>;

}  // namespace

void WriteVirtualSection(ArchiveWriter& archive, const std::vector<std::unique_ptr<DataItem>>& items) {
    std::vector<uint32_t> typed;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i]->source->HasFixedParams()) typed.push_back(static_cast<uint32_t>(i));
    if (typed.empty()) return;
    for (uint8_t b : kSectionTag) archive.WriteU8(b);
    archive.WriteU32(static_cast<uint32_t>(typed.size()));
    for (uint32_t index : typed) {
        const DataSource& source = *items[index]->source;
        archive.WriteU32(index);
        archive.WriteBytes(source.GetFat_BPB());
        archive.WriteBytes(source.GetNtfs_BPB());
        archive.WriteBytes(source.GetExt2_Param());
    }
}

bool ReadVirtualSection(ArchiveReader& archive, std::vector<StoredVolumeParams>& out) {
    out.clear();
    uint8_t tag[4] = {};
    uint32_t count = 0;
    if (!archive.ReadBytes(tag) || !std::equal(std::begin(tag), std::end(tag), std::begin(kSectionTag)) ||
        !archive.ReadU32(count) || count > archive.Remaining() / kEntryBytes)
        return false;
    out.resize(count);
    for (StoredVolumeParams& entry : out) {
        if (!archive.ReadU32(entry.itemIndex) || !archive.ReadBytes(entry.fat) || !archive.ReadBytes(entry.ntfs) ||
            !archive.ReadBytes(entry.ext2)) {
            out.clear();
            return false;
        }
    }
    return true;
}

}  // namespace delvora
