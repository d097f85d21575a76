// Hashing in the workstation: the file list after a volume was hashed (its
// hash column, notable rows in their colour, known rows greyed and hidden
// on request) and the options' hash-set page importing and removing sets.
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

#include "app/hash_set_page.h"
#include "case/case_workspace.h"
#include "case/file_hashes.h"
#include "case/open_volume.h"
#include "disk/data_source.h"
#include "gui/gui_support.h"
#include "hashset/hash_set_import.h"
#include "views/file_list_model.h"
#include "views/file_list_view.h"
#include "views/view_set.h"

namespace delvora::test {
namespace {

std::string Md5Of(const std::string& text) {
    Hasher h(kHashMd5);
    h.Update({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    return h.Finish().md5;
}

int RowNamed(const FileListModel& model, const QString& name) {
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.index(row, 0).data().toString() == name) return row;
    return -1;
}

}  // namespace

class HashViewsTest : public QObject {
    Q_OBJECT
private slots:
    void FileListMarksKnownAndNotableFilesAndHidesKnownOnes() {
        DELVORA_QSKIP_MISSING("mkfs.fat", "mcopy");
        TempDir dir;
        const std::string image = dir.File("fat.img");
        QCOMPARE(RunShell("export MTOOLS_SKIP_CHECK=1; cd '" + dir.Path() + "' && truncate -s 16M fat.img && "
                          "mkfs.fat -F 16 fat.img >/dev/null && printf one > a.txt && printf two > b.txt && "
                          "printf three > c.txt && printf four > d.txt && mcopy -i fat.img a.txt b.txt c.txt d.txt ::/"),
                 0);
        RecordingContext recording;
        DataSource source(recording.context);
        source.SetKind(SourceKind::Device);
        source.SetPath(image);
        QVERIFY(source.Open());
        auto volume = OpenVolume({&source, 0x06, 0, std::filesystem::file_size(image) / 512}, recording.context).volume;
        QVERIFY(volume && LoadTreeGuarded(*volume, recording.log));

        const std::string db = dir.File("sets.db");
        std::ofstream(dir.File("known.txt")) << Md5Of("one") << "\n" << Md5Of("two") << "\n";
        std::ofstream(dir.File("notable.txt")) << Md5Of("three") << "\n";
        {
            HashSetStore store;
            QVERIFY(store.Open(db, true));
            HashImportReport report;
            std::string error;
            QVERIFY(ImportHashSet(store, "os", HashSetStatus::kKnown, dir.File("known.txt"), report, error));
            QVERIFY(ImportHashSet(store, "case", HashSetStatus::kNotable, dir.File("notable.txt"), report, error));
        }

        CaseWorkspace workspace{recording.context};
        QMdiArea area;
        ViewSet views{area, workspace};
        auto* view = static_cast<FileListView*>(views.OpenView(ViewKind::kFileList));
        FileListModel& model = *view->Model();
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        views.SetCurrentItem(volume->RootItem(), volume.get());
        QCOMPARE(model.columnCount(), int(kFileListColumns));

        workspace.SetBusy(1);
        const HashRunSummary summary = HashFolder(workspace, *volume, *volume->RootItem(), workspace.Hashes(), db);
        workspace.SetBusy(0);
        QCOMPARE(summary.files, 4u);
        QCOMPARE(summary.known, 2u);
        QCOMPARE(summary.notable, 1u);
        views.SetCurrentItem(volume->RootItem(), volume.get());
        QCOMPARE(model.columnCount(), int(kFileListColumns) + 1);
        const int a = RowNamed(model, QStringLiteral("a.txt")), c = RowNamed(model, QStringLiteral("c.txt")),
                  d = RowNamed(model, QStringLiteral("d.txt"));
        QVERIFY(a >= 0 && c >= 0 && d >= 0);
        QCOMPARE(model.index(d, kFileListColumns).data().toString(), QString::fromStdString(Md5Of("four")));
        const auto colour = [&](int row) { return model.index(row, 0).data(Qt::ForegroundRole).value<QColor>(); };
        QVERIFY(colour(c) != colour(d));
        QVERIFY(colour(a) != colour(d));
        QVERIFY(colour(a) != colour(c));
        QVERIFY(model.index(c, 0).data(Qt::ToolTipRole).toString().contains(QStringLiteral("case")));

        auto* hide = view->findChild<QCheckBox*>(QStringLiteral("hideKnownFiles"));
        QVERIFY(hide);
        hide->setChecked(true);
        QCOMPARE(RowNamed(model, QStringLiteral("a.txt")), -1);
        QCOMPARE(RowNamed(model, QStringLiteral("b.txt")), -1);
        QVERIFY(RowNamed(model, QStringLiteral("c.txt")) >= 0);
        QVERIFY(RowNamed(model, QStringLiteral("d.txt")) >= 0);
        model.sort(kFileListColumns, Qt::AscendingOrder);
        hide->setChecked(false);
        QVERIFY(RowNamed(model, QStringLiteral("a.txt")) >= 0);
    }

    void HashSetPageImportsListsAndRemoves() {
        TempDir dir;
        std::ofstream(dir.File("list.txt")) << Md5Of("x") << "\nnot a digest\n";
        QCOMPARE(RunShell("sqlite3 '" + dir.File("other.db") + "' 'CREATE TABLE t(x)'"), 0);
        HashSetPage page(dir.File("sets.db"));
        QCOMPARE(page.List()->topLevelItemCount(), 0);
        QVERIFY(!page.ImportFile(QString::fromStdString(dir.File("list.txt")), true));  // no name yet
        page.NameField()->setText(QStringLiteral("alerts"));
        page.StatusBox()->setCurrentIndex(1);
        QVERIFY(page.ImportFile(QString::fromStdString(dir.File("list.txt")), true));
        QVERIFY(!page.ImportFile(QString::fromStdString(dir.File("list.txt")), true));  // the name is taken
        page.NameField()->setText(QStringLiteral("other"));
        QVERIFY(!page.ImportFile(QString::fromStdString(dir.File("other.db")), true));
        QCOMPARE(page.List()->topLevelItemCount(), 1);
        QTreeWidgetItem* row = page.List()->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("alerts"));
        QCOMPARE(row->text(1), QStringLiteral("关注"));
        QCOMPARE(row->text(2), QStringLiteral("1"));
        page.List()->setCurrentItem(row);
        QVERIFY(page.RemoveSelected(true));
        QCOMPARE(page.List()->topLevelItemCount(), 0);
    }
};

DELVORA_GUI_TEST(HashViewsTest);

}  // namespace delvora::test

#include "hash_views_test.moc"
