#include "hashset/hash_set_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace delvora {
namespace {

// Marks the file as ours in its header, so a stray SQLite file is never
// taken for a hash-set database (nor written into).
constexpr int kApplicationId = 0x44564853;  // "DVHS"
constexpr int kLayoutVersion = 1;

// Digests gathered before they are sorted and written: ~10 MiB.
constexpr size_t kBatchValues = 1 << 18;

struct StmtFree {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFree>;

std::string ColumnText(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

const char* HashStatusText(HashSetStatus status) {
    switch (status) {
        case HashSetStatus::kKnown: return "known";
        case HashSetStatus::kNotable: return "notable";
        default: return "";
    }
}

std::string DefaultHashSetDbPath() {
    if (const char* path = std::getenv("DELVORA_HASHSETS"); path && *path) return path;
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') base = data;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.local/share";
    else base = ".";
    return base + "/delvora/hashsets.db";
}

HashSetStore::HashSetStore() = default;
HashSetStore::~HashSetStore() { Close(); }

void HashSetStore::Close() {
    if (m_lookup) sqlite3_finalize(m_lookup);
    m_lookup = nullptr;
    if (m_db) sqlite3_close(m_db);
    m_db = nullptr;
    m_kinds.reset();
}

bool HashSetStore::Fail(std::string text) {
    m_error = std::move(text);
    return false;
}

bool HashSetStore::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    m_error = message ? message : sqlite3_errmsg(m_db);
    sqlite3_free(message);
    return false;
}

bool HashSetStore::Prepare(const char* sql, sqlite3_stmt** stmt) {
    if (sqlite3_prepare_v2(m_db, sql, -1, stmt, nullptr) == SQLITE_OK) return true;
    m_error = sqlite3_errmsg(m_db);
    return false;
}

bool HashSetStore::Open(const std::string& path, bool create) {
    Close();
    m_error.clear();
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    if (!exists && !create) return Fail("no hash-set database at " + path);
    if (!exists) {
        const auto parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, error);
    }
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        const std::string reason = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        Close();
        return Fail("cannot open " + path + ": " + reason);
    }
    sqlite3_busy_timeout(m_db, 5000);
    int appId = 0, version = 0, tables = 0;
    {
        sqlite3_stmt* raw = nullptr;
        // The first read is where SQLite finds out whether the file is a
        // database at all.
        if (!Prepare("SELECT (SELECT application_id FROM pragma_application_id),"
                     " (SELECT user_version FROM pragma_user_version),"
                     " (SELECT count(*) FROM sqlite_master)",
                     &raw)) {
            const std::string reason = m_error;
            Close();
            return Fail(path + " is not a hash-set database (" + reason + ")");
        }
        Stmt stmt(raw);
        if (sqlite3_step(raw) != SQLITE_ROW) {
            const std::string reason = sqlite3_errmsg(m_db);
            Close();
            return Fail(path + " is not a hash-set database (" + reason + ")");
        }
        appId = sqlite3_column_int(raw, 0);
        version = sqlite3_column_int(raw, 1);
        tables = sqlite3_column_int(raw, 2);
    }
    if (appId == 0 && tables == 0) {
        if (!create) return true;  // an empty file: no sets yet
        const std::string schema =
            "BEGIN;"
            "CREATE TABLE sets(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, status INTEGER NOT NULL,"
            " kinds INTEGER NOT NULL DEFAULT 0, count INTEGER NOT NULL DEFAULT 0, source TEXT, imported TEXT);"
            // One key per (digest, set): a lookup is a probe of this index.
            "CREATE TABLE hashes(hash BLOB NOT NULL, setId INTEGER NOT NULL, PRIMARY KEY(hash, setId)) WITHOUT ROWID;"
            "PRAGMA application_id = " + std::to_string(kApplicationId) + ";"
            "PRAGMA user_version = " + std::to_string(kLayoutVersion) + ";"
            "COMMIT;";
        if (!Exec(schema.c_str())) {
            const std::string reason = m_error;
            Exec("ROLLBACK");
            Close();
            return Fail("cannot create " + path + ": " + reason);
        }
        return true;
    }
    if (appId != kApplicationId) {
        Close();
        return Fail(path + " is an SQLite database but not a hash-set database");
    }
    if (version > kLayoutVersion) {
        Close();
        return Fail(path + " was written by a newer version (layout " + std::to_string(version) + ")");
    }
    return true;
}

