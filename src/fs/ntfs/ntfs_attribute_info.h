#pragma once
// Turning MFT records into items: the $FILE_NAME and $DATA attributes give
// an item's name, parent, times, flags and size. The batch form fills the
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

/// What only the load needs: one item per MFT record number and every
/// parent-child link in the order the records were parsed.
struct NtfsLoadTables {
    std::vector<FileItem> items;
    std::vector<NtfsLink> links;
    NamePool* names = &NamePool::Global();  // where item names are stored
};

/// Parses the whole records in buffer; record i has number firstRecord + i.
/// Fills tables.items[n] (n and the parent below items.size()) and adds one
/// link per name that is not a DOS name. Records whose first-attribute
/// offset is wrong are tried at 48 and 56 or skipped, with log lines.
/// Answers the buffer length.
size_t GetAttributeInfo(ByteSpan buffer, uint32_t firstRecord, uint32_t recordBytes,
                        NtfsLoadTables& tables, Log& log);

/// Fills item from one record (its size in bytes is record.size()) as a
/// deleted item with startCluster 0, and parentRecord from its last usable
/// $FILE_NAME. False when the record gives no name.
bool GetAttributeInfo(ByteSpan record, FileItem& item, uint32_t& parentRecord, Log& log,
                      NamePool& names = NamePool::Global());

}  // namespace delvora
