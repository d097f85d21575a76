// The browse bar over hand-built trees: folders only until "显示文件",
// the recycle bin node for found items, deep folder chains, and volumes
// whose worker has not finished yet.
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QTest>
#include <QTreeWidget>

#include <thread>
#include <vector>

#include "app/browse_bar.h"
#include "fs/file_tree.h"
#include "fs/volume.h"
#include "support/stub_volume.h"
#include "gui/gui_support.h"

namespace delvora::test {
namespace {

// A volume whose tree the test fills by hand; it reads nothing.
class HandBuiltVolume final : public test::StubVolume {
public:
    explicit HandBuiltVolume(std::string description) {
        SetDescription(std::move(description));
    }
};

FileItem Folder(const char* name) {
    FileItem item = MakeItem(name);
    item.flags |= item_flags::kDirectory;
    return item;
}

FileItem File(const char* name, uint8_t extraFlags = 0) {
    FileItem item = MakeItem(name);
    item.flags |= extraFlags;
    return item;
}

QStringList ChildTexts(const QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; node && i < node->childCount(); ++i) texts << node->child(i)->text(0);
    return texts;
}

// Adds an item with one hand-built volume to the case and answers the volume.
HandBuiltVolume& AddItem(Window& window, const char* name) {
    auto item = window.Workspace().NewItem();
    item->name = name;
    auto volume = std::make_unique<HandBuiltVolume>("FAT32");
    HandBuiltVolume& ref = *volume;
    item->volumes.push_back(std::move(volume));
    window.Workspace().AddItem(std::move(item));
    return ref;
}

}  // namespace

