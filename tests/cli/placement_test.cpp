// The examiner's corrections through the command line: a deleted FAT file
// whose directory entry lost its start cluster comes back whole once the
// cluster is typed in, and a volume moved to a copy of itself reads the copy.
#include <gtest/gtest.h>

#include "cli_run.h"

namespace delvora {
namespace {

using test::CliResult;
using test::RunCli;
using test::RunShell;
using test::TempDir;

class Placement : public ::testing::Test {
protected:
    void SetUp() override {
        DELVORA_REQUIRE_TOOL("mkfs.fat");
        DELVORA_REQUIRE_TOOL("mcopy");
        // 3,000 bytes over three 1 KiB clusters, each line numbered.
        ASSERT_EQ(RunShell("cd '" + m_dir.Path() + "' && { echo BEGINDATA; seq -w 1 600; } | head -c 3000 > data.txt && "
                           "mkfs.fat -F 16 -s 2 -C v.img 8192 >/dev/null && mcopy -i v.img data.txt ::/TEST.TXT"),
                  0);
    }
    std::string Img() const { return m_dir.File("v.img"); }
    std::string Data() const {
        const auto bytes = test::ReadFileBytes(m_dir.File("data.txt"));
        return std::string(bytes.begin(), bytes.end());
    }
    TempDir m_dir;
};

TEST_F(Placement, TypedStartClusterRecoversADeletedFileWhoseEntryLostIt) {
    const CliResult live = RunCli(m_dir, "ls '" + Img() + "' --json");
    const size_t at = live.out.find("\"startCluster\":");
    ASSERT_NE(at, std::string::npos) << live.out;
    const std::string cluster = std::to_string(std::stoul(live.out.substr(at + 15)));
    // Delete it and clear the entry's start cluster (offset 26 of the entry).
    ASSERT_EQ(RunShell("mdel -i '" + Img() + "' ::/TEST.TXT"), 0);
    std::string offset;
    ASSERT_EQ(RunShell("LC_ALL=C grep -obUaP '\\xE5EST    TXT' '" + Img() + "' | head -1 | cut -d: -f1", &offset), 0);
    ASSERT_FALSE(offset.empty());
    ASSERT_TRUE(test::PatchFile(Img(), std::stoull(offset) + 26, {0, 0}));

    EXPECT_NE(RunCli(m_dir, "cat '" + Img() + "' /_EST.TXT").out, Data());
    const CliResult fixed = RunCli(m_dir, "cat '" + Img() + "' /_EST.TXT --set-start-cluster '/_EST.TXT=" + cluster + "'");
    ASSERT_EQ(fixed.status, 0) << fixed.err;
    EXPECT_EQ(fixed.out, Data());

    // A cluster the volume does not have is refused, not read.
    const CliResult refused = RunCli(m_dir, "cat '" + Img() + "' /_EST.TXT --set-start-cluster /_EST.TXT=900000");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("不在卷内"), std::string::npos) << refused.err;
}

TEST_F(Placement, MovedVolumeStartReadsTheCopy) {
    // The image twice over; the second copy's file says something else.
    ASSERT_EQ(RunShell("cd '" + m_dir.Path() + "' && cat v.img v.img > two.img && "
                       "off=$(grep -obUa BEGINDATA two.img | tail -1 | cut -d: -f1) && "
                       "printf 'XYZ' | dd of=two.img bs=1 seek=$off conv=notrunc status=none"),
              0);
    const std::string two = m_dir.File("two.img");
    EXPECT_EQ(RunCli(m_dir, "cat '" + two + "' /TEST.TXT").out.substr(0, 5), "BEGIN");
    const CliResult moved = RunCli(m_dir, "cat '" + two + "' /TEST.TXT --volume-start 16384");
    ASSERT_EQ(moved.status, 0) << moved.err;
    EXPECT_EQ(moved.out.substr(0, 5), "XYZIN");
    EXPECT_EQ(RunCli(m_dir, "cat '" + two + "' /TEST.TXT --volume-start 99999").status, 1);
}

}  // namespace
}  // namespace delvora
