#include "recovery/export_item.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/hash.h"
#include "recovery/memory_volume.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

using Read = MemoryVolume::Read;

class ExportItemTest : public ::testing::Test {
protected:
    ExportItemTest() { volume.SetContext(recorder.context); }
    FileItem* File(size_t bytes, uint32_t seed = 1) {
        data = PatternBytes(bytes, seed);
        return volume.AddFile(*volume.RootItem(), "F.BIN", data);
    }
    RecordingContext recorder;
    MemoryVolume volume;
    TempDir dir;
    std::vector<uint8_t> data;
};

TEST_F(ExportItemTest, ChunksAreAtMost64KiBAndCoverTheSizeExactly) {
    struct Case {
        size_t size;
        std::vector<Read> reads;
    };
    const Case cases[] = {
        {1, {{0, 1}}},
        {65536, {{0, 65536}}},
        {65537, {{0, 65536}, {65536, 1}}},
        {200000, {{0, 65536}, {65536, 65536}, {131072, 65536}, {196608, 3392}}},
    };
    for (const auto& c : cases) {
        FileItem* item = File(c.size, uint32_t(c.size));
        volume.reads.clear();
        const std::string path = dir.File("out" + std::to_string(c.size));
        ASSERT_TRUE(ExportItem(&volume, item, path)) << c.size;
        EXPECT_EQ(volume.reads, c.reads) << c.size;
        EXPECT_EQ(ReadFileBytes(path), data) << c.size;
    }
    EXPECT_TRUE(recorder.notifier.Texts().empty());
    EXPECT_TRUE(recorder.log.Lines().empty());
}

