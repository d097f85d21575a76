#include "hashset/hash_set_import.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "hashset/hash_line.h"
#include "hashset/line_reader.h"

namespace delvora {
namespace {

constexpr char kSqliteMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
// Progress is told every this many rows.
constexpr uint64_t kProgressRows = 1 << 16;

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

struct DbClose {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtFree {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

bool ImportText(HashSetStore& store, const HashSetInfo& info, int fd, HashImportReport& report, std::string& error,
                const ImportProgress& progress) {
    struct stat st {};
    const uint64_t total = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
    bool stopped = false;
    const bool ok = store.AddSet(info, [&](HashSetStore::Batch& batch) {
        LineReader reader(fd);
        HashLineParser parser;
        std::string_view line;
        bool tooLong = false;
        HashValue value;
        // The reader ends at the file's end.
        while (reader.Next(line, tooLong)) {
            ++report.rows;
            if (tooLong) {
                ++report.tooLong;
                continue;
            }
            switch (parser.Feed(line, value)) {
                case LineResult::kHash:
                    ++report.digests;
                    if (!batch.Add(value)) return false;
                    break;
                case LineResult::kMalformed: ++report.malformed; break;
                case LineResult::kBadLength: ++report.badLength; break;
                case LineResult::kIgnored: break;
            }
            if (progress && report.rows % kProgressRows == 0 && !progress(reader.BytesRead(), total)) {
                stopped = true;
                return false;
            }
        }
        report.format = parser.Format() == HashListFormat::kHashdeep  ? HashSourceFormat::kHashdeep
                        : parser.Format() == HashListFormat::kNsrlCsv ? HashSourceFormat::kNsrlCsv
                                                                      : HashSourceFormat::kPlain;
        if (reader.Failed()) {
            error = std::string("read error: ") + std::strerror(errno);
            return false;
        }
        return true;
    }, report.added);
    if (!ok && error.empty()) error = stopped ? "import stopped" : store.Error();
    return ok;
}

// Digest columns of an RDS FILE table, strongest first.
struct RdsColumn {
    const char* name;
    unsigned kind;
};
constexpr RdsColumn kRdsColumns[] = {{"sha256", kHashSha256}, {"sha1", kHashSha1}, {"md5", kHashMd5}};

// One RDS cell: hex text as the distribution has it, or the raw bytes.
bool CellDigest(sqlite3_stmt* stmt, int column, unsigned kind, HashValue& out, bool& badLength) {
    const int type = sqlite3_column_type(stmt, column);
    if (type == SQLITE_NULL) return false;
    const int size = sqlite3_column_bytes(stmt, column);
    if (type == SQLITE_BLOB) {
        const int want = kind == kHashSha256 ? 32 : kind == kHashSha1 ? 20 : 16;
        if (size != want) {
            badLength = true;
            return false;
        }
        std::memcpy(out.bytes.data(), sqlite3_column_blob(stmt, column), size_t(size));
        out.kind = kind;
        out.length = uint8_t(size);
        return true;
    }
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    if (!text || size == 0) return false;
    if (!ParseHexDigest({text, size_t(size)}, out) || out.kind != kind) {
        badLength = true;
        return false;
    }
    return true;
}

bool ImportRds(HashSetStore& store, const HashSetInfo& info, const std::string& file, HashImportReport& report,
               std::string& error, const ImportProgress& progress) {
    report.format = HashSourceFormat::kNsrlRds;
    sqlite3* rawDb = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &rawDb, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, DbClose> db(rawDb);
    if (rc != SQLITE_OK) {
        error = "cannot open " + file + ": " + (rawDb ? sqlite3_errmsg(rawDb) : "out of memory");
        return false;
    }
    sqlite3_busy_timeout(rawDb, 5000);
    auto query = [&](const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(rawDb, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) stmt = nullptr;
        return std::unique_ptr<sqlite3_stmt, StmtFree>(stmt);
    };
    {
        auto stmt = query("SELECT (SELECT application_id FROM pragma_application_id),"
                          " (SELECT count(*) FROM sqlite_master WHERE type IN ('table', 'view') AND"
                          " lower(name) = 'file')");
        if (!stmt || sqlite3_step(stmt.get()) != SQLITE_ROW) {
            error = file + " is not a readable SQLite database: " + sqlite3_errmsg(rawDb);
            return false;
        }
        if (sqlite3_column_int(stmt.get(), 0) == 0x44564853) {
            error = file + " is a hash-set database itself, not an NSRL RDS set";
            return false;
        }
        if (sqlite3_column_int(stmt.get(), 1) == 0) {
            error = file + " is an SQLite database but not an NSRL RDS set (it has no FILE table)";
            return false;
        }
    }
    std::vector<RdsColumn> columns;
    {
        auto stmt = query("SELECT lower(name) FROM pragma_table_info('FILE')");
        std::vector<std::string> names;
        while (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW) {
            const unsigned char* name = sqlite3_column_text(stmt.get(), 0);
            if (name) names.emplace_back(reinterpret_cast<const char*>(name));
        }
        for (const auto& column : kRdsColumns)
            for (const auto& name : names)
                if (name == column.name) columns.push_back(column);
    }
    if (columns.empty()) {
        error = "the RDS layout of " + file + " is not one this version reads (its FILE table has no md5, sha1 or "
                "sha256 column)";
        return false;
    }
    std::string sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i) sql += std::string(i ? ", " : "") + "\"" + columns[i].name + "\"";
    sql += " FROM \"FILE\"";
    auto rows = query(sql);
    if (!rows) {
        error = "cannot read the FILE table of " + file + ": " + sqlite3_errmsg(rawDb);
        return false;
    }
    bool stopped = false;
    const bool ok = store.AddSet(info, [&](HashSetStore::Batch& batch) {
        int step;
        // One step per table row; the table is finite.
        while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
            ++report.rows;
            HashValue value;
            bool badLength = false, found = false;
            for (size_t i = 0; i < columns.size() && !found; ++i)
                found = CellDigest(rows.get(), int(i), columns[i].kind, value, badLength);
            if (found) {
                ++report.digests;
                if (!batch.Add(value)) return false;
            } else if (badLength) {
                ++report.badLength;
            } else {
                ++report.malformed;
            }
            if (progress && report.rows % kProgressRows == 0 && !progress(report.rows, 0)) {
                stopped = true;
                return false;
            }
        }
        if (step != SQLITE_DONE) {
            error = "reading the FILE table of " + file + " failed: " + sqlite3_errmsg(rawDb);
            return false;
        }
        return true;
    }, report.added);
    if (!ok && error.empty()) error = stopped ? "import stopped" : store.Error();
    return ok;
}

}  // namespace

const char* HashSourceFormatName(HashSourceFormat format) {
    switch (format) {
        case HashSourceFormat::kHashdeep: return "hashdeep";
        case HashSourceFormat::kNsrlCsv: return "nsrl-csv";
        case HashSourceFormat::kNsrlRds: return "nsrl-rds";
        default: return "list";
    }
}

bool ImportHashSet(HashSetStore& store, const std::string& name, HashSetStatus status, const std::string& file,
                   HashImportReport& report, std::string& error, const ImportProgress& progress) {
    report = {};
    error.clear();
    Fd in{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) {
        error = "cannot open " + file + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(in.fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        error = file + " is a folder";
        return false;
    }
    HashSetInfo info;
    info.name = name;
    info.status = status;
    std::error_code ignored;
    const auto absolute = std::filesystem::absolute(file, ignored);
    info.source = absolute.empty() ? file : absolute.string();
    char head[sizeof kSqliteMagic] = {};
    const ssize_t got = ::pread(in.fd, head, sizeof head, 0);
    if (got == ssize_t(sizeof head) && std::memcmp(head, kSqliteMagic, sizeof head) == 0)
        return ImportRds(store, info, file, report, error, progress);
    return ImportText(store, info, in.fd, report, error, progress);
}

}  // namespace delvora
