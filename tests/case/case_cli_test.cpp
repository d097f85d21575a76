// case save / case open through the command line, across processes.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/recorders.h"

namespace delvora {
namespace {

using test::RunShell;

std::string Cli(const std::string& args) { return std::string(DELVORA_CLI_PATH) + " " + args; }

// A disk with a FAT16 and an EXT2 partition, and a bare FAT12 image.
class CaseCommand : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"sfdisk", "mkfs.fat", "mcopy", "mke2fs"})
            if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
        const std::string script =
            "set -e; export MTOOLS_SKIP_CHECK=1; cd " + m_dir.Path() + "; truncate -s 8M d.img;"
            "printf 'label: dos\\nstart=2048,size=8192,type=6\\nsize=4096,type=83\\n' | sfdisk -q d.img;"
            "mkfs.fat -F 16 -s 1 -C p1.img 4096 >/dev/null; echo hello > hello.txt;"
            "mmd -i p1.img ::/docs; mcopy -i p1.img hello.txt ::/docs/hello.txt; mcopy -i p1.img hello.txt ::/x.txt;"
            "mdel -i p1.img ::/x.txt;"
            "mkdir -p tree/sub; echo hi > tree/sub/a.txt; mke2fs -q -t ext2 -b 1024 -d tree -F p2.img 2M;"
            "dd if=p1.img of=d.img bs=512 seek=2048 conv=notrunc status=none;"
            "dd if=p2.img of=d.img bs=512 seek=10240 conv=notrunc status=none;"
            "mkfs.fat -F 12 -C floppy.img 1440 >/dev/null; mcopy -i floppy.img hello.txt ::/a.txt;"
            "printf 'PHYSICALDRIVE0=d.img\\n' > devices.map";
        std::string out;
        ASSERT_EQ(RunShell(script, &out), 0) << out;
    }
    std::string Run(const std::string& args, int& status, bool withStderr = false) {
        std::string out;
        const std::string command = Cli("--devices " + m_dir.File("devices.map") + " " + args);
        status = RunShell(withStderr ? command : "{ " + command + " 2>/dev/null; }", &out);
        return out;
    }
    test::TempDir m_dir;
};

TEST_F(CaseCommand, SavedCaseReopensInANewProcessWithLoadedTrees) {
    const std::string wsh = m_dir.File("c.wsh");
    const std::string floppy = m_dir.File("floppy.img");
    int status = 0;
    const std::string saved =
        Run("case save " + wsh + " PHYSICALDRIVE0:0 PHYSICALDRIVE0@10240:0x83 " + floppy, status);
    ASSERT_EQ(status, 0) << saved;
    EXPECT_EQ(saved,
              "0\tC:(FAT16)\ttype 0x06\tstart 2048\ttotal 8192\tPHYSICALDRIVE0\n"
              "\tFAT16\tfolders 1\tfiles 2\tdeleted 1\tfound 0\n"
              "1\tPHYSICALDRIVE0(Linux)\ttype 0x83\tstart 10240\ttotal 6144\tPHYSICALDRIVE0\n"
              "\tEXT2\tfolders 2\tfiles 1\tdeleted 0\tfound 0\n"
              "2\t" + floppy + "(FAT12)\ttype 0x01\tstart 0\ttotal 2880\t" + floppy + "\n"
              "\tFAT12\tfolders 0\tfiles 1\tdeleted 0\tfound 0\n");

    // The file holds no total sector counts; everything else comes back.
    const std::string opened = Run("case open " + wsh, status);
    ASSERT_EQ(status, 0) << opened;
    EXPECT_EQ(opened,
              "0\tC:(FAT16)\ttype 0x06\tstart 2048\ttotal 0\tPHYSICALDRIVE0\n"
              "\tFAT16\tfolders 1\tfiles 2\tdeleted 1\tfound 0\n"
              "1\tPHYSICALDRIVE0(Linux)\ttype 0x83\tstart 10240\ttotal 0\tPHYSICALDRIVE0\n"
              "\tEXT2\tfolders 2\tfiles 1\tdeleted 0\tfound 0\n"
              "2\t" + floppy + "(FAT12)\ttype 0x01\tstart 0\ttotal 0\t" + floppy + "\n"
              "\tFAT12\tfolders 0\tfiles 1\tdeleted 0\tfound 0\n");

    const std::string json = Run("--json case open " + wsh, status);
    EXPECT_NE(json.find("{\"index\":1,\"name\":\"PHYSICALDRIVE0(Linux)\",\"typeId\":131,\"startSector\":10240,"
                        "\"totalSectors\":0,\"sourceKind\":2,\"source\":\"PHYSICALDRIVE0\",\"volumes\":[{\"description\":"
                        "\"EXT2\",\"fileSystem\":5,\"folders\":2,\"files\":1,\"deleted\":0,\"found\":0}]}\n"),
              std::string::npos)
        << json;
}

