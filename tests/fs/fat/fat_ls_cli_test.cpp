// delvora-cli ls on a tool-made FAT16 image.
#include <gtest/gtest.h>

#include <sstream>

#include "fs/fat/fat_test_images.h"
#include "support/recorders.h"

namespace delvora {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

class LsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        DELVORA_REQUIRE_TOOL("mkfs.fat");
        DELVORA_REQUIRE_TOOL("mcopy");
        image = test::MakeToolImage(dir.Path(), 16);
        ASSERT_FALSE(image.empty());
    }
    int Ls(const std::string& options, std::string& out, std::string& err) {
        const std::string errFile = dir.File("stderr");
        // RunShell folds stderr into the output; the group keeps it apart.
        const int rc = test::RunShell("{ " + std::string(DELVORA_CLI_PATH) + " ls '" + image + "' " + options +
                                          " 2>'" + errFile + "'; }",
                                      &out);
        const auto bytes = test::ReadFileBytes(errFile);
        err.assign(bytes.begin(), bytes.end());
        return rc;
    }
    test::TempDir dir;
    std::string image;
};

TEST_F(LsCommand, RowsHeadingAndFilters) {
    std::string out, err;
    ASSERT_EQ(Ls("", out, err), 0) << err;
    const auto lines = Lines(out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "文件名\t创建时间\t修改时间\t访问时间\t逻辑长度\t物理长度\t开始簇号\t开始扇区\t说明\t全路径");
    // 5 files, 3 folders, plus the deleted folder with its two children and the deleted file.
    EXPECT_EQ(lines.size(), 1u + 8 + 4);
    bool sawBig = false;
    for (const auto& line : lines) {
        if (line.find("\\docs\\sub\\big.bin") == std::string::npos) continue;
        sawBig = true;
        EXPECT_NE(line.find("\t200000\t"), std::string::npos) << line;
        EXPECT_NE(line.find("\t存档\t"), std::string::npos) << line;
    }
    EXPECT_TRUE(sawBig);
    EXPECT_NE(err.find("分析文件系统耗时: "), std::string::npos) << err;

    ASSERT_EQ(Ls("--deleted", out, err), 0);
    auto deleted = Lines(out);
    EXPECT_EQ(deleted.size(), 1u + 4);
    for (size_t i = 1; i < deleted.size(); ++i) EXPECT_NE(deleted[i].find("\\_"), std::string::npos) << deleted[i];
    ASSERT_EQ(Ls("-r", out, err), 0);
    EXPECT_EQ(Lines(out), deleted);
    ASSERT_EQ(Ls("--live", out, err), 0);
    EXPECT_EQ(Lines(out).size(), 1u + 8);
}

TEST_F(LsCommand, JsonObjects) {
    std::string out, err;
    ASSERT_EQ(Ls("--json", out, err), 0) << err;
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 12u);
    bool sawEmpty = false;
    for (const auto& line : lines) {
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        if (line.find("\"path\":\"\\\\docs\\\\empty.dat\"") == std::string::npos) continue;
        sawEmpty = true;
        EXPECT_NE(line.find("\"size\":0,\"allocated\":0"), std::string::npos) << line;
        EXPECT_NE(line.find("\"deleted\":false,\"dir\":false"), std::string::npos) << line;
    }
    EXPECT_TRUE(sawEmpty);
}

TEST_F(LsCommand, BadUsageAndUnreadableSources) {
    std::string out, err;
    EXPECT_EQ(test::RunShell(std::string(DELVORA_CLI_PATH) + " ls >/dev/null 2>&1"), 2);
    ASSERT_TRUE(test::PatchFile(image, 13, {0}));
    EXPECT_EQ(Ls("", out, err), 1);
}

// A partitioned disk: each FAT partition chosen with -p lists what fls lists.
TEST(LsPartitions, EachFatPartitionMatchesFls) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    DELVORA_REQUIRE_TOOL("sfdisk");
    DELVORA_REQUIRE_TOOL("fls");
    test::TempDir dir;
    const std::string fat32 = test::MakeToolImage(dir.Path(), 32);
    const std::string fat16 = test::MakeToolImage(dir.Path(), 16);
    ASSERT_FALSE(fat32.empty());
    ASSERT_FALSE(fat16.empty());
    const std::string disk = dir.File("disk.img");
    const uint64_t start32 = 2048, start16 = 2048 + 80000;
    ASSERT_EQ(test::RunShell("truncate -s 64M '" + disk + "' && printf 'label: dos\nstart=2048, size=80000, type=c\n"
                             "start=82048, size=40960, type=6\n' | sfdisk -q '" + disk + "' && dd if='" + fat32 +
                             "' of='" + disk + "' bs=512 seek=2048 conv=notrunc status=none && dd if='" + fat16 +
                             "' of='" + disk + "' bs=512 seek=82048 conv=notrunc status=none"),
              0);
    for (const auto& [index, offset] : {std::pair{0, start32}, std::pair{1, start16}}) {
        std::string out;
        ASSERT_EQ(test::RunShell("{ " + std::string(DELVORA_CLI_PATH) + " ls '" + disk + "' -p " +
                                     std::to_string(index) + " --json 2>/dev/null; }",
                                 &out),
                  0);
        std::map<std::string, bool> ours;
        for (const auto& line : Lines(out)) {
            // "path":"\\docs\\x" → docs/x
            const size_t at = line.find("\"path\":\"") + 8;
            std::string path = line.substr(at, line.find("\",\"deleted\"") - at);
            std::string plain;
            for (size_t i = 0; i < path.size(); ++i) {
                if (path.compare(i, 2, "\\\\") == 0) {
                    if (!plain.empty() || i > 0) plain += '/';
                    ++i;
                } else {
                    plain += path[i];
                }
            }
            ours[plain.substr(plain[0] == '/' ? 1 : 0)] = line.find("\"deleted\":true") != std::string::npos;
        }
        EXPECT_EQ(ours, test::FlsTree(disk, offset)) << "-p " << index;
    }
}

}  // namespace
}  // namespace delvora
