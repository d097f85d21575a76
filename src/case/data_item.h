#pragma once
// One added source of the case: a partition, logical drive, floppy or
// virtual volume, with the volumes loaded from it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "case/case_item.h"
#include "common/archive.h"
#include "disk/data_source.h"
#include "fs/volume.h"

namespace delvora {

/// totalSectors of a virtual volume, whose extent nobody knows.
inline constexpr uint32_t kVirtualVolumeSectors = 0xFFFFFFFF;

class DataItem {
public:
    explicit DataItem(const CoreContext& context = DefaultContext());
    /// Destroys the volumes first, then closes the source they read from.
    ~DataItem();
    DataItem(const DataItem&) = delete;
    DataItem& operator=(const DataItem&) = delete;

    uint8_t NodeKind() const { return node_kinds::kDataItem; }

    /// Writes the item record: name, typeId, startSector, then the source
    /// record. The saveItems flag has no effect on the record.
    void Save(ArchiveWriter& archive) const;

    std::string name;                     // e.g. C:(NTFS)
    uint8_t typeId = 0;                   // partition type byte
    uint64_t startSector = 0;             // in 512-byte units
    uint64_t totalSectors = 0;            // not kept in the case file
    std::unique_ptr<DataSource> source;   // never null
    std::vector<std::unique_ptr<Volume>> volumes;
};

}  // namespace delvora
