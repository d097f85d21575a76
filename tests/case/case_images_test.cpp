// The case over volumes made by the real tools: the worker loads real trees.
#include <gtest/gtest.h>

#include <regex>

#include "case/add_data.h"
#include "case/case_file.h"
#include "case/fake_volume.h"
#include "fs/ext2/ext2_test_support.h"
#include "fs/fat/fat_test_images.h"
#include "support/recorders.h"

namespace delvora {
namespace {

bool Matches(const std::string& line, const char* pattern) { return std::regex_match(line, std::regex(pattern)); }

TEST(CaseImages, AFatImageLoadsThroughTheWorker) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    test::TempDir dir;
    const std::string image = test::MakeToolImage(dir.Path(), 16);
    ASSERT_FALSE(image.empty());
    test::RecordingContext rc;
    test::RecordingEvents events;
    CaseWorkspace workspace(rc.context);
    workspace.SetEvents(&events);

    DataItem* item = AddPartition(workspace, ChosenRow{0x06, 0, 20480 * 2, image, "E:(FAT16)"});
    ASSERT_NE(item, nullptr);
    workspace.WaitForWorker();

    EXPECT_EQ(workspace.IsBusy(), 0);
    EXPECT_EQ(workspace.IsStoppable(), 1);
    EXPECT_EQ(events.Built(), std::vector<DataItem*>{item});
    const auto lines = rc.log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Matches(lines[0], "系统于 [0-9-]+ [0-9:]+ 加载FAT16文件系统,位于 .*/fat16\\.img ,0 扇区")) << lines[0];
    EXPECT_TRUE(Matches(lines[1], "分析文件系统耗时: [0-9]+ 毫秒")) << lines[1];
    EXPECT_EQ(rc.progress.Events(), (std::vector<std::string>{"text:正在加载文件系统...", "start",
                                                              "text:正在加载树视图...", "stop", "text:进度"}));
    ASSERT_EQ(item->volumes.size(), 1u);
    Volume& volume = *item->volumes[0];
    EXPECT_EQ(volume.Description(), "FAT16");
    EXPECT_NE(test::FindItem(*volume.RootItem(), "docs/sub"), nullptr);
    // Deleted entries are part of the loaded tree.
    size_t deleted = 0;
    for (const auto& [path, isDeleted] : test::ListTree(*volume.RootItem())) deleted += isDeleted;
    EXPECT_GE(deleted, 2u);
    EXPECT_TRUE(rc.notifier.Texts().empty());
}

TEST(CaseImages, TypeEightyFiveLoadsAsExt2AndTheCaseReopens) {
    DELVORA_REQUIRE_TOOL("mke2fs");
    test::TempDir dir;
    ASSERT_EQ(test::RunShell("mkdir -p " + dir.File("tree/sub") + " && echo hi > " + dir.File("tree/sub/a.txt")), 0);
    const std::string image = dir.File("e.img");
    ASSERT_EQ(test::MakeExt2(image, 1024, dir.File("tree"), "2M"), "");

    const std::string path = dir.File("case.wsh");
    {
        test::RecordingContext rc;
        CaseWorkspace workspace(rc.context);
        DataItem* item = AddPartition(workspace, ChosenRow{0x85, 0, 4096, image, "F:(Linux extended)"});
        ASSERT_NE(item, nullptr);
        workspace.WaitForWorker();
        ASSERT_EQ(item->volumes.size(), 1u);
        EXPECT_EQ(item->volumes[0]->FileSystemKind(), kExt2);
        EXPECT_TRUE(Matches(rc.log.Lines()[0], "系统于 .* 加载EXT2文件系统,位于 .*/e\\.img , 0 扇区\\."));
        ASSERT_EQ(SaveCaseFile(workspace, path, 1), 1);
    }

    test::RecordingContext rc;
    CaseWorkspace reopened(rc.context);
    ASSERT_EQ(LoadCaseFile(reopened, path), 1);
    ASSERT_EQ(reopened.ItemCount(), 1u);
    const DataItem& item = *reopened.Items()[0];
    EXPECT_EQ(item.name, "F:(Linux extended)");
    EXPECT_EQ(item.typeId, 0x85);
    ASSERT_EQ(item.volumes.size(), 1u);
    EXPECT_NE(test::FindItem(*item.volumes[0]->RootItem(), "sub/a.txt"), nullptr);
    EXPECT_EQ(reopened.IsBusy(), 0);
}

TEST(CaseImages, ADamagedBootSectorFailsTheAnalysis) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    test::TempDir dir;
    const std::string image = test::MakeToolImage(dir.Path(), 16);
    ASSERT_FALSE(image.empty());
    // No bytes per sector, no sectors per cluster.
    ASSERT_TRUE(test::PatchFile(image, 11, {0, 0, 0}));
    test::RecordingContext rc;
    CaseWorkspace workspace(rc.context);
    EXPECT_EQ(AddPartition(workspace, ChosenRow{0x06, 0, 40960, image, "E:(FAT16)"}), nullptr);
    const auto texts = rc.notifier.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "分析文件系统出错!");
    EXPECT_EQ(texts.back(), "分析文件系统错!");
    EXPECT_TRUE(rc.log.Contains(" 在分析文件系统过程中出现错误,无法加载!"));
    EXPECT_EQ(workspace.ItemCount(), 0u);
    EXPECT_EQ(workspace.IsBusy(), 0);
}

}  // namespace
}  // namespace delvora
