#pragma once
// Filling a hash set from a file: the NSRL RDS (its SQLite distribution, or
// the legacy NSRLFile.txt CSV), hashdeep/md5deep output, or a plain list.
// The format is told from the content, never from the name.
#include <cstdint>
#include <functional>
#include <string>

#include "hashset/hash_set_store.h"

namespace delvora {

enum class HashSourceFormat { kPlain, kHashdeep, kNsrlCsv, kNsrlRds };

/// "list", "hashdeep", "nsrl-csv", "nsrl-rds".
const char* HashSourceFormatName(HashSourceFormat format);

/// What an import read and what it passed over.
struct HashImportReport {
    HashSourceFormat format = HashSourceFormat::kPlain;
    uint64_t rows = 0;       // lines or table rows read
    uint64_t digests = 0;    // rows that gave a digest
    uint64_t added = 0;      // distinct digests the set holds
    uint64_t malformed = 0;  // rows that were not of the format
    uint64_t badLength = 0;  // hex digests of no kind's length
    uint64_t tooLong = 0;    // lines over the length limit, passed over whole

    uint64_t Skipped() const { return malformed + badLength + tooLong; }
};

/// Reports progress as (bytes or rows done, total or 0); false stops the
/// import, which then leaves nothing behind.
using ImportProgress = std::function<bool(uint64_t done, uint64_t total)>;

/// Imports file into a new set of the store in one transaction. False with
/// error set when the file cannot be read or is refused (an SQLite file
/// that is no RDS set, an RDS layout without digest columns, a name in
/// use); skipped rows are counted in report, not failures.
bool ImportHashSet(HashSetStore& store, const std::string& name, HashSetStatus status, const std::string& file,
                   HashImportReport& report, std::string& error, const ImportProgress& progress = {});

}  // namespace delvora