bool HashSetStore::List(std::vector<HashSetInfo>& out) {
    out.clear();
    if (!m_db) return Fail("no hash-set database is open");
    sqlite3_stmt* raw = nullptr;
    // An empty database has no tables yet: no sets.
    if (sqlite3_prepare_v2(m_db, "SELECT name, status, kinds, count, source, imported FROM sets ORDER BY name", -1,
                           &raw, nullptr) != SQLITE_OK)
        return true;
    Stmt stmt(raw);
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        HashSetInfo info;
        info.name = ColumnText(raw, 0);
        info.status = sqlite3_column_int(raw, 1) == 2 ? HashSetStatus::kNotable : HashSetStatus::kKnown;
        info.kinds = unsigned(sqlite3_column_int(raw, 2));
        info.count = uint64_t(sqlite3_column_int64(raw, 3));
        info.source = ColumnText(raw, 4);
        info.imported = ColumnText(raw, 5);
        out.push_back(std::move(info));
    }
    if (rc != SQLITE_DONE) return Fail(sqlite3_errmsg(m_db));
    return true;
}

unsigned HashSetStore::Kinds() {
    if (m_kinds) return *m_kinds;
    std::vector<HashSetInfo> sets;
    unsigned kinds = 0;
    if (List(sets))
        for (const auto& set : sets) kinds |= set.kinds;
    m_kinds = kinds;
    return kinds;
}

