#include <gtest/gtest.h>

#include "support/recorders.h"

namespace delvora {
namespace {

using test::RunShell;
using test::TempDir;

std::string Cli(const std::string& args) { return std::string(DELVORA_CLI_PATH) + " " + args; }

class DiskCommands : public ::testing::Test {
protected:
    void SetUp() override {
        DELVORA_REQUIRE_TOOL("sfdisk");
        ASSERT_EQ(RunShell("truncate -s 8M " + m_dir.File("d.img") +
                           " && printf 'label: dos\\nstart=2048,size=4096,type=7\\nsize=2048,type=83\\n' | sfdisk -q " +
                           m_dir.File("d.img")),
                  0);
        ASSERT_EQ(RunShell("printf 'PHYSICALDRIVE0=d.img\\n' > " + m_dir.File("devices.map")), 0);
    }
    std::string Map() const { return "--devices " + m_dir.File("devices.map") + " "; }
    TempDir m_dir;
};

TEST_F(DiskCommands, ScanPrintsTheWizardColumns) {
    std::string out;
    ASSERT_EQ(RunShell(Cli(Map() + "scan"), &out), 0) << out;
    EXPECT_EQ(out,
              "驱动器\t文件系统\t标识\t开始扇区\t总扇区数\t大小\t来源\n"
              "C:\tNTFS\t  7(0x07)\t2048\t4096\t2097152\tPHYSICALDRIVE0\n"
              "D:\tLinux\t131(0x83)\t6144\t2048\t1048576\tPHYSICALDRIVE0\n");
    ASSERT_EQ(RunShell(Cli(Map() + "--json scan"), &out), 0);
    EXPECT_NE(out.find("\"identifier\":\"  7(0x07)\",\"typeId\":7,\"startSector\":2048"), std::string::npos) << out;
}

TEST_F(DiskCommands, SectorsPrintsHexLines) {
    std::string out;
    ASSERT_EQ(RunShell(Cli(Map() + "sectors PHYSICALDRIVE0 --sector 0 --count 2"), &out), 0) << out;
    // Two sectors: 64 lines of sixteen "%02X " cells; the signature ends sector 0.
    size_t lines = 0;
    for (char c : out) lines += c == '\n';
    EXPECT_EQ(lines, 64u);
    EXPECT_NE(out.find("00 00 00 00 00 00 00 00 00 00 00 00 00 00 55 AA \n"), std::string::npos);
}

TEST_F(DiskCommands, BadUsageAndMissingDevicesAreReported) {
    std::string out;
    EXPECT_EQ(RunShell(Cli(Map() + "sectors PHYSICALDRIVE0"), &out), 2);
    EXPECT_EQ(RunShell(Cli(Map() + "sectors PHYSICALDRIVE0 --sector x"), &out), 2);
    EXPECT_EQ(RunShell(Cli(Map() + "sectors PHYSICALDRIVE7 --sector 0"), &out), 1);
    EXPECT_NE(out.find("cannot open PHYSICALDRIVE7"), std::string::npos) << out;
    EXPECT_EQ(RunShell(Cli(Map() + "nosuchcommand"), &out), 2);
    EXPECT_EQ(RunShell(Cli("--devices " + m_dir.File("none.map") + " scan"), &out), 1);
}

}  // namespace
}  // namespace delvora
