#include "case/case_workspace.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "case/fake_volume.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::RecordingContext;

TEST(CaseWorkspace, NewCaseHoldsExactlyTheThreeGroups) {
    RecordingContext rc;
    CaseWorkspace workspace(rc.context);
    const CaseItem& root = workspace.Root();
    ASSERT_EQ(root.children.size(), 3u);

    const CaseItem& bookmarks = *root.children[0];
    EXPECT_EQ(bookmarks.name, "书签");
    EXPECT_EQ(bookmarks.NodeKind(), 4);
    EXPECT_EQ(bookmarks.image, 0u);
    EXPECT_EQ(bookmarks.selectedImage, 1u);
    ASSERT_EQ(bookmarks.children.size(), 2u);
    EXPECT_EQ(bookmarks.children[0]->name, "文本");
    EXPECT_EQ(bookmarks.children[1]->name, "图像");
    for (const auto& sub : bookmarks.children) {
        EXPECT_EQ(sub->kind, 7);
        EXPECT_EQ(sub->image, 6u);
        EXPECT_EQ(sub->selectedImage, 7u);
        EXPECT_TRUE(sub->children.empty());
    }

    const CaseItem& keywords = *root.children[1];
    EXPECT_EQ(keywords.name, "关键字");
    EXPECT_EQ(keywords.kind, 5);
    EXPECT_EQ(keywords.image, 2u);
    EXPECT_EQ(keywords.selectedImage, 3u);
    ASSERT_EQ(keywords.children.size(), 1u);
    const CaseItem& first = *keywords.children[0];
    EXPECT_EQ(first.name, "关键字1");
    EXPECT_EQ(first.kind, 5);
    EXPECT_EQ(first.number, 0u);
    EXPECT_EQ(first.text, "MAIN");
    EXPECT_EQ(first.image, 2u);
    EXPECT_EQ(first.selectedImage, 3u);

    const CaseItem& search = *root.children[2];
    EXPECT_EQ(search.name, "搜索");
    EXPECT_EQ(search.kind, 6);
    EXPECT_EQ(search.image, 4u);
    EXPECT_EQ(search.selectedImage, 5u);
    EXPECT_TRUE(search.children.empty());

    EXPECT_EQ(&workspace.Bookmarks(), &bookmarks);
    EXPECT_EQ(&workspace.Keywords(), &keywords);
    EXPECT_EQ(&workspace.Searches(), &search);
    EXPECT_EQ(workspace.ShowFiles(), 0);
    EXPECT_EQ(workspace.ItemCount(), 0u);
    EXPECT_EQ(workspace.IsModified(), 0);
}

TEST(CaseWorkspace, EachCaseHasItsOwnGroups) {
    CaseWorkspace one;
    CaseWorkspace two;
    one.Searches().AddChild(std::make_unique<CaseItem>("结果", node_kinds::kSearchFolder));
    EXPECT_EQ(one.Searches().children.size(), 1u);
    EXPECT_TRUE(two.Searches().children.empty());
    EXPECT_NE(one.Searches().FindChild("结果"), nullptr);
}

TEST(CaseWorkspace, ClearingBusyMakesTheWorkStoppableAgain) {
    CaseWorkspace workspace;
    EXPECT_EQ(workspace.IsBusy(), 0);
    EXPECT_EQ(workspace.IsStoppable(), 1);
    EXPECT_EQ(workspace.StopMessage(), "无消息");

    workspace.SetBusy(1);
    workspace.SetStoppable(0);
    workspace.SetStopMessage("加载文件系统过程中暂时不能终止!");
    // Setting busy to 1 leaves the other two alone.
    workspace.SetBusy(1);
    EXPECT_EQ(workspace.IsStoppable(), 0);
    EXPECT_EQ(workspace.StopMessage(), "加载文件系统过程中暂时不能终止!");

    workspace.SetBusy(0);
    EXPECT_EQ(workspace.IsBusy(), 0);
    EXPECT_EQ(workspace.IsStoppable(), 1);
    EXPECT_EQ(workspace.StopMessage(), "无消息");
}

TEST(CaseWorkspace, CommandsAreRefusedOnlyWhileBusy) {
    RecordingContext rc;
    CaseWorkspace workspace(rc.context);
    EXPECT_FALSE(workspace.RefuseIfBusy());
    EXPECT_TRUE(rc.notifier.Texts().empty());

    workspace.SetBusy(1);
    EXPECT_TRUE(workspace.RefuseIfBusy());
    const auto messages = rc.notifier.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "线程忙!");
    EXPECT_EQ(messages[0].caption, "提示");
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    workspace.SetBusy(0);
}

