// The hash-set database: imports of every source layout into sets that
// answer lookups, the files it refuses, and what a stopped or killed import
// leaves behind (nothing of itself).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "common/hash.h"
#include "hashset/hash_set_import.h"
#include "hashset/hash_set_store.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

std::string Sha256Of(const std::string& text) {
    Hasher h(kHashSha256);
    h.Update({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    return h.Finish().sha256;
}

Digests DigestsOf(const std::string& text) {
    Hasher h(kHashSha256 | kHashMd5 | kHashSha1);
    h.Update({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    return h.Finish();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

struct StoreFixture : ::testing::Test {
    TempDir dir;
    std::string db = dir.File("sets.db");
    HashSetStore store;
    void SetUp() override { ASSERT_TRUE(store.Open(db, true)) << store.Error(); }

    HashImportReport Import(const std::string& name, HashSetStatus status, const std::string& file) {
        HashImportReport report;
        std::string error;
        EXPECT_TRUE(ImportHashSet(store, name, status, file, report, error)) << error;
        return report;
    }
    std::string Refusal(const std::string& name, const std::string& file) {
        HashImportReport report;
        std::string error;
        EXPECT_FALSE(ImportHashSet(store, name, HashSetStatus::kKnown, file, report, error));
        return error;
    }
    std::vector<std::string> Names() {
        std::vector<HashSetInfo> sets;
        EXPECT_TRUE(store.List(sets));
        std::vector<std::string> out;
        for (const auto& s : sets) out.push_back(s.name);
        return out;
    }
};

TEST_F(StoreFixture, EachLayoutImportsAndLookupsPreferNotableSets) {
    const Digests a = DigestsOf("alpha"), b = DigestsOf("beta"), c = DigestsOf("gamma"), d = DigestsOf("delta");
    // A plain list of mixed kinds, a duplicate and two bad lines.
    WriteText(dir.File("plain.txt"), a.md5 + "\n" + b.sha1 + "  beta.txt\n" + a.md5 + "\nxyz\n" + a.md5 + "ff\n");
    const auto plain = Import("plain", HashSetStatus::kKnown, dir.File("plain.txt"));
    EXPECT_EQ(plain.format, HashSourceFormat::kPlain);
    EXPECT_EQ(plain.digests, 3u);
    EXPECT_EQ(plain.added, 2u);
    EXPECT_EQ(plain.malformed, 1u);
    EXPECT_EQ(plain.badLength, 1u);

    // The NSRL RDS in its SQLite form, upper-case hex as distributed; the
    // strongest digest of a row is the one kept.
    const std::string rds = dir.File("rds.db");
    ASSERT_EQ(RunShell("sqlite3 '" + rds + "' \"CREATE TABLE FILE(sha256 TEXT, sha1 TEXT, md5 TEXT, crc32 TEXT, "
                       "file_name TEXT, file_size INTEGER, package_id INTEGER); INSERT INTO FILE VALUES('" +
                       Upper(c.sha256) + "','" + Upper(c.sha1) + "','" + Upper(c.md5) + "','0','g',5,1), (NULL,'" +
                       Upper(d.sha1) + "',NULL,'0','d',5,1), ('12',NULL,NULL,'0','bad',1,1), (NULL,NULL,NULL,'0','none',1,1);"
                       "CREATE TABLE VERSION(version TEXT);\""),
              0);
    const auto fromRds = Import("rds", HashSetStatus::kKnown, rds);
    EXPECT_EQ(fromRds.format, HashSourceFormat::kNsrlRds);
    EXPECT_EQ(fromRds.rows, 4u);
    EXPECT_EQ(fromRds.added, 2u);
    EXPECT_EQ(fromRds.badLength, 1u);
    EXPECT_EQ(fromRds.malformed, 1u);

    WriteText(dir.File("hd.txt"), "%%%% HASHDEEP-1.0\n%%%% size,md5,sha256,filename\n## x\n5," + d.md5 + "," +
                                      d.sha256 + ",/case/d\n");
    EXPECT_EQ(Import("alerts", HashSetStatus::kNotable, dir.File("hd.txt")).added, 1u);

    EXPECT_EQ(store.Lookup(a).setName, "plain");
    EXPECT_EQ(store.Lookup(b).status, HashSetStatus::kKnown);
    EXPECT_EQ(store.Lookup(c).setName, "rds");
    // d is in a known and a notable set: the alert wins.
    EXPECT_EQ(store.Lookup(d).setName, "alerts");
    EXPECT_EQ(store.Lookup(d).status, HashSetStatus::kNotable);
    EXPECT_EQ(store.Lookup(DigestsOf("other")).status, HashSetStatus::kNone);
    // Only the kinds computed are looked up.
    EXPECT_EQ(store.Lookup(Digests{"", "", c.sha1}).status, HashSetStatus::kNone);
    EXPECT_EQ(store.Kinds(), unsigned(kHashMd5 | kHashSha1 | kHashSha256));

    EXPECT_EQ(Names(), (std::vector<std::string>{"alerts", "plain", "rds"}));
    EXPECT_TRUE(store.Remove("alerts"));
    EXPECT_EQ(store.Lookup(d).setName, "rds");
    EXPECT_FALSE(store.Remove("alerts"));
    EXPECT_EQ(store.Error(), "no hash set named alerts");

    // The sets survive a reopen.
    store.Close();
    ASSERT_TRUE(store.Open(db, false)) << store.Error();
    EXPECT_EQ(Names(), (std::vector<std::string>{"plain", "rds"}));
}

TEST_F(StoreFixture, RefusesWhatItCannotReadAndChangesNothing) {
    WriteText(dir.File("list.txt"), Sha256Of("x") + "\n");
    Import("taken", HashSetStatus::kKnown, dir.File("list.txt"));
    EXPECT_EQ(Refusal("taken", dir.File("list.txt")), "a hash set named taken exists already");
    EXPECT_EQ(Refusal("x", dir.File("missing.txt")), "cannot open " + dir.File("missing.txt") + ": No such file or directory");

    const std::string other = dir.File("other.db");
    ASSERT_EQ(RunShell("sqlite3 '" + other + "' 'CREATE TABLE t(x)'"), 0);
    EXPECT_EQ(Refusal("x", other), other + " is an SQLite database but not an NSRL RDS set (it has no FILE table)");
    // A later RDS layout that moved the digests out of FILE.
    const std::string newer = dir.File("newer.db");
    ASSERT_EQ(RunShell("sqlite3 '" + newer + "' 'CREATE TABLE FILE(digest BLOB, file_name TEXT)'"), 0);
    EXPECT_EQ(Refusal("x", newer), "the RDS layout of " + newer +
                                       " is not one this version reads (its FILE table has no md5, sha1 or sha256 "
                                       "column)");
    EXPECT_EQ(Refusal("x", db), db + " is a hash-set database itself, not an NSRL RDS set");
    EXPECT_EQ(Names(), std::vector<std::string>{"taken"});

    // As the database itself: a foreign SQLite file, a newer layout, junk.
    HashSetStore second;
    EXPECT_FALSE(second.Open(other, true));
    EXPECT_EQ(second.Error(), other + " is an SQLite database but not a hash-set database");
    ASSERT_EQ(RunShell("cp '" + db + "' '" + dir.File("later.db") + "' && sqlite3 '" + dir.File("later.db") +
                       "' 'PRAGMA user_version = 9'"),
              0);
    EXPECT_FALSE(second.Open(dir.File("later.db"), false));
    EXPECT_EQ(second.Error(), dir.File("later.db") + " was written by a newer version (layout 9)");
    WriteText(dir.File("junk.db"), std::string(4096, 'j'));
    EXPECT_FALSE(second.Open(dir.File("junk.db"), true));
    EXPECT_EQ(second.Error().find(dir.File("junk.db") + " is not a hash-set database"), 0u) << second.Error();
    EXPECT_FALSE(second.Open(dir.File("none.db"), false));
    EXPECT_EQ(second.Error(), "no hash-set database at " + dir.File("none.db"));
}

// Enough lines for several sorted batches.
std::string ManyDigests(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += Sha256Of(std::to_string(i)) + "\n";
    return text;
}

TEST_F(StoreFixture, AStoppedOrKilledImportLeavesNoTrace) {
    WriteText(dir.File("big.txt"), ManyDigests(300000));
    HashImportReport report;
    std::string error;
    EXPECT_FALSE(ImportHashSet(store, "stopped", HashSetStatus::kKnown, dir.File("big.txt"), report, error,
                               [](uint64_t done, uint64_t) { return done < 8000000; }));
    EXPECT_EQ(error, "import stopped");
    EXPECT_TRUE(Names().empty());
    store.Close();

    // A child killed in the middle of its import, after the first batches
    // reached the database file.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HashSetStore own;
        if (!own.Open(db, false)) _exit(3);
        HashImportReport r;
        std::string e;
        ImportHashSet(own, "killed", HashSetStatus::kKnown, dir.File("big.txt"), r, e, [](uint64_t done, uint64_t) {
            if (done > 15000000) ::kill(::getpid(), SIGKILL);
            return true;
        });
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    ASSERT_TRUE(store.Open(db, false)) << store.Error();
    EXPECT_TRUE(Names().empty());
    std::string check;
    EXPECT_EQ(RunShell("sqlite3 '" + db + "' 'PRAGMA integrity_check; SELECT count(*) FROM hashes;'", &check), 0);
    EXPECT_EQ(check, "ok\n0\n");
    // And the database takes the same import afterwards.
    EXPECT_EQ(Import("again", HashSetStatus::kKnown, dir.File("big.txt")).added, 300000u);
}

}  // namespace
}  // namespace delvora::test
