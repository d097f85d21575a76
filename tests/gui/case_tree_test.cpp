// The case tree in the browse bar and the commands that fill it: the groups
// of a new case, adding a FAT32 partition, "显示文件", the busy refusal, and
// a saved case that opens again.
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QTest>
#include <QTreeWidget>

#include "app/add_data_wizard.h"
#include "app/browse_bar.h"
#include "app/output_bar.h"
#include "app/recent_files.h"
#include "case/case_file.h"
#include "fs/volume_registry.h"
#include "gui/gui_support.h"

namespace delvora::test {
namespace {

QStringList ChildTexts(const QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; node && i < node->childCount(); ++i) texts << node->child(i)->text(0);
    return texts;
}

QStringList TopTexts(const QTreeWidget* tree) {
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(0);
    return texts;
}

const QTreeWidgetItem* Child(const QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text) return node->child(i);
    return nullptr;
}

}  // namespace

class CaseTreeTest : public QObject {
    Q_OBJECT
private slots:
    void NewCaseShowsTheThreeGroups() {
        Window window;
        QTreeWidget* tree = window.frame->Browse()->Tree();
        QAbstractItemModelTester tester(tree->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(TopTexts(tree), (QStringList{QStringLiteral("书签"), QStringLiteral("关键字"), QStringLiteral("搜索")}));
        QCOMPARE(ChildTexts(tree->topLevelItem(0)), (QStringList{QStringLiteral("文本"), QStringLiteral("图像")}));
        QCOMPARE(ChildTexts(tree->topLevelItem(1)), QStringList{QStringLiteral("关键字1")});
        QCOMPARE(tree->topLevelItem(2)->childCount(), 0);
        // Every node carries its case node.
        QCOMPARE(tree->topLevelItem(1)->data(0, BrowseBar::kKindRole).toInt(), 5);
        QCOMPARE(tree->topLevelItem(1)->data(0, BrowseBar::kNodeRole).value<quintptr>(),
                 reinterpret_cast<quintptr>(&window.Workspace().Keywords()));
        // Rebuilding gives the same tree, not a second copy.
        window.frame->Browse()->RebuildCaseTree();
        QCOMPARE(tree->topLevelItemCount(), 3);
    }

    void AddedFat32ShowsFoldersThenFiles() {
        DELVORA_QSKIP_MISSING("sfdisk", "mkfs.fat", "mmd", "mcopy");
        if (!MakeVolume(VolumeClass::Fat)) QSKIP("FAT volumes are not built in");
        QTemporaryDir dir;
        const QString strMap = MakeTestDisk(dir.path());
        QVERIFY(!strMap.isEmpty());
        Window window;
        QTreeWidget* tree = window.frame->Browse()->Tree();
        QAbstractItemModelTester tester(tree->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(AddFat32(window, strMap));
        QTRY_VERIFY_WITH_TIMEOUT(TreeShowsVolumes(window, 1), 20000);
        QVERIFY2(window.notifier.Texts().empty(), qPrintable(window.Messages().join(QLatin1Char('|'))));

        QCOMPARE(TopTexts(tree).first(), QStringLiteral("C:(Win95 FAT32)"));
        const QTreeWidgetItem* volume = tree->topLevelItem(0)->child(0);
        QCOMPARE(volume->data(0, BrowseBar::kKindRole).toInt(), 2);
        // Folders only: the files a.txt and Docs/b.txt stay out.
        QCOMPARE(ChildTexts(volume), (QStringList{QStringLiteral("Docs"), QStringLiteral("Empty")}));
        QCOMPARE(ChildTexts(Child(volume, QStringLiteral("Docs"))), QStringList{QStringLiteral("Sub")});
        QVERIFY(window.frame->Output()->Text().contains(QStringLiteral("FAT32文件系统,位于 ")));

        window.frame->Browse()->ShowFilesBox()->setChecked(true);
        QCOMPARE(window.Workspace().ShowFiles(), 1);
        volume = tree->topLevelItem(0)->child(0);
        QVERIFY(ChildTexts(volume).contains(QStringLiteral("a.txt")));
        QCOMPARE(ChildTexts(Child(volume, QStringLiteral("Docs"))), (QStringList{QStringLiteral("Sub"), QStringLiteral("b.txt")}));
        // The groups stay after the data items.
        QCOMPARE(TopTexts(tree).mid(1), (QStringList{QStringLiteral("书签"), QStringLiteral("关键字"), QStringLiteral("搜索")}));

        // Selecting a folder makes it the case's current item.
        QTreeWidgetItem* docs = const_cast<QTreeWidgetItem*>(Child(volume, QStringLiteral("Docs")));
        tree->setCurrentItem(docs);
        auto* fileItem = reinterpret_cast<FileItem*>(docs->data(0, BrowseBar::kNodeRole).value<quintptr>());
        QVERIFY(fileItem->flags & item_flags::kCurrent);
    }

    void AddDataWhileBusyIsRefused() {
        Window window;
        window.Workspace().SetBusy(1);
        window.frame->AddData();
        QCOMPARE(window.Messages(), QStringList{QStringLiteral("线程忙!")});
        // Work that starts while the wizard is open is caught after it too.
        window.frame->AddChosenRow(ChosenRow{0x0C, 2048, 81920, "PHYSICALDRIVE0", "C:(Win95 FAT32)"});
        QCOMPARE(window.Messages(), (QStringList{QStringLiteral("线程忙!"), QStringLiteral("线程忙!")}));
        QCOMPARE(window.Workspace().ItemCount(), size_t(0));
        window.Workspace().SetBusy(0);
    }

    void SavedCaseOpensAgainItemAfterItem() {
        DELVORA_QSKIP_MISSING("sfdisk", "mkfs.fat", "mmd", "mcopy");
        if (!MakeVolume(VolumeClass::Fat)) QSKIP("FAT volumes are not built in");
        QTemporaryDir dir;
        const QString strMap = MakeTestDisk(dir.path());
        QVERIFY(!strMap.isEmpty());
        const QString strCase = dir.filePath(QStringLiteral("saved.wsh"));
        {
            // The same partition twice: two items whose trees load one after another.
            Window window;
            QVERIFY(AddFat32(window, strMap));
            QTRY_VERIFY_WITH_TIMEOUT(TreeShowsVolumes(window, 1), 20000);
            QVERIFY(AddFat32(window, strMap));
            QTRY_VERIFY_WITH_TIMEOUT(TreeShowsVolumes(window, 2), 20000);
            QCOMPARE(window.frame->SaveCaseFile(strCase, true), 1);
            QCOMPARE(window.frame->Recent().Files().first(), strCase);
        }
        Window window;
        QString strError;
        QVERIFY(window.workstation->LoadDeviceMap(strMap, strError));
        QCOMPARE(window.frame->OpenCaseFile(strCase), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!window.frame->IsLoadingCase() && TreeShowsVolumes(window, 2), 20000);
        QTreeWidget* tree = window.frame->Browse()->Tree();
        QCOMPARE(TopTexts(tree).mid(0, 2), (QStringList{QStringLiteral("C:(Win95 FAT32)"), QStringLiteral("C:(Win95 FAT32)")}));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(ChildTexts(tree->topLevelItem(i)->child(0)), (QStringList{QStringLiteral("Docs"), QStringLiteral("Empty")}));
        QVERIFY(window.notifier.Texts().empty());
        QCOMPARE(window.Workspace().ItemCount(), size_t(2));
    }

    void ForeignFileIsNotACase() {
        QTemporaryDir dir;
        const QString strPath = dir.filePath(QStringLiteral("wrong.wsh"));
        QVERIFY(WriteFileBytes(strPath.toStdString(), {'W', 'S', 'X', 0, 0, 0, 0, 1, 0, 0, 0}));
        Window window;
        QCOMPARE(window.frame->OpenCaseFile(strPath), 0);
        QCOMPARE(window.Messages(), QStringList{QStringLiteral("文件格式不对!")});
        QCOMPARE(window.frame->Browse()->Tree()->topLevelItemCount(), 3);
        QVERIFY(window.frame->Recent().Files().isEmpty() || window.frame->Recent().Files().first() != strPath);
    }
};

DELVORA_GUI_TEST(CaseTreeTest);

}  // namespace delvora::test

#include "case_tree_test.moc"
