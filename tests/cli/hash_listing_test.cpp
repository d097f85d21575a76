// Hashing volumes made by the real tools: every file's digests equal
// md5sum/sha1sum/sha256sum of icat's output (deleted files: of what export
// writes), exactly the files of a known set and of a notable set come back
// so marked, and export --skip-known leaves the known ones out while its
// manifest names the sets.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "cli/cli_run.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

struct Row {
    bool deleted = false;
    bool dir = false;
    std::string md5, sha1, sha256, hashSet, hashStatus;
};

std::string Field(const std::string& line, const std::string& name) {
    const std::regex field("\"" + name + R"re(":"((?:[^"\\]|\\.)*)")re");
    std::smatch m;
    if (!std::regex_search(line, m, field)) return "<absent>";
    const std::string text = m[1];
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

std::map<std::string, Row> ParseListing(const std::string& json) {
    std::map<std::string, Row> rows;
    size_t from = 0;
    // Each round takes one line.
    while (from < json.size()) {
        const size_t end = json.find('\n', from);
        const std::string line = json.substr(from, end - from);
        from = end == std::string::npos ? json.size() : end + 1;
        Row row;
        row.deleted = line.find("\"deleted\":true") != std::string::npos;
        row.dir = line.find("\"dir\":true") != std::string::npos;
        row.md5 = Field(line, "md5");
        row.sha1 = Field(line, "sha1");
        row.sha256 = Field(line, "sha256");
        row.hashSet = Field(line, "hashSet");
        row.hashStatus = Field(line, "hashStatus");
        rows[Field(line, "path")] = row;
    }
    return rows;
}

std::string Digest(const std::string& tool, const std::string& command) {
    std::string out;
    if (RunShell(command + " | " + tool, &out) != 0) return "<failed>";
    return out.substr(0, out.find(' '));
}

// Path ('\' separated) → inode of every live file, as fls lists them.
std::map<std::string, std::string> FlsFiles(const std::string& image) {
    std::string out;
    RunShell("fls -r -p -u '" + image + "'", &out);
    std::map<std::string, std::string> files;
    static const std::regex line(R"re(^r/r (\d+(?:-\d+-\d+)?):\t(.*)$)re");
    size_t from = 0;
    while (from < out.size()) {
        const size_t end = out.find('\n', from);
        const std::string text = out.substr(from, end - from);
        from = end == std::string::npos ? out.size() : end + 1;
        std::smatch m;
        if (!std::regex_match(text, m, line)) continue;
        std::string path = "\\" + m[2].str();
        for (char& c : path)
            if (c == '/') c = '\\';
        files[path] = m[1];
    }
    return files;
}

struct Volume {
    std::string image;
    std::set<std::string> deleted;  // paths of files the tools deleted
    std::string k3 = "\\sub\\k3.dat";
};

// Puts the same files on each volume: three for the known set, one for the
// notable set, two that are in neither.
void WriteFiles(const TempDir& dir) {
    ASSERT_EQ(RunShell("mkdir -p '" + dir.File("in/sub") + "' && cd '" + dir.File("in") + "' && "
                       "printf 'known one' > k1.txt && head -c 70000 /dev/urandom > k2.bin && "
                       "printf 'known three\\n' > sub/k3.dat && head -c 5000 /dev/urandom > n1.bin && "
                       "head -c 9000 /dev/urandom > plain.bin && printf 'gone soon' > gone.txt && : > empty.txt"),
              0);
    // The known set as md5sum and sha1sum write it; the notable one as an
    // RDS-shaped SQLite database with upper-case SHA-256.
    ASSERT_EQ(RunShell("cd '" + dir.File("in") + "' && { md5sum k1.txt k2.bin; sha1sum sub/k3.dat; } > ../known.txt && "
                       "sqlite3 ../notable.db \"CREATE TABLE FILE(sha256 TEXT, sha1 TEXT, md5 TEXT, file_name TEXT);"
                       " INSERT INTO FILE VALUES(upper('$(sha256sum n1.bin | cut -c1-64)'), NULL, NULL, 'n1.bin');\""),
              0);
    const std::string db = dir.File("sets.db");
    EXPECT_EQ(RunCli(dir, "hashset import os '" + dir.File("known.txt") + "' --known --hash-db '" + db + "'").status, 0);
    EXPECT_EQ(RunCli(dir, "hashset import case7 '" + dir.File("notable.db") + "' --notable --hash-db '" + db + "'").status,
              0);
}

