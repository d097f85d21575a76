// Single MFT records and run lists: every parser of record bytes must stay
// inside the record whatever its offsets, lengths and name lengths say.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/reporting.h"
#include "fs/name_pool.h"
#include "fs/ntfs/ntfs_attribute_info.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_run_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace delvora;
    NullLog log;
    NamePool names;  // names of this input only, freed with it
    const ByteSpan input(data, size);

    ClusterRunList runs;
    DecodeRunList(input, runs);

    // The input as one record of 512 or 1024 bytes (exactly sized copies, so
    // the sanitizer sees any read past the record).
    for (const size_t recordBytes : {size_t{512}, size_t{1024}}) {
        if (size < recordBytes) break;
        std::vector<uint8_t> record(data, data + recordBytes);
        GetRunArray(record, runs, log);
        GetAttrbuteByType(record, 0x80, log);
        FileItem item;
        uint32_t parent = 0;
        GetAttributeInfo(record, item, parent, log, names);
    }

    // The whole input as a batch of records against a small table.
    NtfsLoadTables tables;
    tables.items.resize(64);
    tables.names = &names;
    std::vector<uint8_t> batch(data, data + size / 1024 * 1024);
    GetAttributeInfo(batch, 0, 1024, tables, log);
    return 0;
}
