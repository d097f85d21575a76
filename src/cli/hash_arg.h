#pragma once
// The hashing options ls and export share: which digests to compute
// (--hash), whether to look them up in the hash sets (--hash-sets,
// --skip-known) and which database holds those (--hash-db).
#include <memory>
#include <string>

#include "cli/cli.h"
#include "common/hash.h"
#include "hashset/hash_set_store.h"

namespace delvora {
class Volume;
struct FileItem;
}  // namespace delvora

namespace delvora::cli {

/// The hash-set database a command uses: --hash-db, else the default.
std::string HashDbPath(const Args& args);

/// Opens the store for lookups. Answers an exit code (kFailed with the
/// store's reason on stderr).
int OpenHashStore(const Args& args, HashSetStore& store);

/// A listing's hashing: what to compute for each file and where to look
/// the digests up.
struct FileHashing {
    unsigned kinds = 0;  // HashKind bits computed; 0: no hashing
    std::unique_ptr<HashSetStore> store;

    /// The digests of a file's data as an export would write it, and the
    /// set they are in. Folders and unreadable files get none.
    void Compute(Volume& volume, FileItem& item, Digests& digests, HashMatch& match) const;
    std::string Headings() const;
    std::string Cells(Volume& volume, FileItem& item) const;
    std::string JsonFields(Volume& volume, FileItem& item) const;
};

/// Reads --hash, --hash-sets and --hash-db (and --skip-known, which asks
/// for the sets too). Answers an exit code.
int FileHashingArgs(const Args& args, FileHashing& hashing);

/// The ls --json fields of a file's digests and match: ",\"md5\":…" for
/// each kind asked for, and hashSet/hashStatus when the sets were asked.
std::string HashJsonFields(const Digests& digests, unsigned kinds, const HashMatch* match);

}  // namespace delvora::cli
