#pragma once
// Hashing the files of a volume or folder on the case's worker: each file's
// MD5, SHA-1 and SHA-256 in one read of what an export would write, looked
// up in the examiner's hash sets, kept for the file list to show.
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "common/hash.h"
#include "fs/item_ref.h"
#include "hashset/hash_set_store.h"

namespace delvora {

class CaseWorkspace;
class DataItem;
class Volume;
struct FileItem;

struct FileHashRecord {
    Digests digests;
    HashMatch match;
};

/// The digests computed so far, by volume and item. Each record keeps a
/// reference to its item, so a record outlived by its item (a residual
/// search or reload rebuilt that part of the tree) is never found for a new
/// item at the same address.
class HashResults {
public:
    /// A copy of the record of item, or false when it was not hashed.
    bool Find(const Volume* volume, const FileItem* item, FileHashRecord& out) const;
    void Put(Volume& volume, FileItem& item, FileHashRecord record);
    void Forget(const Volume* volume);
    bool Empty() const;

private:
    mutable std::mutex m_mutex;
    struct Entry {
        ItemRef ref;
        FileHashRecord record;
    };
    std::map<std::pair<const Volume*, const FileItem*>, Entry> m_records;
};

/// What one run hashed.
struct HashRunSummary {
    uint32_t files = 0;
    uint32_t failed = 0;
    uint32_t known = 0;
    uint32_t notable = 0;
    bool stopped = false;
};

/// Hashes every file below folder (the whole volume for its root) into
/// results, looking each up in the database at dbPath when it exists. Stops
/// when the workspace's busy flag is cleared. Progress: the bar counts
/// files; the log gets a line at the end.
HashRunSummary HashFolder(CaseWorkspace& workspace, Volume& volume, FileItem& folder, HashResults& results,
                          const std::string& dbPath);

/// The "计算哈希" command: refused with "线程忙!" while busy; on the worker
/// for a local source (stoppable), inline for a remote one; the views are
/// refreshed afterwards.
bool StartHashing(CaseWorkspace& workspace, DataItem& item, Volume& volume, FileItem& folder, HashResults& results,
                  const std::string& dbPath);

}  // namespace delvora
