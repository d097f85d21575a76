// An exFAT volume in an MBR partition of type 0x07 through the command
// line: detection by the boot sector, the listing with UTC times, a keyword
// hit named by its file, export of a deleted folder, the map's exFAT
// regions and a case that keeps the exFAT type byte.
#include <gtest/gtest.h>

#include "cli/cli_run.h"
#include "fs/exfat/exfat_test_support.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::RunCli;

TEST(ExfatCli, PartitionOfTypeSevenListsSearchesExportsAndMapsAsExfat) {
    DELVORA_REQUIRE_TOOL("sfdisk");
    test::TempDir dir;
    if (const std::string why = test::MakeExfatToolImage(dir.Path(), "64M"); !why.empty()) GTEST_SKIP() << why;
    const std::string disk = dir.File("disk.img");
    ASSERT_EQ(test::RunShell("truncate -s 80M '" + disk + "' && printf 'label: dos\\nstart=2048, type=7\\n' | sfdisk -q '" +
                             disk + "' && dd if='" + dir.File("exfat.img") + "' of='" + disk +
                             "' bs=512 seek=2048 conv=notrunc status=none"),
              0);
    const std::string log = " --log '" + dir.File("log.txt") + "' ";

    auto scan = RunCli(dir, log + "ls '" + disk + "' -p 0 --json");
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.out.find("\"path\":\"\\\\docs\\\\readme.txt\""), std::string::npos);
    // Written at 05:06:07 in UTC+8 through the driver.
    EXPECT_NE(scan.out.find("\"modifiedUtc\":\"2021-03-03T21:06:07Z\""), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find("\"name\":\"gone.txt\",\"path\":\"\\\\gone.txt\",\"deleted\":true"), std::string::npos);

    auto search = RunCli(dir, log + "search '" + disk + "' -p 0 --keyword 'x.txt:00000100' --json");
    ASSERT_EQ(search.status, 0) << search.err;
    EXPECT_NE(search.out.find("\"file\":\"\\\\lost\\\\kept\\\\x.txt\""), std::string::npos) << search.out;

    auto exported = RunCli(dir, log + "export '" + disk + "' -p 0 '\\old' -r --to '" + dir.File("out") + "'");
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(test::ReadFileBytes(dir.File("out/old/inner/a.txt")), test::ReadFileBytes(dir.File("expected/a.txt")));

    auto map = RunCli(dir, log + "map '" + disk + "' -p 0 --item '\\frag.bin'");
    ASSERT_EQ(map.status, 0) << map.err;
    EXPECT_NE(map.out.find("块位图"), std::string::npos);
    EXPECT_NE(map.out.find("大小写表"), std::string::npos);
    ASSERT_NE(map.out.find("mark"), std::string::npos) << map.out;
    // frag.bin lies in two runs around a3.bin.
    EXPECT_EQ(test::LineCount(map.out.substr(map.out.find("mark"))), 2u);

    // The same volume without a partition table is recognised by its boot sector.
    auto bare = RunCli(dir, log + "ls '" + dir.File("exfat.img") + "'");
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_NE(bare.out.find("\\lost\\kept\\x.txt"), std::string::npos);

    auto saved = RunCli(dir, log + "case save '" + dir.File("c.wsh") + "' '" + disk + ":0'");
    ASSERT_EQ(saved.status, 0) << saved.err;
    auto opened = RunCli(dir, log + "case open '" + dir.File("c.wsh") + "'");
    ASSERT_EQ(opened.status, 0) << opened.err;
    EXPECT_NE(opened.out.find("type 0xE7"), std::string::npos) << opened.out;
    EXPECT_NE(opened.out.find("exFAT Delvora"), std::string::npos) << opened.out;
}

}  // namespace
}  // namespace delvora