TEST_F(CaseCommand, RelativeImagePathsAreStoredAbsolute) {
    std::string out;
    ASSERT_EQ(RunShell("{ cd " + m_dir.Path() + " && " + Cli("case save rel.wsh floppy.img") + " 2>/dev/null; }", &out), 0)
        << out;
    // Reopened from another folder.
    ASSERT_EQ(RunShell("{ cd / && " + Cli("case open " + m_dir.File("rel.wsh")) + " 2>/dev/null; }", &out), 0) << out;
    EXPECT_EQ(out, "0\t" + m_dir.File("floppy.img") + "(FAT12)\ttype 0x01\tstart 0\ttotal 0\t" +
                       m_dir.File("floppy.img") + "\n\tFAT12\tfolders 0\tfiles 1\tdeleted 0\tfound 0\n");
}

TEST_F(CaseCommand, TheLogShowsEachLoadBeforeItsElapsedTime) {
    const std::string wsh = m_dir.File("c.wsh");
    int status = 0;
    Run("case save " + wsh + " PHYSICALDRIVE0:0 PHYSICALDRIVE0:1", status);
    ASSERT_EQ(status, 0);
    const std::string log = m_dir.File("open.log");
    Run("--log " + log + " case open " + wsh, status);
    ASSERT_EQ(status, 0);
    std::string text;
    RunShell("cat " + log, &text);
    const size_t fat = text.find("    1.  系统于 ");
    const size_t fatDone = text.find("    2.  分析文件系统耗时: ");
    const size_t ext2 = text.find("    3.  系统于 ");
    const size_t ext2Done = text.find("    4.  分析文件系统耗时: ");
    ASSERT_NE(fat, std::string::npos) << text;
    EXPECT_NE(text.find("加载FAT16文件系统,位于 PHYSICALDRIVE0 ,2048 扇区\n"), std::string::npos) << text;
    EXPECT_NE(text.find("加载EXT2文件系统,位于 PHYSICALDRIVE0 , 10240 扇区.\n"), std::string::npos) << text;
    EXPECT_LT(fat, fatDone);
    EXPECT_LT(fatDone, ext2);
    EXPECT_LT(ext2, ext2Done);
    EXPECT_NE(ext2Done, std::string::npos);
}

TEST_F(CaseCommand, BadFilesAndItemsAreReported) {
    int status = 0;
    const std::string wsx = m_dir.File("x.wsh");
    ASSERT_TRUE(test::WriteFileBytes(wsx, {'W', 'S', 'X', 0, 0, 0, 0, 0, 0, 0, 0}));
    std::string out = Run("case open " + wsx, status, true);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("文件格式不对!"), std::string::npos) << out;

    out = Run("case open " + m_dir.File("none.wsh"), status, true);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("none.wsh"), std::string::npos) << out;

    out = Run("case save " + m_dir.File("c.wsh") + " PHYSICALDRIVE0:5", status, true);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("out of range"), std::string::npos) << out;
    out = Run("case save " + m_dir.File("c.wsh") + " PHYSICALDRIVE0@x:1", status, true);
    EXPECT_EQ(status, 2);
    // Type 0x1C is no file system the case reads.
    out = Run("case save " + m_dir.File("c.wsh") + " PHYSICALDRIVE0@2048:0x1C", status, true);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("未知格式的文件系统,结果失败!"), std::string::npos) << out;
    EXPECT_NE(out.find("分析文件系统错!"), std::string::npos) << out;
    // Nothing was saved by the failed commands.
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("c.wsh")));
    Run("case", status);
    EXPECT_EQ(status, 2);
    Run("case save " + m_dir.File("c.wsh"), status);
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace delvora
