// The options, properties and start-cluster dialogs: what their rows show,
// what applying reads back, and that a start-cluster trial never outlives
// the dialog unless the examiner keeps it.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "app/options_dialog.h"
#include "app/properties_dialog.h"
#include "app/start_cluster_dialog.h"
#include "gui/gui_support.h"
#include "support/stub_volume.h"
#include "views/property_grid.h"

namespace delvora::test {
namespace {

// Reads every byte as the low byte of the item's start cluster.
class ClusterEchoVolume : public StubVolume {
public:
    bool GetItemRuns(FileItem*, ClusterRunList&) override { return true; }
    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t, uint32_t count, const ClusterRunList*) override {
        std::fill(dest, dest + count, static_cast<uint8_t>(item->startCluster));
        return true;
    }
};

// A root (cluster 2) holding a folder (cluster 9) and a file (cluster 5);
// the folder holds one file (cluster 70000).
struct SmallTree {
    FileItem root, top[2], inner[1];
    SmallTree() {
        root.startCluster = 2;
        root.children = top;
        root.childCount = 2;
        top[0] = {.name = "Docs", .children = inner, .parent = &root, .childCount = 1, .startCluster = 9};
        top[1] = {.name = "a.txt", .parent = &root, .size = 100, .startCluster = 5};
        inner[0] = {.name = "b.txt", .parent = &top[0], .size = 10, .startCluster = 70000};
    }
};

class PlacementDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void StartClusterFieldsFollowEachOther() {
        ClusterEchoVolume volume;
        SmallTree tree;
        RecordingNotifier notifier;
        StartClusterDialog dialog(volume, tree.inner[0], notifier);
        QCOMPARE(dialog.LowEdit()->text(), QStringLiteral("4464"));
        QCOMPARE(dialog.HighEdit()->text(), QStringLiteral("1"));
        dialog.LowEdit()->clear();
        QTest::keyClicks(dialog.LowEdit(), QStringLiteral("1234"));
        dialog.HighEdit()->clear();
        QTest::keyClicks(dialog.HighEdit(), QStringLiteral("3"));
        QCOMPARE(dialog.ClusterEdit()->text(), QStringLiteral("197842"));
        // Parent (9 > 2), the parent's one child, no children of its own.
        QCOMPARE(dialog.References()->topLevelItemCount(), 2);
        QCOMPARE(dialog.References()->topLevelItem(0)->text(0), QStringLiteral("Docs"));
    }

    void TrialClusterIsKeptOnlyWithSaveChanges() {
        ClusterEchoVolume volume;
        SmallTree tree;
        RecordingNotifier notifier;
        for (const int outcome : {0, 1, 2}) {  // Cancel, OK unkept, OK kept
            tree.top[1].startCluster = 5;
            StartClusterDialog dialog(volume, tree.top[1], notifier);
            // A root-level item: the root's cluster 2 gives no parent row.
            QCOMPARE(dialog.References()->topLevelItemCount(), 2);
            dialog.ClusterEdit()->setText(QStringLiteral("65"));
            dialog.Preview();
            QVERIFY(dialog.PreviewPane()->toPlainText().startsWith(QStringLiteral("00000000  41 41 ")));
            QCOMPARE(tree.top[1].startCluster, 65u);
            dialog.KeepBox()->setChecked(outcome == 2);
            if (outcome == 0) dialog.reject();
            else dialog.accept();
            QCOMPARE(tree.top[1].startCluster, outcome == 2 ? 65u : 5u);
        }
    }

    void OptionsApplyReadsTheTextsBack() {
        AnalysisOptions options;
        OptionsDialog dialog(options, nullptr);
        PropertyGrid* grid = dialog.Grid();
        QTreeWidgetItem* exportGroup = grid->Group(QStringLiteral("导出文件夹"));
        QVERIFY(exportGroup);
        QCOMPARE(exportGroup->child(1)->text(1), QStringLiteral(".tmp;"));
        QCOMPARE(exportGroup->child(2)->text(1), QStringLiteral("~;$;"));
        exportGroup->child(1)->setText(1, QStringLiteral("tmp;;.bak."));
        grid->Group(QStringLiteral("分析卷"))->child(4)->setCheckState(1, Qt::Checked);
        dialog.Apply();
        QCOMPARE(options.excludedExtensions, (std::vector<std::string>{"tmp", "bak"}));
        QCOMPARE(options.searchHtml, 1);
        dialog.ShowDefaults();
        dialog.Apply();
        QCOMPARE(options.searchHtml, 0);
        QCOMPARE(options.ignoreZeroTime, 1);
        QCOMPARE(options.excludedExtensions, std::vector<std::string>{"tmp"});
    }

    void PropertiesShowOnlyWhatIsCurrentAndApplyTheCorrections() {
        ClusterEchoVolume volume;
        SmallTree tree;
        RecordingNotifier notifier;
        PropertiesDialog volumeOnly("PHYSICALDRIVE0", &volume, nullptr, notifier);
        QCOMPARE(volumeOnly.Grid()->topLevelItemCount(), 2);
        PropertiesDialog withItem("PHYSICALDRIVE0", &volume, &tree.top[1], notifier);
        QTreeWidgetItem* file = withItem.Grid()->Group(QStringLiteral("文件信息"));
        QVERIFY(file);
        QCOMPARE(file->child(1)->text(1), QStringLiteral("文件"));
        withItem.Grid()->Group(QStringLiteral("卷信息"))->child(1)->setText(1, QStringLiteral("2048"));
        file->child(6)->setText(1, QStringLiteral("x"));  // not a number: 0
        QVERIFY(withItem.Apply());
        QCOMPARE(volume.StartSector(), 2048u);
        QCOMPARE(tree.top[1].startCluster, 0u);
    }
};

const bool kRegistered = RegisterGuiTest<PlacementDialogsTest>();

}  // namespace
}  // namespace delvora::test

#include "placement_dialogs_test.moc"
