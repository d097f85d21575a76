#pragma once
// The hashing options ls and export share: which digests to compute
// (--hash), whether to look them up in the hash sets (--hash-sets,
// --skip-known) and which database holds those (--hash-db).
#include <string>

#include "cli/cli.h"
#include "common/hash.h"
#include "hashset/hash_set_store.h"

namespace delvora::cli {

/// The hash-set database a command uses: --hash-db, else the default.
std::string HashDbPath(const Args& args);

/// Opens the store for lookups. Answers an exit code (kFailed with the
/// store's reason on stderr).
int OpenHashStore(const Args& args, HashSetStore& store);

/// The ls --json fields of a file's digests and match: ",\"md5\":…" for
/// each kind asked for, and hashSet/hashStatus when the sets were asked.
std::string HashJsonFields(const Digests& digests, unsigned kinds, const HashMatch* match);

}  // namespace delvora::cli
