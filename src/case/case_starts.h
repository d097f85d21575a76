#pragma once
// Start sectors past 2^32 in a case file: the item record's field holds 32
// bits, so such a start is kept in a section after the records (after the
// keyword and virtual-volume sections), which readers that know only the
// records never reach. A case without such starts writes nothing.
#include <cstdint>
#include <memory>
#include <vector>

#include "case/data_item.h"
#include "common/archive.h"

namespace delvora {

/// What the record's field holds for a start that does not fit it.
inline constexpr uint32_t kStartInSection = 0xFFFFFFFF;

struct StoredStart {
    uint32_t itemIndex = 0;  // place among the records, from 0
    uint64_t startSector = 0;
};

/// Appends the section for items whose start needs more than 32 bits, or
/// nothing when none does.
void WriteStartSection(ArchiveWriter& archive, const std::vector<std::unique_ptr<DataItem>>& items);

/// Reads a section at the reader's position. Answers false, with out empty,
/// when there is none or it is cut short. No I/O.
bool ReadStartSection(ArchiveReader& archive, std::vector<StoredStart>& out);

}  // namespace delvora
