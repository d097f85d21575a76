// Volumes loaded from typed boot parameters: a volume whose boot sector is
// destroyed lists exactly as its intact copy once the examiner types the
// values the intact boot sector (or its backup) held.
#include <gtest/gtest.h>

#include <map>

#include "cli_run.h"
#include "disk/volume_params.h"

namespace delvora {
namespace {

using test::CliResult;
using test::RunCli;
using test::RunShell;
using test::TempDir;

// preread's rows as label → value.
std::map<std::string, std::string> Rows(const std::string& text) {
    std::map<std::string, std::string> rows;
    size_t start = text.find('\n') + 1;  // past the titles
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        const size_t tab = line.find('\t');
        rows[line.substr(0, tab)] = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return rows;
}

class VirtualVolume : public ::testing::Test {
protected:
    std::string Img() const { return m_dir.File("v.img"); }
    void ZeroSector(uint64_t sector) {
        ASSERT_EQ(RunShell("dd if=/dev/zero of='" + Img() + "' bs=512 seek=" + std::to_string(sector) +
                           " count=1 conv=notrunc status=none"),
                  0);
    }
    TempDir m_dir;
};

TEST_F(VirtualVolume, Fat32WithZeroedBootSectorListsAsTheIntactCopy) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    ASSERT_EQ(RunShell("mkfs.fat -F 32 -s 1 -C '" + Img() + "' 40000 >/dev/null && echo hello > '" +
                       m_dir.File("a.txt") + "' && mmd -i '" + Img() + "' ::/Docs && mcopy -i '" + Img() + "' '" +
                       m_dir.File("a.txt") + "' ::/Docs/Readme.txt && mcopy -i '" + Img() + "' '" +
                       m_dir.File("a.txt") + "' ::/top.txt"),
              0);
    const CliResult intact = RunCli(m_dir, "ls '" + Img() + "'");
    ASSERT_EQ(intact.status, 0) << intact.err;
    const CliResult pre = RunCli(m_dir, "preread '" + Img() + "' --start 0 --type fat32");
    ASSERT_EQ(pre.status, 0) << pre.err;
    auto rows = Rows(pre.out);
    EXPECT_EQ(rows["每扇区字节数"], "512");
    EXPECT_EQ(rows["文件系统号"], "");  // FAT32 keeps its type text at 82, not 54

    // The FAT starts right after the reserved sectors; both copies are found.
    const CliResult marks = RunCli(m_dir, "fatmarks '" + Img() + "' --start 0");
    ASSERT_EQ(marks.status, 0) << marks.err;
    EXPECT_EQ(marks.out.rfind("FAT(F8) 0\t" + rows["保留扇区数"] + "\n", 0), 0u) << marks.out;

    ZeroSector(0);
    std::string params;
    for (const char* label : {"每扇区字节数", "每簇扇区数", "保留扇区数", "FAT备份数", "物理驱动器数"})
        params += std::string(" --param ") + label + "=" + rows[label];
    // Total sectors left out: taken from the image's size.
    const CliResult typed = RunCli(m_dir, "ls '" + Img() + "' --virtual FAT32 --start 0" + params);
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(typed.out, intact.out);
    EXPECT_NE(typed.out.find("\\Docs\\Readme.txt"), std::string::npos);

    // A case keeps the typed parameters: reopened, the volume loads again
    // although its boot sector is gone.
    const std::string wsh = m_dir.File("v.wsh");
    const CliResult saved = RunCli(m_dir, "case save '" + wsh + "' '" + Img() + "' --virtual fat32 --start 0" + params);
    ASSERT_EQ(saved.status, 0) << saved.err;
    const CliResult reopened = RunCli(m_dir, "case open '" + wsh + "'");
    ASSERT_EQ(reopened.status, 0) << reopened.err;
    EXPECT_EQ(reopened.out, saved.out);
    EXPECT_NE(reopened.out.find("files 2"), std::string::npos) << reopened.out;

    // Without the FAT size the finishing check refuses, as the page does.
    const CliResult refused = RunCli(m_dir, "ls '" + Img() + "' --virtual fat32 --start 0 --param sectorsPerCluster=1");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("每扇区字节数错!"), std::string::npos) << refused.err;
}

TEST_F(VirtualVolume, NtfsWithZeroedBootSectorLoadsFromTheBackupValues) {
    DELVORA_REQUIRE_TOOL("mkntfs");
    ASSERT_EQ(RunShell("truncate -s 16M '" + Img() + "' && mkntfs -q -F -Q -c 4096 '" + Img() + "' >/dev/null 2>&1"), 0);
    const CliResult intact = RunCli(m_dir, "ls '" + Img() + "'");
    ASSERT_EQ(intact.status, 0) << intact.err;
    // mkntfs keeps a backup boot sector in the last sector of the volume.
    const CliResult backup = RunCli(m_dir, "preread '" + Img() + "' --start 32767 --type ntfs");
    ASSERT_EQ(backup.status, 0) << backup.err;
    auto rows = Rows(backup.out);
    EXPECT_EQ(rows["每簇扇区数"], "8");

    ZeroSector(0);
    const CliResult typed = RunCli(m_dir, "ls '" + Img() + "' --virtual ntfs --start 0 --param bytesPerSector=512" +
                                              " --param 每簇扇区数=8 --param 扇区总数=" + rows["扇区总数"] +
                                              " --param mftCluster=" + rows["主文件表的逻辑簇号"]);
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(typed.out, intact.out);
}

