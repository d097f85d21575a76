#pragma once
// The examiner's hash sets, kept in one SQLite database: each set named and
// marked known (ignorable) or notable (alert); every digest a key of one
// index, so a lookup is one probe however many sets and rows there are.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/hash.h"
#include "hashset/hash_line.h"

struct sqlite3;
struct sqlite3_stmt;

namespace delvora {

enum class HashSetStatus : int { kNone = 0, kKnown = 1, kNotable = 2 };

/// "known", "notable" or "".
const char* HashStatusText(HashSetStatus status);

struct HashSetInfo {
    std::string name;
    HashSetStatus status = HashSetStatus::kNone;
    unsigned kinds = 0;   // HashKind bits of the digests it holds
    uint64_t count = 0;   // distinct digests
    std::string source;   // the file it was imported from
    std::string imported; // UTC time of the import, ISO 8601
};

/// The set a file's digests were found in; a notable set wins over a known one.
struct HashMatch {
    std::string setName;
    HashSetStatus status = HashSetStatus::kNone;
};

/// The database's path: $DELVORA_HASHSETS, else hashsets.db in
/// $XDG_DATA_HOME/delvora (~/.local/share/delvora without it).
std::string DefaultHashSetDbPath();

class HashSetStore {
public:
    HashSetStore();
    ~HashSetStore();
    HashSetStore(const HashSetStore&) = delete;
    HashSetStore& operator=(const HashSetStore&) = delete;

    /// Opens the database at path; with create, makes it (and its folder)
    /// when missing. Refuses an SQLite file that is not a hash-set database
    /// or one of a newer layout; Error() then says why.
    bool Open(const std::string& path, bool create);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    const std::string& Error() const { return m_error; }

    bool List(std::vector<HashSetInfo>& out);
    /// False (Error() set) when no set has that name.
    bool Remove(const std::string& name);
    /// HashKind bits of every digest any set holds.
    unsigned Kinds();

    /// The set holding one of the digests, or none.
    HashMatch Lookup(const Digests& digests);

    /// Adds a set in one transaction: either the whole set is there
    /// afterwards or nothing of it (a killed import rolls back on the next
    /// open). rows calls add for every digest and answers false to abandon.
    struct Batch;
    bool AddSet(const HashSetInfo& info, const std::function<bool(Batch&)>& rows, uint64_t& added);

    /// Receives the digests of one import; sorted batches keep the index's
    /// pages close together, so big sets import at a steady pace.
    struct Batch {
        virtual ~Batch() = default;
        virtual bool Add(const HashValue& value) = 0;
    };

private:
    bool Exec(const char* sql);
    bool Fail(std::string text);
    bool Prepare(const char* sql, sqlite3_stmt** stmt);
    bool LookupOne(const HashValue& value, HashMatch& best);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_lookup = nullptr;
    std::string m_error;
    std::optional<unsigned> m_kinds;
};

}  // namespace delvora