TEST(CaseWorkspace, StopRequestFollowsTheStoppableState) {
    RecordingContext rc;
    CaseWorkspace workspace(rc.context);

    // Idle: nothing to stop, nothing shown or asked.
    workspace.RequestStop();
    EXPECT_TRUE(rc.notifier.Texts().empty());
    EXPECT_TRUE(rc.notifier.Questions().empty());

    // Not stoppable: the stop message, and the work goes on.
    workspace.SetBusy(1);
    workspace.SetStoppable(0);
    workspace.SetStopMessage("加载树视图过程中暂时不能终止!");
    workspace.RequestStop();
    EXPECT_EQ(rc.notifier.Texts(), std::vector<std::string>{"加载树视图过程中暂时不能终止!"});
    EXPECT_TRUE(rc.notifier.Questions().empty());
    EXPECT_EQ(workspace.IsBusy(), 1);

    // Stoppable, answered Cancel: still busy.
    workspace.SetStoppable(1);
    rc.notifier.confirmAnswer = false;
    workspace.RequestStop();
    EXPECT_EQ(rc.notifier.Questions(), std::vector<std::string>{"您是否要停止当前操作?"});
    EXPECT_EQ(workspace.IsBusy(), 1);

    // Answered OK: busy cleared.
    rc.notifier.confirmAnswer = true;
    workspace.RequestStop();
    EXPECT_EQ(rc.notifier.Questions().size(), 2u);
    EXPECT_EQ(workspace.IsBusy(), 0);
}

TEST(CaseWorkspace, WorkersRunOneAfterAnother) {
    CaseWorkspace workspace;
    test::Gate release;
    std::vector<int> order;
    ASSERT_TRUE(workspace.StartWorker([&] {
        release.Wait();
        order.push_back(1);
    }));
    EXPECT_TRUE(workspace.WorkerRunning());
    release.Open();
    // Starting the next one waits for the first to end.
    ASSERT_TRUE(workspace.StartWorker([&] { order.push_back(2); }));
    workspace.WaitForWorker();
    EXPECT_FALSE(workspace.WorkerRunning());
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    // Waiting with no worker returns at once.
    workspace.WaitForWorker();
}

TEST(CaseWorkspace, AWorkerCannotStartAnotherOrWaitForItself) {
    CaseWorkspace workspace;
    bool nestedStarted = true;
    ASSERT_TRUE(workspace.StartWorker([&] {
        nestedStarted = workspace.StartWorker([] {});
        workspace.WaitForWorker();
    }));
    workspace.WaitForWorker();
    EXPECT_FALSE(nestedStarted);
}

TEST(CaseWorkspace, AWorkerThatThrowsLeavesTheCaseIdle) {
    CaseWorkspace workspace;
    workspace.SetBusy(1);
    workspace.SetStoppable(0);
    ASSERT_TRUE(workspace.StartWorker([] { throw std::runtime_error("lost"); }));
    workspace.WaitForWorker();
    EXPECT_EQ(workspace.IsBusy(), 0);
    EXPECT_EQ(workspace.IsStoppable(), 1);
}

TEST(CaseWorkspace, DestructionWaitsForAStoppableWorker) {
    test::Gate started;
    std::atomic<int> passes{0};
    {
        CaseWorkspace workspace;
        workspace.SetBusy(1);
        ASSERT_TRUE(workspace.StartWorker([&] {
            started.Open();
            // A stoppable worker ends when busy drops.
            while (workspace.IsBusy()) std::this_thread::yield();
            ++passes;
        }));
        started.Wait();
    }
    EXPECT_EQ(passes.load(), 1);
}

TEST(CaseWorkspace, ShowFilesAsksForARebuild) {
    CaseWorkspace workspace;
    test::RecordingEvents events;
    workspace.SetEvents(&events);
    workspace.SetShowFiles(1);
    EXPECT_EQ(workspace.ShowFiles(), 1);
    EXPECT_EQ(events.showFilesChanges.load(), 1);
}

TEST(CaseWorkspace, OptionsComeFromTheContextOrTheCase) {
    RecordingContext rc;
    rc.options.codepage = "CP437";
    CaseWorkspace withContext(rc.context);
    EXPECT_EQ(withContext.Options().codepage, "CP437");
    EXPECT_EQ(&withContext.Options(), &rc.options);

    CaseWorkspace alone;
    EXPECT_EQ(alone.Options().codepage, "GBK");
    EXPECT_EQ(alone.Options().autoNameDuplicates, 1);
    EXPECT_EQ(&alone.Context().Options(), &alone.Options());
}

TEST(DataItem, VolumesGoBeforeTheSourceCloses) {
    test::TempDir dir;
    const std::string image = dir.File("d.img");
    ASSERT_TRUE(test::WriteFileBytes(image, std::vector<uint8_t>(4096, 0)));

    // A volume that checks, as it is destroyed, that its source is still open.
    test::FakeVolumeScript script;
    bool openAtDestruction = false;
    {
        DataItem item;
        item.source->SetPath(image);
        ASSERT_EQ(item.source->Open(), 1);
        struct Checking : test::FakeVolume {
            Checking(test::FakeVolumeScript& s, bool& flag) : FakeVolume(s, VolumeClass::Fat), m_flag(flag) {}
            ~Checking() override { m_flag = GetDataSource()->IsOpen(); }
            bool& m_flag;
        };
        auto volume = std::make_unique<Checking>(script, openAtDestruction);
        volume->SetDataSource(item.source.get());
        item.volumes.push_back(std::move(volume));
    }
    EXPECT_TRUE(openAtDestruction);
}

}  // namespace
}  // namespace delvora