TEST_F(ExportItemTest, EmptyItemGivesEmptyFileWithoutTouchingTheVolume) {
    FileItem* item = File(0);
    const std::string path = dir.File("empty");
    ASSERT_TRUE(WriteFileBytes(path, {1, 2, 3}));  // truncated, not kept
    ASSERT_TRUE(ExportItem(&volume, item, path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(volume.runsCalls, 0);
    EXPECT_TRUE(volume.reads.empty());
}

TEST_F(ExportItemTest, NothingHappensWithoutVolumeItemOrPath) {
    FileItem* item = File(10);
    const std::string path = dir.File("x");
    EXPECT_FALSE(ExportItem(nullptr, item, path));
    EXPECT_FALSE(ExportItem(&volume, nullptr, path));
    EXPECT_FALSE(ExportItem(&volume, item, ""));
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    EXPECT_TRUE(recorder.log.Lines().empty());
}

TEST_F(ExportItemTest, TargetThatCannotBeCreatedIsLogged) {
    FileItem* item = File(10);
    const std::string path = dir.File("missing/x.bin");
    EXPECT_FALSE(ExportItem(&volume, item, path));
    EXPECT_EQ(recorder.log.Lines(), std::vector<std::string>{"创建文件失败:" + path});
    EXPECT_TRUE(recorder.notifier.Texts().empty());
    EXPECT_EQ(volume.runsCalls, 0);
}

TEST_F(ExportItemTest, RunListFailureShowsMessageAndLeavesEmptyTarget) {
    FileItem* item = File(100);
    volume.FailRuns(*item);
    const std::string path = dir.File("r");
    EXPECT_FALSE(ExportItem(&volume, item, path));
    EXPECT_EQ(recorder.notifier.Texts(), std::vector<std::string>{"取出文件簇列表错误!"});
    EXPECT_EQ(recorder.notifier.Messages()[0].caption, "提示");
    EXPECT_EQ(recorder.notifier.Messages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(::access(path.c_str(), F_OK), 0);
    EXPECT_TRUE(volume.reads.empty());
}

TEST_F(ExportItemTest, ReadFailureMidwayLeavesThePartialTarget) {
    FileItem* item = File(200000);
    volume.FailReadAt(*item, 131072 + 5);
    const std::string path = dir.File("partial");
    EXPECT_FALSE(ExportItem(&volume, item, path));
    EXPECT_EQ(recorder.notifier.Texts(), std::vector<std::string>{"读文件错!"});
    const auto written = ReadFileBytes(path);
    EXPECT_EQ(written, std::vector<uint8_t>(data.begin(), data.begin() + 131072));
    EXPECT_EQ(volume.reads.size(), 3u);  // no read after the failed one
}

TEST_F(ExportItemTest, TargetWriteFailureIsAFailureNotASuccess) {
    FileItem* item = File(1000);
    EXPECT_FALSE(ExportItem(&volume, item, "/dev/full"));
    EXPECT_TRUE(recorder.log.Contains("写文件失败:/dev/full"));
    // A descriptor that takes no bytes at all.
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(CopyItemData(volume, *item, fd), CopyStatus::kWriteFailed);
    ::close(fd);
}

TEST_F(ExportItemTest, LinkAtTheTargetIsNotFollowed) {
    FileItem* item = File(10);
    const std::string victim = dir.File("victim");
    ASSERT_TRUE(WriteFileBytes(victim, {9, 9}));
    const std::string link = dir.File("link");
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    EXPECT_FALSE(ExportItem(&volume, item, link));
    EXPECT_EQ(ReadFileBytes(victim), (std::vector<uint8_t>{9, 9}));
}

TEST_F(ExportItemTest, DigestAndCountFollowTheBytesWritten) {
    FileItem* item = File(70000);
    Hasher expected;
    expected.Update(data);
    Hasher digest;
    const std::string path = dir.File("d");
    ASSERT_TRUE(ExportItem(&volume, item, path, &digest));
    EXPECT_EQ(digest.Finish().sha256, expected.Finish().sha256);

    volume.FailReadAt(*item, 65536);
    const int fd = ::open(dir.File("quiet").c_str(), O_WRONLY | O_CREAT, 0644);
    uint64_t written = 0;
    EXPECT_EQ(CopyItemData(volume, *item, fd, nullptr, CopyReport::kQuiet, &written), CopyStatus::kReadFailed);
    ::close(fd);
    EXPECT_EQ(written, 65536u);
    EXPECT_TRUE(recorder.notifier.Texts().empty());  // quiet: the caller reports
}

// What a target that is already there (or already written this run) does
// to the name an export gets; existing files keep their bytes unless
// replacing was asked for.
TEST(CreateTargetFile, ExistingFilesAreNumberedPastOrReplacedOnlyOnRequest) {
    const struct {
        const char* what;
        std::vector<std::string> existing;
        std::vector<std::string> inUse;
        bool number, replace;
        int result;  // 0: a descriptor
        const char* chosen;
    } cases[] = {
        {"free", {}, {}, true, false, 0, "a.txt"},
        {"exists", {"a.txt"}, {}, true, false, 0, "a (2).txt"},
        {"exists twice", {"a.txt", "a (2).txt"}, {}, true, false, 0, "a (3).txt"},
        {"written this run", {}, {"a.txt"}, true, false, 0, "a (2).txt"},
        {"exists, no numbering", {"a.txt"}, {}, false, false, kTargetExists, "a.txt"},
        {"exists, replace", {"a.txt"}, {}, false, true, 0, "a.txt"},
        {"written this run, replace", {"a.txt"}, {"a.txt"}, true, true, 0, "a (2).txt"},
        {"written this run, no numbering", {}, {"a.txt"}, false, true, kTargetInUse, "a.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        for (const auto& name : c.existing) ASSERT_TRUE(WriteFileBytes(dir.File(name), {7}));
        const int dirFd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(dirFd, 0);
        TargetNaming naming;
        naming.number = c.number;
        naming.replace = c.replace;
        naming.inUse = [&](const std::string& name) {
            return std::find(c.inUse.begin(), c.inUse.end(), name) != c.inUse.end();
        };
        std::string chosen;
        const int fd = CreateTargetFile(dirFd, "a.txt", naming, chosen);
        EXPECT_EQ(fd >= 0 ? 0 : fd, c.result);
        EXPECT_EQ(chosen, c.chosen);
        if (fd >= 0) {
            ASSERT_TRUE(WriteAll(fd, reinterpret_cast<const uint8_t*>("new"), 3));
            ::close(fd);
            EXPECT_EQ(ReadFileBytes(dir.File(chosen)).size(), 3u);
        }
        // Whatever was there and not chosen keeps its byte.
        for (const auto& name : c.existing) {
            if (name != chosen || !c.replace) {
                EXPECT_EQ(ReadFileBytes(dir.File(name)), std::vector<uint8_t>{7}) << name;
            }
        }
        ::close(dirFd);
    }
}

}  // namespace
}  // namespace delvora::test
