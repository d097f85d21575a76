#pragma once
// Turning MFT records into items: $STANDARD_INFORMATION gives the times,
// $FILE_NAME the name and parent, the unnamed $DATA the size, the header the
// flags. The batch form fills the
// load tables of a whole volume; the single form fills one item for the
// residual search. Both parse a fixed-up copy of each record.
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "common/reporting.h"
#include "fs/file_item.h"
#include "fs/name_pool.h"

namespace delvora {

/// One name of a record under its parent folder (a record with hard links
/// has several).
struct NtfsLink {
    uint32_t parent = 0;
    uint32_t child = 0;
    const char* name = nullptr;
};

/// What a base record gives its item while the MFT is read: the item's own
/// fields without its name and tree links, 24 bytes a record rather than a
/// whole FileItem, since the table holds one per record of the MFT while the
/// tree is built beside it.
struct NtfsRecordItem {
    uint64_t size = 0;
    uint16_t createTime = 0;
    uint16_t createDate = 0;
    uint16_t accessDate = 0;
    uint16_t writeTime = 0;
    uint16_t writeDate = 0;
    uint8_t flags = 0;
    uint8_t attributes = 0;

    bool IsDirectory() const { return flags & item_flags::kDirectory; }
    /// The tree's record for this one under name, read from record number.
    FileItem ToItem(const char* name, uint32_t number) const;
};

/// What only the load needs: one item per MFT record number, every
/// parent-child link in the order the records were parsed, and the base
/// records that carry an attribute list (their names, sizes and times may
/// lie in extension records, read once the batch is done).
struct NtfsLoadTables {
    std::vector<NtfsRecordItem> items;
    std::vector<NtfsLink> links;
    std::vector<uint32_t> withList;
    NamePool* names = &NamePool::Global();  // where item names are stored
};

/// Parses the whole records in buffer; record i has number firstRecord + i.
/// Fills tables.items[n] of every base record n below items.size() and adds
/// one link (with the pooled name) per name that is not a DOS name and whose parent is below
/// items.size(). Extension records are skipped. Records whose
/// first-attribute offset is wrong are tried at 48 and 56 or skipped, with a
/// log line for those that carry a record signature. Answers the buffer length.
size_t GetAttributeInfo(ByteSpan buffer, uint32_t firstRecord, uint32_t recordBytes,
                        NtfsLoadTables& tables, Log& log);

/// Fills item from one record (its size in bytes is record.size()) as a
/// deleted item with startCluster 0, and parentRecord from its last usable
/// $FILE_NAME. False when the record gives no name.
bool GetAttributeInfo(ByteSpan record, FileItem& item, uint32_t& parentRecord, Log& log,
                      NamePool& names = NamePool::Global());

}  // namespace delvora
