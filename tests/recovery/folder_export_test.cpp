#include "recovery/folder_export.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <ctime>
#include <filesystem>
#include <set>

#include "common/hash.h"
#include "fs/item_path.h"
#include "recovery/memory_volume.h"
#include "recovery/manifest.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

/// Every regular file below root, relative path → contents.
std::map<std::string, std::string> Listing(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const auto bytes = ReadFileBytes(entry.path().string());
        out[fs::relative(entry.path(), root).string()] = std::string(bytes.begin(), bytes.end());
    }
    return out;
}

class FolderExportTest : public ::testing::Test {
protected:
    FolderExportTest() {
        volume.SetContext(recorder.context);
        target = dir.File("out");
    }
    FolderExportOptions Defaults() { return FolderExportOptions::From(recorder.options); }
    RecordingContext recorder;
    MemoryVolume volume;
    TempDir dir;
    std::string target;
};

TEST_F(FolderExportTest, WholeTreeWithDeletedItemsExclusionsAndSameNames) {
    FileItem& root = *volume.RootItem();
    volume.AddFile(root, "top.txt", Bytes("top"));
    volume.AddFile(root, "~lock.txt", Bytes("prefix"));
    volume.AddFile(root, "cache.TMP", Bytes("excluded"));
    volume.AddFile(root, "empty.dat", {});
    FileItem* docs = volume.AddFolder(root, "Docs");
    volume.AddFile(*docs, "same.txt", Bytes("one"));
    docs = volume.AddFolder(root, "Docs", item_flags::kDeleted);  // a deleted folder of the same name
    volume.AddFile(*docs, "old.txt", Bytes("old"), item_flags::kDeleted);

    FolderExporter exporter(volume, Defaults());
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));
    const auto files = Listing(target);
    const std::map<std::string, std::string> expected = {
        {"top.txt", "top"}, {"empty.dat", ""}, {"Docs/same.txt", "one"}, {"Docs (2)/old.txt", "old"}};
    // Which of the two "Docs" gets the number depends only on the sort order.
    std::set<std::string> contents, expectedContents;
    for (const auto& [path, data] : files) contents.insert(data);
    for (const auto& [path, data] : expected) expectedContents.insert(data);
    EXPECT_EQ(contents, expectedContents);
    EXPECT_EQ(files.size(), 4u);
    EXPECT_TRUE(fs::is_directory(target + "/Docs") && fs::is_directory(target + "/Docs (2)"));
    EXPECT_EQ(exporter.Summary().exported, 4u);
    EXPECT_EQ(exporter.Summary().skipped, 2u);
    EXPECT_EQ(exporter.Summary().failed, 0u);
}

TEST_F(FolderExportTest, SameFileNamesAreNumberedIgnoringCase) {
    FileItem& root = *volume.RootItem();
    FileItem* d = volume.AddFolder(root, "D");
    volume.AddFile(*d, "a.txt", Bytes("1"));
    volume.AddFile(*d, "A.TXT", Bytes("2"), item_flags::kDeleted);
    volume.AddFile(*d, "a.txt", Bytes("3"), item_flags::kDeleted);
    FolderExporter exporter(volume, Defaults());
    ASSERT_TRUE(exporter.ExportFolder(*FindItemByPath(root, "D"), target));
    std::set<std::string> folded, contents;
    for (const auto& [path, data] : Listing(target)) {
        std::string lower = path;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        folded.insert(lower);
        contents.insert(data);
    }
    EXPECT_EQ(folded, (std::set<std::string>{"d/a.txt", "d/a (2).txt", "d/a (3).txt"}));
    EXPECT_EQ(contents, (std::set<std::string>{"1", "2", "3"}));
    EXPECT_EQ(exporter.Summary().exported, 3u);
}

TEST_F(FolderExportTest, FilesAlreadyInTheTargetAreNeverOverwritten) {
    FileItem& root = *volume.RootItem();
    volume.AddFile(root, "a.txt", Bytes("new"));
    fs::create_directories(target);
    ASSERT_TRUE(WriteFileBytes(target + "/a.txt", Bytes("before")));
    ASSERT_TRUE(WriteFileBytes(target + "/a (2).txt", Bytes("before2")));
    FolderExporter exporter(volume, Defaults());
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));
    EXPECT_EQ(Listing(target), (std::map<std::string, std::string>{
                                   {"a.txt", "before"}, {"a (2).txt", "before2"}, {"a (3).txt", "new"}}));
}

