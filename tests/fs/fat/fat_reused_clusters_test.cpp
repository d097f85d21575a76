// A deleted FAT file written around a live one (mtools fills the hole a
// deleted file left, then goes on past the live file): read consecutively it
// takes the live file's cluster, which the listing, the manifest and the
// file list say; with --skip-allocated it is read through the free clusters,
// as icat reads it.
#include <gtest/gtest.h>

#include "cli/cli_run.h"

namespace delvora::test {
namespace {

TEST(FatReusedClusters, DeletedFileOverALiveFilesClusterIsMarkedAndReadAroundIt) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    DELVORA_REQUIRE_TOOL("icat");
    TempDir dir;
    const std::string script =
        "set -e; export MTOOLS_SKIP_CHECK=1; cd '" + dir.Path() +
        "'; head -c 2048 /dev/urandom > a; head -c 2048 /dev/urandom > l; head -c 6000 /dev/urandom > d"
        "; mkfs.fat -C -F 16 -s 4 img 20480 >/dev/null; mcopy -i img a ::/A.BIN; mcopy -i img l ::/L.BIN"
        "; mdel -i img ::/A.BIN; mcopy -i img d ::/D.BIN; mdel -i img ::/D.BIN";
    std::string out;
    ASSERT_EQ(RunShell(script + " 2>&1", &out), 0) << out;
    const std::string img = dir.File("img");
    const auto written = ReadFileBytes(dir.File("d"));

    const CliResult ls = RunCli(dir, "--json ls " + img + " --deleted");
    ASSERT_EQ(ls.status, 0) << ls.err;
    EXPECT_NE(ls.out.find("\"overwrittenClusters\":1"), std::string::npos) << ls.out;
    const CliResult rows = RunCli(dir, "ls " + img + " --deleted");
    EXPECT_NE(rows.out.find("1个簇已被占用"), std::string::npos) << rows.out;

    // The described rule: consecutive clusters, the live file's among them.
    const CliResult plain = RunCli(dir, "cat " + img + " /_.BIN");
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(std::vector<uint8_t>(plain.out.begin(), plain.out.end()), written);
    // Through the free clusters: the file as it was, and as icat reads it.
    const CliResult skipping = RunCli(dir, "cat " + img + " /_.BIN --skip-allocated");
    ASSERT_EQ(skipping.status, 0) << skipping.err;
    EXPECT_EQ(std::vector<uint8_t>(skipping.out.begin(), skipping.out.end()), written);
    std::string icat;
    ASSERT_EQ(RunShell("icat '" + img + "' 3", &icat), 0);
    EXPECT_EQ(icat, skipping.out);

    const CliResult exported = RunCli(dir, "export " + img + " /_.BIN --to " + dir.File("out") + " --manifest " +
                                               dir.File("m.csv"));
    ASSERT_EQ(exported.status, 0) << exported.err;
    const auto manifest = ReadFileBytes(dir.File("m.csv"));
    EXPECT_NE(std::string(manifest.begin(), manifest.end()).find(",0,,1,data read from clusters another item owns now"),
              std::string::npos);
}

}  // namespace
}  // namespace delvora::test
