#pragma once
// The typed-in boot parameters of virtual volumes in a case file: a section
// after the item records (and after the keywords), which readers that know
// only the records never reach. A case without virtual volumes writes
// nothing, so its file stays byte for byte the plain format.
#include <cstdint>
#include <memory>
#include <vector>

#include "case/data_item.h"
#include "common/archive.h"

namespace delvora {

/// The parameters of one item, by its place among the records.
struct StoredVolumeParams {
    uint32_t itemIndex = 0;
    FatBootParams fat{};
    NtfsBootParams ntfs{};
    Ext2Params ext2{};
};

/// Appends the section for the items whose sources carry typed-in
/// parameters, or nothing when none does.
void WriteVirtualSection(ArchiveWriter& archive, const std::vector<std::unique_ptr<DataItem>>& items);

/// Reads a section at the reader's position. Answers false, with out
/// empty, when there is none or it is cut short. No I/O.
bool ReadVirtualSection(ArchiveReader& archive, std::vector<StoredVolumeParams>& out);

}  // namespace delvora