TEST_F(FolderExportTest, WithoutNumberingSecondSameNameIsSkippedAndExistingReplaced) {
    FileItem& root = *volume.RootItem();
    volume.AddFile(root, "a.txt", Bytes("live"));
    volume.AddFile(root, "a.txt", Bytes("deleted"), item_flags::kDeleted);
    fs::create_directories(target);
    ASSERT_TRUE(WriteFileBytes(target + "/a.txt", Bytes("before")));
    FolderExportOptions options = Defaults();
    options.autoNameDuplicates = false;
    FolderExporter exporter(volume, options);
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));
    EXPECT_EQ(Listing(target).size(), 1u);
    EXPECT_NE(Listing(target).at("a.txt"), "before");
    EXPECT_EQ(exporter.Summary().skipped, 1u);
    EXPECT_TRUE(recorder.log.Contains("同名文件未导出:\\a.txt"));
}

TEST_F(FolderExportTest, DeletedItemsLeftOutWhenAsked) {
    FileItem& root = *volume.RootItem();
    volume.AddFile(root, "live.txt", Bytes("x"));
    volume.AddFile(root, "_ead.txt", Bytes("y"), item_flags::kDeleted);
    FileItem* gone = volume.AddFolder(root, "_ONE", item_flags::kDeleted);
    volume.AddFile(*gone, "a", Bytes("a"));
    volume.AddFile(*gone, "b", Bytes("b"));
    FolderExportOptions options = Defaults();
    options.includeDeleted = false;
    FolderExporter exporter(volume, options);
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));
    EXPECT_EQ(Listing(target), (std::map<std::string, std::string>{{"live.txt", "x"}}));
    EXPECT_FALSE(fs::exists(target + "/_ONE"));
    EXPECT_EQ(exporter.Summary().skipped, 3u);
}

TEST_F(FolderExportTest, HostileNamesStayInsideTheTarget) {
    FileItem& root = *volume.RootItem();
    volume.AddFile(root, "..", Bytes("1"));
    volume.AddFile(root, "../escape.txt", Bytes("2"));
    volume.AddFile(root, "..\\..\\win.txt", Bytes("3"));
    volume.AddFile(root, "/abs", Bytes("4"));
    FileItem* up = volume.AddFolder(root, "..");
    volume.AddFile(*up, "in.txt", Bytes("5"));
    const auto before = fs::directory_iterator(dir.Path());
    FolderExporter exporter(volume, Defaults());
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));
    EXPECT_EQ(exporter.Summary().exported, 5u);
    // Only "out" in the folder above the target.
    std::set<std::string> above;
    for (const auto& entry : fs::directory_iterator(dir.Path())) above.insert(entry.path().filename().string());
    EXPECT_EQ(above, std::set<std::string>{"out"});
    EXPECT_EQ(Listing(target).size(), 5u);
}

TEST_F(FolderExportTest, LinksInTheTargetAreNotFollowed) {
    FileItem& root = *volume.RootItem();
    FileItem* sub = volume.AddFolder(root, "sub");
    volume.AddFile(*sub, "f.txt", Bytes("data"));
    volume.AddFile(root, "g.txt", Bytes("data"));
    const std::string outside = dir.File("outside");
    fs::create_directories(outside);
    fs::create_directories(target);
    fs::create_directory_symlink(outside, target + "/sub");
    fs::create_symlink(outside + "/g.txt", target + "/g.txt");

    FolderExporter exporter(volume, Defaults());
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(Listing(target + "/sub (2)").at("f.txt"), "data");

    FolderExportOptions options = Defaults();
    options.autoNameDuplicates = false;
    FolderExporter strict(volume, options);
    ASSERT_TRUE(strict.ExportFolder(root, target, true));
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(strict.Summary().failed, 2u);
    EXPECT_TRUE(recorder.log.Contains("创建文件夹失败:" + target + "/sub"));
}

TEST_F(FolderExportTest, OneFailingFileDoesNotStopTheRest) {
    FileItem& root = *volume.RootItem();
    const auto big = PatternBytes(100000, 7);
    FileItem* bad = volume.AddFile(root, "bad.bin", big);
    volume.FailReadAt(*bad, 70000);
    FileItem* noRuns = volume.AddFile(root, "noruns.bin", Bytes("zz"));
    volume.FailRuns(*noRuns);
    volume.AddFile(root, "good.txt", Bytes("good"));
    FolderExporter exporter(volume, Defaults());
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));
    EXPECT_EQ(exporter.Summary().exported, 1u);
    EXPECT_EQ(exporter.Summary().failed, 2u);
    const auto files = Listing(target);
    EXPECT_EQ(files.at("good.txt"), "good");
    EXPECT_EQ(files.at("bad.bin").size(), 65536u);  // the partial target stays
    EXPECT_TRUE(recorder.log.Contains("读文件错!\\bad.bin"));
    EXPECT_TRUE(recorder.log.Contains("取出文件簇列表错误!\\noruns.bin"));
    EXPECT_TRUE(recorder.notifier.Texts().empty());  // no box per file
}

