// map and timeline on tool-made volumes: the JSON lines of map, and the body
// file of timeline read by mactime -b against fls -m of the same image.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "cli/cli_run.h"
#include "fs/ext2/ext2_test_support.h"
#include "fs/fat/fat_test_images.h"
#include "fs/ntfs/ntfs_builder.h"

namespace delvora::test {
namespace {

TEST(MapCommand, JsonRegionsAndTheMarksOfAnItem) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    TempDir dir;
    const std::string image = MakeToolImage(dir.Path(), 16);
    ASSERT_FALSE(image.empty());
    const CliResult r = RunCli(dir, "map --json '" + image + "' --item /docs/sub/big.bin");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::regex region(R"re(\{"type":(\d+),"label":"([^"]*)","first":(\d+),"last":(\d+)\})re");
    const std::regex mark(R"re(\{"mark":true,"first":(\d+),"last":(\d+)\})re");
    std::istringstream lines(r.out);
    std::vector<std::string> labels;
    int marks = 0;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, region)) labels.push_back(m[2]);
        else if (std::regex_match(line, m, mark)) ++marks;
        else ADD_FAILURE() << line;
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"启动卷", "FAT1", "FAT2", "根文件夹", "已分配"}));
    EXPECT_EQ(marks, 1);

    EXPECT_EQ(RunCli(dir, "map '" + image + "' --item /no/such").status, 1);
    EXPECT_EQ(RunCli(dir, "map '" + image + "' --bogus").status, 2);
}

/// mactime -b's comma lines as "date,macb,size,name" (the mode and inode
/// columns are left out: see below), in UTC.
std::multiset<std::string> Mactime(const std::string& body) {
    std::string out;
    EXPECT_EQ(RunShell("TZ=UTC mactime -y -d -b '" + body + "' 2>/dev/null", &out), 0) << out;
    std::multiset<std::string> lines;
    std::istringstream in(out);
    std::string line, date;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ',');) f.push_back(field);
        if (f.size() < 8 || f[0] == "Date") continue;
        // fls's own entries ($MBR, $FAT1, $OrphanFiles…) have no item of ours.
        if (f[7].find("/$") != std::string::npos) continue;
        if (!f[0].empty()) date = f[0];
        lines.insert(date + "," + f[2] + "," + f[1] + "," + f[7]);
    }
    return lines;
}

/// Sets TZ for the test and its children; restores it at the end.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        setenv("TZ", zone, 1);
    }
    ~ZoneGuard() {
        if (m_old) setenv("TZ", m_old->c_str(), 1);
        else unsetenv("TZ");
    }

private:
    std::optional<std::string> m_old;
};

struct BodyCase {
    const char* name;
    int kind;  // FAT bits, or 2 for EXT2
};

class TimelineBody : public ::testing::TestWithParam<BodyCase> {};

// The same files, sizes and times as The Sleuth Kit's body file, read by the
// same mactime. Left out of the comparison: the mode column (ours tells only
// file or folder and read-only) and the inode column (FAT has no inode
// numbers; ours are the listing's numbers there, and fls numbers NTFS
// attributes as record-type-id).
TEST_P(TimelineBody, MactimeReadsWhatItReadsFromFls) {
    for (const char* tool : {"mactime", "fls", "mkfs.fat", "mcopy", "mke2fs", "debugfs"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    const BodyCase c = GetParam();
    TempDir dir;
    std::string image, type;
    if (c.kind == 2) {
        image = dir.File("ext2.img");
        const std::string tree = dir.File("tree");
        ASSERT_EQ(RunShell("mkdir -p " + tree + "/docs && echo hello > " + tree + "/docs/a.txt && head -c 5000 " +
                           "/dev/zero > " + tree + "/big.bin && echo gone > " + tree + "/gone.txt"),
                  0);
        // 128-byte inodes: The Sleuth Kit reads a creation time only on
        // ext4, while ours comes from any inode large enough to hold one.
        ASSERT_EQ(MakeExt2(image, 1024, tree, "4M", "-I 128"), "");
        ASSERT_EQ(Debugfs(image, "rm /gone.txt"), 0);
    } else {
        image = MakeToolImage(dir.Path(), c.kind);
        ASSERT_FALSE(image.empty());
    }
    // FAT times are local: both sides read them in the same zone, eight
    // hours from UTC, so that a conversion ignoring the zone shows.
    const ZoneGuard zone("XST-8");
    const CliResult ours = RunCli(dir, "timeline --bodyfile '" + image + "'");
    ASSERT_EQ(ours.status, 0) << ours.err;
    ASSERT_TRUE(WriteFileBytes(dir.File("ours.body"), std::vector<uint8_t>(ours.out.begin(), ours.out.end())));
    const int fls = RunShell("fls -m / -r '" + image + "' > " + dir.File("theirs.body"));
    ASSERT_EQ(fls, 0);
    const auto a = Mactime(dir.File("ours.body")), b = Mactime(dir.File("theirs.body"));
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TimelineBody,
                         ::testing::Values(BodyCase{"Fat16", 16}, BodyCase{"Fat32", 32}, BodyCase{"Ext2", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// An NTFS folder whose index lies in its record owns no cluster: its body
// line gives size 0, not a cluster's bytes; a file keeps its own size.
TEST(TimelineBodyNtfs, AFolderWithItsIndexInTheRecordHasNoClusterBytes) {
    TempDir dir;
    NtfsImage ntfs;
    ntfs.SetRecord(12, MakeRecord(0x0003, {StandardInformation(), FileNameAttribute(5, u"Docs")}));
    ntfs.SetRecord(13, MakeRecord(1, {StandardInformation(), FileNameAttribute(12, u"a.txt"),
                                      ResidentData({'a', 'b', 'c'})}));
    const std::string image = dir.File("n.img");
    ASSERT_TRUE(WriteFileBytes(image, ntfs.Build()));
    const CliResult r = RunCli(dir, "timeline --bodyfile '" + image + "' --start 0 --type 7");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> sizes;  // name -> size column
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '|');) f.push_back(field);
        if (f.size() == 11) sizes[f[1]] = f[6];
    }
    EXPECT_EQ(sizes["/Docs"], "0") << r.out;
    EXPECT_EQ(sizes["/Docs/a.txt"], "3");
}

}  // namespace
}  // namespace delvora::test