bool HashSetStore::Remove(const std::string& name) {
    if (!m_db) return Fail("no hash-set database is open");
    if (!Exec("BEGIN IMMEDIATE")) return false;
    sqlite3_stmt* raw = nullptr;
    int64_t id = -1;
    if (Prepare("SELECT id FROM sets WHERE name = ?", &raw)) {
        Stmt stmt(raw);
        sqlite3_bind_text(raw, 1, name.data(), int(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(raw) == SQLITE_ROW) id = sqlite3_column_int64(raw, 0);
    }
    if (id < 0) {
        Exec("ROLLBACK");
        return Fail("no hash set named " + name);
    }
    const std::string sql = "DELETE FROM hashes WHERE setId = " + std::to_string(id) +
                            "; DELETE FROM sets WHERE id = " + std::to_string(id) + "; COMMIT;";
    if (!Exec(sql.c_str())) {
        const std::string reason = m_error;
        Exec("ROLLBACK");
        return Fail(reason);
    }
    m_kinds.reset();
    return true;
}

bool HashSetStore::LookupOne(const HashValue& value, HashMatch& best) {
    if (!m_lookup &&
        sqlite3_prepare_v2(m_db,
                           "SELECT s.name, s.status FROM hashes h JOIN sets s ON s.id = h.setId"
                           " WHERE h.hash = ? ORDER BY s.status DESC LIMIT 1",
                           -1, &m_lookup, nullptr) != SQLITE_OK) {
        m_lookup = nullptr;
        return false;
    }
    sqlite3_bind_blob(m_lookup, 1, value.bytes.data(), value.length, SQLITE_STATIC);
    if (sqlite3_step(m_lookup) == SQLITE_ROW) {
        const auto status = sqlite3_column_int(m_lookup, 1) == 2 ? HashSetStatus::kNotable : HashSetStatus::kKnown;
        if (status > best.status) best = {ColumnText(m_lookup, 0), status};
    }
    sqlite3_reset(m_lookup);
    return true;
}

HashMatch HashSetStore::Lookup(const Digests& digests) {
    HashMatch best;
    if (!m_db) return best;
    const unsigned kinds = Kinds();
    for (const std::string* text : {&digests.sha256, &digests.sha1, &digests.md5}) {
        HashValue value;
        if (text->empty() || !ParseHexDigest(*text, value) || !(kinds & value.kind)) continue;
        if (!LookupOne(value, best)) break;
        if (best.status == HashSetStatus::kNotable) break;
    }
    return best;
}

namespace {

class SortedBatch final : public HashSetStore::Batch {
public:
    SortedBatch(sqlite3* db, sqlite3_stmt* insert, int64_t setId) : m_db(db), m_insert(insert), m_setId(setId) {
        m_values.reserve(kBatchValues);
    }

    bool Add(const HashValue& value) override {
        m_kinds |= value.kind;
        m_values.push_back(value);
        return m_values.size() < kBatchValues || Flush();
    }

    bool Flush() {
        std::sort(m_values.begin(), m_values.end(), [](const HashValue& a, const HashValue& b) {
            return a.View() < b.View();
        });
        for (const HashValue& value : m_values) {
            sqlite3_bind_blob(m_insert, 1, value.bytes.data(), value.length, SQLITE_STATIC);
            sqlite3_bind_int64(m_insert, 2, m_setId);
            const int rc = sqlite3_step(m_insert);
            sqlite3_reset(m_insert);
            if (rc != SQLITE_DONE) {
                m_error = sqlite3_errmsg(m_db);
                return false;
            }
            m_added += uint64_t(sqlite3_changes(m_db));
        }
        m_values.clear();
        return true;
    }

    uint64_t Added() const { return m_added; }
    unsigned Kinds() const { return m_kinds; }
    const std::string& Error() const { return m_error; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_insert;
    int64_t m_setId;
    std::vector<HashValue> m_values;
    uint64_t m_added = 0;
    unsigned m_kinds = 0;
    std::string m_error;
};

}  // namespace

bool HashSetStore::AddSet(const HashSetInfo& info, const std::function<bool(Batch&)>& rows, uint64_t& added) {
    added = 0;
    if (!m_db) return Fail("no hash-set database is open");
    if (info.name.empty()) return Fail("a hash set needs a name");
    // The page cache is what keeps inserts fast; 64 MiB bounds it.
    Exec("PRAGMA cache_size = -65536");
    if (!Exec("BEGIN IMMEDIATE")) return false;
    auto rollback = [this](std::string reason) {
        Exec("ROLLBACK");
        m_kinds.reset();
        return Fail(std::move(reason));
    };
    sqlite3_stmt* raw = nullptr;
    if (!Prepare("INSERT INTO sets(name, status, source, imported)"
                 " VALUES(?, ?, ?, strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))",
                 &raw))
        return rollback(m_error);
    {
        Stmt stmt(raw);
        sqlite3_bind_text(raw, 1, info.name.data(), int(info.name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(raw, 2, info.status == HashSetStatus::kNotable ? 2 : 1);
        sqlite3_bind_text(raw, 3, info.source.data(), int(info.source.size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_CONSTRAINT) return rollback("a hash set named " + info.name + " exists already");
        if (rc != SQLITE_DONE) return rollback(sqlite3_errmsg(m_db));
    }
    const int64_t setId = sqlite3_last_insert_rowid(m_db);
    if (!Prepare("INSERT OR IGNORE INTO hashes(hash, setId) VALUES(?, ?)", &raw)) return rollback(m_error);
    Stmt insert(raw);
    SortedBatch batch(m_db, raw, setId);
    if (!rows(batch)) return rollback(batch.Error().empty() ? (m_error.empty() ? "import stopped" : m_error)
                                                            : batch.Error());
    if (!batch.Flush()) return rollback(batch.Error());
    insert.reset();
    const std::string update = "UPDATE sets SET count = " + std::to_string(batch.Added()) +
                               ", kinds = " + std::to_string(batch.Kinds()) + " WHERE id = " + std::to_string(setId);
    if (!Exec(update.c_str())) return rollback(m_error);
    if (!Exec("COMMIT")) return rollback(m_error);
    added = batch.Added();
    m_kinds.reset();
    return true;
}

}  // namespace delvora