class BrowseBarTest : public QObject {
    Q_OBJECT
private slots:
    void FilesOnlyRootShowsAnEmptyVolumeNode() {
        Window window;
        HandBuiltVolume& volume = AddItem(window, "C:(FAT32)");
        const std::vector<FileItem> files{File("a.txt"), File("b.doc")};
        QVERIFY(SetChildren(*volume.RootItem(), files));
        BrowseBar& bar = *window.frame->Browse();
        QAbstractItemModelTester tester(bar.Tree()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        bar.RebuildCaseTree();
        QTreeWidgetItem* itemNode = bar.Tree()->topLevelItem(0);
        QCOMPARE(itemNode->text(0), QStringLiteral("C:(FAT32)"));
        QCOMPARE(ChildTexts(itemNode), QStringList{QStringLiteral("FAT32")});
        QCOMPARE(itemNode->child(0)->childCount(), 0);
        bar.ShowFilesBox()->setChecked(true);
        QCOMPARE(ChildTexts(bar.Tree()->topLevelItem(0)->child(0)), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.doc")}));
        bar.ShowFilesBox()->setChecked(false);
        QCOMPARE(bar.Tree()->topLevelItem(0)->child(0)->childCount(), 0);
    }

    void FoundItemsGetARecycleBinNode() {
        Window window;
        HandBuiltVolume& volume = AddItem(window, "C:(FAT32)");
        const std::vector<FileItem> root{Folder("Docs")};
        QVERIFY(SetChildren(*volume.RootItem(), root));
        const std::vector<FileItem> found{Folder("Lost1"), File("found.htm", item_flags::kFound)};
        QVERIFY(SetChildren(*volume.RecycleItem(), found));
        BrowseBar& bar = *window.frame->Browse();
        bar.RebuildCaseTree();
        QTreeWidgetItem* volumeNode = bar.Tree()->topLevelItem(0)->child(0);
        QCOMPARE(ChildTexts(volumeNode), (QStringList{QStringLiteral("Docs"), QStringLiteral("回收站")}));
        QTreeWidgetItem* bin = volumeNode->child(1);
        QCOMPARE(ChildTexts(bin), QStringList{QStringLiteral("Lost1")});
        // The bin node carries the volume's recycle item.
        QCOMPARE(bin->data(0, BrowseBar::kNodeRole).value<quintptr>(), reinterpret_cast<quintptr>(volume.RecycleItem()));
        QCOMPARE(bin->data(0, BrowseBar::kVolumeRole).value<quintptr>(), reinterpret_cast<quintptr>(&volume));
    }

    void RefreshAfterAWorkerShowsWhatItFound() {
        Window window;
        HandBuiltVolume& volume = AddItem(window, "C:(FAT32)");
        window.frame->Browse()->RebuildCaseTree();
        QTreeWidget* tree = window.frame->Browse()->Tree();
        QCOMPARE(tree->topLevelItem(0)->child(0)->childCount(), 0);
        // A search grafts found items under the recycle item, then the
        // worker's refresh arrives from its own thread.
        const std::vector<FileItem> found{Folder("Lost1")};
        QVERIFY(SetChildren(*volume.RecycleItem(), found));
        std::thread worker([&window] { window.Workspace().Events().Refresh(); });
        worker.join();
        QTRY_COMPARE(ChildTexts(tree->topLevelItem(0)->child(0)), QStringList{QStringLiteral("回收站")});
    }

    void DeepFolderChainsDoNotExhaustTheStack() {
        Window window;
        HandBuiltVolume& volume = AddItem(window, "C:(FAT32)");
        // 20,000 nested folders: far deeper than a recursive walk survives
        // on a worker-sized stack.
        constexpr int kDepth = 20000;
        FileItem* pFolder = volume.RootItem();
        for (int i = 0; i < kDepth; ++i) {
            const std::vector<FileItem> one{Folder("d")};
            QVERIFY(SetChildren(*pFolder, one));
            pFolder = &pFolder->children[0];
        }
        BrowseBar& bar = *window.frame->Browse();
        bar.RebuildCaseTree();
        int nDepth = 0;
        for (QTreeWidgetItem* node = bar.Tree()->topLevelItem(0)->child(0); node->childCount() > 0; node = node->child(0))
            ++nDepth;
        QCOMPARE(nDepth, kDepth);
        bar.Tree()->clear();
        FreeSubtree(*volume.RootItem());
    }

    void VolumesStillLoadingAppearWhenTheirTreeIsBuilt() {
        Window window;
        HandBuiltVolume& volume = AddItem(window, "C:(FAT32)");
        const std::vector<FileItem> root{Folder("Docs")};
        QVERIFY(SetChildren(*volume.RootItem(), root));
        BrowseBar& bar = *window.frame->Browse();
        // While busy the tree of the last item may still be filling: only its node shows.
        window.Workspace().SetBusy(1);
        bar.RebuildCaseTree();
        QCOMPARE(bar.Tree()->topLevelItem(0)->childCount(), 0);
        DataItem* item = window.Workspace().Items().back().get();
        bar.BuildCaseTree(item);
        QCOMPARE(bar.Tree()->topLevelItemCount(), 4);
        QCOMPARE(ChildTexts(bar.Tree()->topLevelItem(0)->child(0)), QStringList{QStringLiteral("Docs")});
        window.Workspace().SetBusy(0);

        // A stale pointer that is not an item of the case is ignored.
        DataItem stranger;
        bar.BuildCaseTree(&stranger);
        QCOMPARE(bar.Tree()->topLevelItemCount(), 4);
    }

    void TreeRequestsFromTheCaseReachTheBar() {
        Window window;
        HandBuiltVolume& volume = AddItem(window, "C:(FAT32)");
        const std::vector<FileItem> root{Folder("Docs")};
        QVERIFY(SetChildren(*volume.RootItem(), root));
        DataItem* item = window.Workspace().Items().back().get();
        // The worker announces the tree from its own thread.
        std::thread worker([&window, item] { window.Workspace().Events().BuildCaseTree(*item); });
        worker.join();
        QTRY_COMPARE(window.frame->Browse()->Tree()->topLevelItemCount(), 4);
        QCOMPARE(ChildTexts(window.frame->Browse()->Tree()->topLevelItem(0)->child(0)), QStringList{QStringLiteral("Docs")});
    }
};

DELVORA_GUI_TEST(BrowseBarTest);

}  // namespace delvora::test

#include "browse_bar_test.moc"