TEST_F(FolderExportTest, ModificationTimeComesFromTheItemInLocalTime) {
    FileItem& root = *volume.RootItem();
    FileItem* dated = volume.AddFile(root, "dated.txt", Bytes("d"));
    dated->writeDate = uint16_t(((2021 - 1980) << 9) | (7 << 5) | 14);  // 2021-07-14
    dated->writeTime = uint16_t((13 << 11) | (45 << 5) | (30 / 2));     // 13:45:30
    FileItem* bogus = volume.AddFile(root, "bogus.txt", Bytes("b"));
    bogus->writeDate = uint16_t((41 << 9) | (13 << 5) | 1);  // month 13
    FolderExporter exporter(volume, Defaults());
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));

    std::tm tm{};
    tm.tm_year = 121, tm.tm_mon = 6, tm.tm_mday = 14, tm.tm_hour = 13, tm.tm_min = 45, tm.tm_sec = 30;
    tm.tm_isdst = -1;
    struct stat st {};
    ASSERT_EQ(::stat((target + "/dated.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, std::mktime(&tm));
    ASSERT_EQ(::stat((target + "/bogus.txt").c_str(), &st), 0);
    EXPECT_GT(st.st_mtime, std::mktime(&tm));  // left at the time of writing
}

TEST_F(FolderExportTest, ManifestRowsCarryTheDigestsOfWhatWasWritten) {
    FileItem& root = *volume.RootItem();
    const auto data = PatternBytes(70000, 3);
    FileItem* d = volume.AddFolder(root, "d,ir");
    volume.AddFile(*d, "x.bin", data);
    const std::string manifestPath = dir.File("manifest.csv");
    ManifestWriter manifest;
    ASSERT_TRUE(manifest.Open(manifestPath));
    FolderExporter exporter(volume, Defaults());
    std::vector<ExportedFile> seen;
    exporter.SetFileObserver([&](const ExportedFile& file) {
        seen.push_back(file);
        manifest.Add(file);
    });
    ASSERT_TRUE(exporter.ExportFolder(root, target, true));
    ASSERT_TRUE(manifest.Close());
    ASSERT_EQ(seen.size(), 1u);
    Hasher sha;
    sha.Update(data);
    const std::string hex = sha.Finish().sha256;
    EXPECT_EQ(seen[0].digests.sha256, hex);
    EXPECT_EQ(seen[0].size, 70000u);
    EXPECT_EQ(seen[0].volumePath, "\\d,ir\\x.bin");
    EXPECT_EQ(seen[0].targetPath, target + "/d,ir/x.bin");
    const auto text = ReadFileBytes(manifestPath);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "volumePath,targetPath,size,sha256,unreadableBytes,unreadableRanges,overwrittenClusters,note\r\n"
              "\"\\d,ir\\x.bin\",\"" + target + "/d,ir/x.bin\",70000," + hex + ",0,,0,\r\n");
}

TEST_F(FolderExportTest, VeryDeepNestingEndsAndIsCountedAsFailed) {
    FileItem* folder = volume.RootItem();
    for (int i = 0; i < kMaxExportDepth + 5; ++i) folder = volume.AddFolder(*folder, "d");
    volume.AddFile(*folder, "deep.txt", Bytes("x"));
    FolderExporter exporter(volume, Defaults());
    ASSERT_TRUE(exporter.ExportFolder(*volume.RootItem(), target, true));
    EXPECT_EQ(exporter.Summary().failed, 1u);
    EXPECT_TRUE(recorder.log.Contains("文件夹层次过深:"));
}

TEST_F(FolderExportTest, TargetThatCannotBeMadeFailsEverything) {
    FileItem& root = *volume.RootItem();
    volume.AddFile(root, "a", Bytes("a"));
    volume.AddFile(root, "b", Bytes("b"));
    ASSERT_TRUE(WriteFileBytes(dir.File("file"), Bytes("f")));
    FolderExporter exporter(volume, Defaults());
    EXPECT_FALSE(exporter.ExportFolder(root, dir.File("file/out"), true));
    EXPECT_EQ(exporter.Summary().failed, 2u);
    EXPECT_TRUE(recorder.log.Contains("创建文件夹失败:"));
}

}  // namespace
}  // namespace delvora::test