void CheckVolume(const TempDir& dir, const Volume& volume) {
    const std::string db = dir.File("sets.db");
    const CliResult r =
        RunCli(dir, "--json ls '" + volume.image + "' --hash md5,sha1,sha256 --hash-sets --hash-db '" + db + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = ParseListing(r.out);

    // Against icat for every live file fls knows.
    size_t compared = 0;
    for (const auto& [path, inode] : FlsFiles(volume.image)) {
        const auto it = rows.find(path);
        if (it == rows.end() || it->second.deleted) continue;
        const std::string icat = "icat '" + volume.image + "' " + inode;
        EXPECT_EQ(it->second.md5, Digest("md5sum", icat)) << path;
        EXPECT_EQ(it->second.sha1, Digest("sha1sum", icat)) << path;
        EXPECT_EQ(it->second.sha256, Digest("sha256sum", icat)) << path;
        ++compared;
    }
    EXPECT_GE(compared, 6u);

    std::map<std::string, std::string> marked;
    for (const auto& [path, row] : rows) {
        if (row.dir) {
            EXPECT_EQ(row.md5, "") << path;
            continue;
        }
        if (!row.hashStatus.empty()) marked[path] = row.hashStatus + ":" + row.hashSet;
    }
    const std::map<std::string, std::string> want = {{"\\k1.txt", "known:os"},
                                                     {"\\k2.bin", "known:os"},
                                                     {volume.k3, "known:os"},
                                                     {"\\n1.bin", "notable:case7"}};
    EXPECT_EQ(marked, want);

    // The export leaves the known files out; what it writes has the digests
    // ls gave, deleted files included.
    const std::string out = dir.File("out-" + std::to_string(std::hash<std::string>()(volume.image)));
    const CliResult e = RunCli(dir, "export '" + volume.image + "' / -r --to '" + out + "' --skip-known --hash-sets "
                                    "--hash-db '" + db + "' --manifest '" + out + ".csv' --hash md5");
    EXPECT_EQ(e.status, 0) << e.err;
    std::string k3 = volume.k3.substr(1);
    for (char& c : k3)
        if (c == '\\') c = '/';
    for (const std::string& known : {std::string("k1.txt"), std::string("k2.bin"), k3})
        EXPECT_NE(RunShell("test -e '" + out + "/" + known + "'"), 0) << known;
    for (const auto& [path, row] : rows) {
        if (row.dir || path.find('$') != std::string::npos || !row.hashStatus.empty() || row.md5.empty()) continue;
        std::string rel = path.substr(1);
        for (char& c : rel)
            if (c == '\\') c = '/';
        EXPECT_EQ(Digest("md5sum", "cat '" + out + "/" + rel + "'"), row.md5) << path;
    }
    for (const auto& path : volume.deleted) {
        const auto it = rows.find(path);
        ASSERT_NE(it, rows.end()) << path;
        EXPECT_TRUE(it->second.deleted) << path;
        EXPECT_EQ(it->second.md5.size(), 32u) << path;
    }
    std::string manifest;
    RunShell("cat '" + out + ".csv'", &manifest);
    EXPECT_EQ(manifest.substr(0, manifest.find('\n')), "volumePath,targetPath,size,sha256,md5,unreadableBytes,unreadableRanges,overwrittenClusters,note,hashSet,hashStatus\r");
    EXPECT_NE(manifest.find("\\n1.bin," + out + "/n1.bin,5000,"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(",case7,notable\r\n"), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("known"), std::string::npos) << manifest;
}

bool HaveTools(std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (!HaveTool(tool)) return false;
    return HaveTool("sqlite3") && HaveTool("fls") && HaveTool("icat");
}

TEST(HashListing, FatVolume) {
    if (!HaveTools({"mkfs.fat", "mcopy", "mmd", "mdel"})) GTEST_SKIP() << "mtools, sqlite3 or sleuthkit missing";
    TempDir dir;
    WriteFiles(dir);
    const std::string img = dir.File("fat.img"), in = dir.File("in");
    ASSERT_EQ(RunShell("export MTOOLS_SKIP_CHECK=1; truncate -s 16M '" + img + "' && mkfs.fat -F 16 '" + img +
                       "' >/dev/null && mcopy -s -i '" + img + "' '" + in + "'/* ::/ && mdel -i '" + img +
                       "' ::/gone.txt"),
              0);
    CheckVolume(dir, {img, {"\\_one.txt"}});
}

TEST(HashListing, NtfsVolume) {
    if (!HaveTools({"mkntfs", "ntfscp"})) GTEST_SKIP() << "ntfs-3g tools, sqlite3 or sleuthkit missing";
    TempDir dir;
    WriteFiles(dir);
    const std::string img = dir.File("ntfs.img"), in = dir.File("in");
    // ntfscp makes no folders and deletes nothing: every file goes to the root.
    std::string out;
    ASSERT_EQ(RunShell("truncate -s 16M '" + img + "' && mkntfs -Q -F '" + img + "' >/dev/null 2>&1 && cd '" + in +
                       "' && for f in k1.txt k2.bin sub/k3.dat n1.bin plain.bin empty.txt; do ntfscp -q '" + img +
                       "' $f $(basename $f) || exit 1; done",
                       &out),
              0)
        << out;
    CheckVolume(dir, {img, {}, "\\k3.dat"});
}

TEST(HashListing, Ext2Volume) {
    if (!HaveTools({"mke2fs", "debugfs"})) GTEST_SKIP() << "e2fsprogs, sqlite3 or sleuthkit missing";
    TempDir dir;
    WriteFiles(dir);
    const std::string img = dir.File("ext2.img");
    std::string out;
    ASSERT_EQ(RunShell("mke2fs -q -t ext2 -b 1024 -d '" + dir.File("in") + "' -F '" + img + "' 8M && "
                       "debugfs -w -R 'rm gone.txt' '" + img + "'",
                       &out),
              0)
        << out;
    CheckVolume(dir, {img, {"\\gone.txt"}});
}

}  // namespace
}  // namespace delvora::test
