// Partition tables through the command line: a disk past 2 TiB, logical
// sector sizes given by option or device map, one source's scan.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/cli_run.h"

namespace delvora::test {
namespace {

constexpr uint64_t kFarStart = 4294969344;  // 2^32 + 2048

// A sparse 3 TiB GPT disk whose second partition, past sector 2^32, holds a
// FAT32 volume with one file.
TEST(GptCli, VolumePastTwoTibListsReadsAndKeepsItsStartInACase) {
    for (const char* tool : {"sgdisk", "mkfs.fat", "mcopy"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    const std::string img = dir.File("big.img"), far = std::to_string(kFarStart);
    std::string log;
    ASSERT_EQ(RunShell("cd " + dir.Path() + " && truncate -s 3T big.img && sgdisk -n 1:2048:+1M -c 1:near -n 2:" +
                           far + ":+40M -t 2:0700 -c 2:far big.img >/dev/null && mkfs.fat --mbr=n -F 32 -s 1 --offset " + far +
                           " big.img 40960 && printf 'far away\\n' > far.txt && MTOOLS_SKIP_CHECK=1 mcopy -i big.img@@" +
                           std::to_string(kFarStart * 512) + " far.txt ::/FAR.TXT",
                       &log),
              0)
        << log;

    CliResult r = RunCli(dir, "--json scan " + img);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(LineCount(r.out), 2u) << r.out;
    const std::string second = r.out.substr(r.out.find('\n') + 1);
    for (const std::string& field : std::vector<std::string>{"\"drive\":\"D:\"", "\"startSector\":" + far, "\"totalSectors\":81920",
                                    "\"typeId\":11", "\"scheme\":\"gpt\"", "\"name\":\"far\"",
                                    "\"typeGuid\":\"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\"", "\"fileSystem\":\"Microsoft basic data\""})
        EXPECT_NE(second.find(field), std::string::npos) << field << " in " << second;

    r = RunCli(dir, "cat " + img + " -p 1 /FAR.TXT");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "far away\n");
    r = RunCli(dir, "sectors " + img + " --sector " + far);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 9), "EB 58 90 ");

    const std::string wsh = dir.File("far.wsh");
    r = RunCli(dir, "case save " + wsh + " " + img + ":1");
    ASSERT_EQ(r.status, 0) << r.err;
    // The record holds the 32-bit marker; the start follows the records.
    const auto bytes = ReadFileBytes(wsh);
    const std::vector<uint8_t> tag{'L', 'B', 'A', 1};
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end()), bytes.end());
    r = RunCli(dir, "--json case open " + wsh);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"startSector\":" + far), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"files\":1"), std::string::npos) << r.out;
}

// An MBR disk laid out in 4096-byte sectors (as a 4Kn drive holds it), with a
// FAT volume of 4096-byte sectors at sector 256: readable only when the
// sector size is known.
TEST(GptCli, SectorSizeComesFromTheOptionOrTheDeviceMap) {
    for (const char* tool : {"sfdisk", "mkfs.fat", "mcopy"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    std::string log;
    ASSERT_EQ(RunShell("cd " + dir.Path() + " && truncate -s 32M d.img && printf 'label: dos\\nstart=256,size=4096,"
                                            "type=6\\n' | sfdisk -q d.img && mkfs.fat --mbr=n -S 4096 -s 1 --offset 256 "
                                            "d.img 16384 && printf 'four k\\n' > k.txt && MTOOLS_SKIP_CHECK=1 mcopy -i "
                                            "d.img@@1048576 k.txt ::/K.TXT && printf 'DISK4K=d.img,4096\\nDISK512=d.img\\n' > "
                                            "map && printf 'BAD=d.img,1000\\n' > bad.map",
                       &log),
              0)
        << log;
    const std::string map = "--devices " + dir.File("map") + " ";
    const std::string img = dir.File("d.img");
    const struct {
        std::string args;
        int status;
        const char* out;  // expected in stdout, or in stderr when failed
    } cases[] = {
        {map + "cat DISK4K -p 0 /K.TXT", 0, "four k\n"},
        {map + "cat DISK512 -p 0 /K.TXT", 1, ""},
        {"--sector-size 4096 cat " + img + " -p 0 /K.TXT", 0, "four k\n"},
        {"--sector-size 4096 cat " + img + " --start 256 --type 6 /K.TXT", 0, "four k\n"},
        {map + "--sector-size 4096 cat DISK512 -p 0 /K.TXT", 0, "four k\n"},
        {map + "sectors DISK4K --sector 256", 0, "EB 3C 90 "},
        {map + "--json scan DISK4K", 0, "\"startSector\":256,\"totalSectors\":4096,\"size\":16777216"},
        {map + "--json scan DISK512", 0, "\"startSector\":256,\"totalSectors\":4096,\"size\":2097152"},
        {"--sector-size 1000 scan " + img, 2, "--sector-size takes 512, 1024, 2048 or 4096"},
        {"--devices " + dir.File("bad.map") + " scan BAD", 1, "line 1: sector size 1000"},
        {"scan " + dir.File("missing.img"), 1, "cannot open"},
        {"scan " + img + " --floppy", 2, "--floppy belongs to the machine's scan"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CliResult r = RunCli(dir, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 0) EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        else EXPECT_NE(r.err.find(c.out), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace delvora::test