TEST_F(VirtualVolume, Ext2PreReadTakesTheInodeTableFromTheFirstDescriptor) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    DELVORA_REQUIRE_TOOL("dumpe2fs");
    for (const char* blockSize : {"1024", "4096"}) {
        ASSERT_EQ(RunShell("rm -f '" + Img() + "' && mke2fs -q -F -t ext2 -b " + std::string(blockSize) + " '" + Img() +
                           "' 8M"),
                  0);
        std::string table;
        ASSERT_EQ(RunShell("dumpe2fs '" + Img() + "' 2>/dev/null | sed -n 's/^ *Inode table at \\([0-9]*\\).*/\\1/p' | head -1",
                           &table),
                  0);
        const CliResult pre = RunCli(m_dir, "preread '" + Img() + "' --start 0 --type ext2");
        ASSERT_EQ(pre.status, 0) << pre.err;
        auto rows = Rows(pre.out);
        EXPECT_EQ(rows["块的大小"], std::string(blockSize) == "1024" ? "0" : "2");
        EXPECT_EQ(rows["第一个索引节点表的块号"] + "\n", table) << blockSize;
    }
}

// The finishing checks, in order: the first zero among the starred rows
// names itself; FAT32 may leave the 16-bit root and FAT sizes at 0.
TEST(VolumeParams, FinishingChecksRefuseInOrder) {
    struct Case {
        VirtualType type;
        std::vector<std::string> values;
        std::string message;
    };
    const std::vector<Case> cases = {
        {VirtualType::Fat16, {"512", "4", "1", "2", "512", "32", "0"}, ""},
        {VirtualType::Fat16, {"0", "0", "0", "0", "0", "0", "0"}, "每扇区字节数错!"},
        {VirtualType::Fat16, {"512", "x", "1", "2", "512", "32"}, "每簇扇区数错!"},
        {VirtualType::Fat12, {"512", "4", "0", "2", "512", "32"}, "保留扇区数错!"},
        {VirtualType::Fat12, {"512", "4", "1", " 0", "512", "32"}, "FAT备份数错!"},
        {VirtualType::Fat16, {"512", "4", "1", "2", "0", "32"}, "根目录项数错!"},
        {VirtualType::Fat16, {"512", "4", "1", "2", "512", "0"}, "每FAT扇区数错!"},
        {VirtualType::Fat32, {"512", "8", "32", "2", "0", "0", "1009"}, ""},
        {VirtualType::Fat32, {"512", "8", "32", "2", "0", "0", "0"}, "物理驱动器数错!"},
        {VirtualType::Ntfs, {"512", "8", "32767", "0"}, "主文件表的逻辑簇号错!"},
        {VirtualType::Ntfs, {"512", "8", "", "4"}, "总扇区数错!"},
        {VirtualType::Ntfs, {"512", "8", "4294967296", "-1"}, ""},
        {VirtualType::Ext2, {"0", "0", "0", "0", "0", "0"}, ""},
        // A value its field cannot hold is refused, never cut or wrapped.
        {VirtualType::Fat16, {"512", "4294967295", "1", "2", "512", "32"}, "每簇扇区数错!"},
        {VirtualType::Fat16, {"-1", "4", "1", "2", "512", "32"}, "每扇区字节数错!"},
        {VirtualType::Fat16, {"65536", "4", "1", "2", "512", "32"}, "每扇区字节数错!"},
        {VirtualType::Fat12, {"512", "4", "1", "256", "512", "32"}, "FAT备份数错!"},
        {VirtualType::Ntfs, {"512", "8", "99999999999999999999", "4"}, "扇区总数错!"},
        {VirtualType::Ext2, {"1", "4294967296", "0", "0", "0", "0"}, "以块为单位的文件系统的大小错!"},
        {VirtualType::Ext2, {"1", "-1", "0", "0", "0", "0"}, ""},
    };
    for (const Case& c : cases) {
        VolumeParamBlocks blocks;
        EXPECT_EQ(ReadBackRows(c.type, c.values, blocks), c.message) << VirtualTypeName(c.type) << " " << c.values[0];
    }
    // 64-bit NTFS sizes read back whole, and a negative value sign-extends.
    VolumeParamBlocks blocks;
    ReadBackRows(VirtualType::Ntfs, {"512", "8", "4294967296", "-1"}, blocks);
    EXPECT_EQ(Le64(blocks.ntfs, 40), 4294967296u);
    EXPECT_EQ(Le64(blocks.ntfs, 48), UINT64_MAX);
    EXPECT_EQ(ParamRows(VirtualType::Ntfs, blocks)[2].value, "4294967296");
}

}  // namespace
}  // namespace delvora
