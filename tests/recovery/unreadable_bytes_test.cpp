// Bytes the medium would not give are written as zeros and accounted for:
// exactly which file offsets, in the manifest, the log and on stderr, so that
// a digest never vouches for them unnoticed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "cli/cli_run.h"
#include "disk/filled_ranges.h"
#include "fs/file_tree.h"
#include "fs/fat/fat_test_images.h"
#include "recovery/export_item.h"
#include "recovery/folder_export.h"
#include "recovery/manifest.h"
#include "support/memory_backend.h"

namespace delvora::test {
namespace {

constexpr const char* kBig = "docs/sub/big.bin";

// The source sector that holds a byte of a file the tools wrote in one piece.
uint64_t SectorOfOffset(Volume& volume, FileItem& item, uint64_t offset) {
    ClusterRunList runs, sectors;
    if (!volume.GetItemRuns(&item, runs) || !volume.ConvertRunsToSectors(&item, runs, sectors) || sectors.Empty())
        return 0;
    return volume.StartSector() + sectors[0].first + offset / 512;
}

class UnreadableBytes : public ::testing::Test {
protected:
    void SetUp() override {
        DELVORA_REQUIRE_TOOL("mkfs.fat");
        DELVORA_REQUIRE_TOOL("mcopy");
        image = MakeToolImage(dir.Path(), 16);
        ASSERT_FALSE(image.empty());
        bytes = ReadFileBytes(image);
        // Where big.bin's bytes 66,600 and 199,000 lie, found on a healthy copy.
        LoadedFat healthy = LoadFatFrom(std::make_unique<MemoryBackend>(bytes), rc.context);
        ASSERT_TRUE(healthy.prepared);
        FileItem* big = FindItem(*healthy.volume->RootItem(), kBig);
        ASSERT_TRUE(big);
        badSector = SectorOfOffset(*healthy.volume, *big, 66600);
        ASSERT_GT(badSector, 0u);
        nearEnd = SectorOfOffset(*healthy.volume, *big, 199000);
    }
    TempDir dir;
    RecordingContext rc;
    std::string image;
    std::vector<uint8_t> bytes;
    uint64_t badSector = 0;
    uint64_t nearEnd = 0;
};

TEST_F(UnreadableBytes, ExportSaysExactlyWhichBytesWereFilledAndTheDigestCoversThem) {
    LoadedFat bad = LoadFatFrom(std::make_unique<MemoryBackend>(bytes, std::set<uint64_t>{badSector}), rc.context);
    ASSERT_TRUE(bad.prepared);
    FileItem* big = FindItem(*bad.volume->RootItem(), kBig);
    ASSERT_TRUE(big);

    // One file: the range in item offsets, zeros there, the rest intact.
    ByteRangeSet unreadable;
    const std::string out = dir.File("big.out");
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(CopyItemData(*bad.volume, *big, fd, nullptr, CopyReport::kQuiet, nullptr, &unreadable), CopyStatus::kDone);
    ::close(fd);
    EXPECT_EQ(unreadable.Text(), "66560-67071");
    std::vector<uint8_t> expected = StandardFiles()[kBig];
    std::fill(expected.begin() + 66560, expected.begin() + 67072, 0);
    EXPECT_EQ(ReadFileBytes(out), expected);

    // A folder: the manifest row, its note, the log line and the count.
    ManifestWriter manifest;
    ASSERT_TRUE(manifest.Open(dir.File("m.csv")));
    FolderExporter exporter(*bad.volume, FolderExportOptions{});
    exporter.SetFileObserver([&](const ExportedFile& file) { manifest.Add(file); });
    ASSERT_TRUE(exporter.ExportFolder(*bad.volume->RootItem(), dir.File("all"), true));
    ASSERT_TRUE(manifest.Close());
    EXPECT_EQ(exporter.Summary().unreadable, 1u);
    const auto text = ReadFileBytes(dir.File("m.csv"));
    const std::string csv(text.begin(), text.end());
    EXPECT_NE(csv.find("\\docs\\sub\\big.bin," + dir.File("all") + "/docs/sub/big.bin,200000,"), std::string::npos);
    EXPECT_NE(csv.find(",512,66560-67071,0,hashes include unreadable bytes written as zeros\r\n"), std::string::npos)
        << csv;
    EXPECT_TRUE(rc.log.Contains("\\docs\\sub\\big.bin: 512 字节无法读取, 已填零 (66560-67071)"));
    EXPECT_EQ(ReadFileBytes(dir.File("all/docs/sub/big.bin")), expected);

    // Without a manifest the log line and the count are still there.
    FolderExporter quiet(*bad.volume, FolderExportOptions{});
    const size_t linesBefore = rc.log.Lines().size();
    ASSERT_TRUE(quiet.ExportFolder(*bad.volume->RootItem(), dir.File("plain"), true));
    EXPECT_EQ(quiet.Summary().unreadable, 1u);
    const std::vector<std::string> lines = rc.log.Lines();
    EXPECT_EQ(std::count_if(lines.begin() + static_cast<ptrdiff_t>(linesBefore), lines.end(),
                            [](const std::string& line) { return line.find("字节无法读取") != std::string::npos; }),
              1);
    EXPECT_EQ(ReadFileBytes(dir.File("plain/docs/sub/big.bin")), expected);
}

TEST_F(UnreadableBytes, CommandLineNamesTheFilledBytesOfAnImageCutShort) {
    // The image ends inside big.bin's last read: what lies past the cut
    // reads as zeros. (The files written after it are gone whole: their
    // exports fail, as a read that gets nothing at all does.)
    std::filesystem::resize_file(image, nearEnd * 512);
    const CliResult cat = RunCli(dir, "cat " + image + " /" + kBig);
    EXPECT_EQ(cat.status, 0) << cat.err;
    EXPECT_NE(cat.err.find("/docs/sub/big.bin: 1344 bytes unreadable, filled with zeros: 198656-199999"),
              std::string::npos)
        << cat.err;

    const CliResult exported =
        RunCli(dir, "export " + image + " / -r --to " + dir.File("out") + " --manifest " + dir.File("m.csv"));
    EXPECT_NE(exported.err.find("files have unreadable bytes, filled with zeros; see the manifest"), std::string::npos)
        << exported.err;
    const auto text = ReadFileBytes(dir.File("m.csv"));
    const std::string csv(text.begin(), text.end());
    EXPECT_NE(csv.find("unreadableBytes,unreadableRanges"), std::string::npos);
    EXPECT_NE(csv.find(",1344,198656-199999,"), std::string::npos) << csv;
}

}  // namespace
}  // namespace delvora::test
