// The document views offscreen: the window menu's ten views and the report
// command, views following the current item and the skip flag, the file
// list's cells against `delvora-cli ls` on a tool-made FAT image, sorting,
// and the context menu's export against `delvora-cli export`.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTreeView>

#include <filesystem>
#include <map>
#include <sstream>

#include "case/case_workspace.h"
#include "case/open_volume.h"
#include "disk/data_source.h"
#include "fs/item_path.h"
#include "gui/gui_support.h"
#include "views/delvora_view.h"
#include "views/file_list_model.h"
#include "views/file_list_view.h"
#include "views/view_set.h"

namespace delvora::test {
namespace {

/// A FAT16 volume image made by mkfs.fat and mtools, opened and loaded: live
/// files at the top and in a folder, a name the export rule cleans, and a
/// deleted file.
struct FatImage {
    TempDir dir;
    RecordingContext recording;
    std::string image = dir.File("fat.img");
    std::unique_ptr<DataSource> source;
    std::unique_ptr<Volume> volume;

    bool Make() {
        const std::string script =
            "set -e; export PATH=\"$PATH:/sbin:/usr/sbin\" MTOOLS_SKIP_CHECK=1; cd '" + dir.Path() +
            "'; truncate -s 8M fat.img; mkfs.fat -F 16 -s 1 -n VIEWS fat.img >/dev/null;"
            " head -c 70000 /dev/urandom > big.bin; printf 'alpha\\n' > a.txt; printf 'gone\\n' > gone.txt; printf 'twelve bytes' > t.txt;"
            " mmd -i fat.img ::/Docs; mcopy -i fat.img big.bin ::/Docs/big.bin; mcopy -i fat.img a.txt ::/a.txt;"
            " mcopy -i fat.img a.txt '::/a b!.txt'; mcopy -i fat.img t.txt ::/twelve.txt;"
            " mcopy -i fat.img gone.txt ::/gone.txt; mdel -i fat.img ::/gone.txt; rm -f big.bin a.txt gone.txt t.txt";
        std::string output;
        if (RunShell(script + " 2>&1", &output) != 0) return false;
        source = std::make_unique<DataSource>(recording.context);
        source->SetKind(SourceKind::Device);
        source->SetPath(image);
        if (!source->Open()) return false;
        volume = OpenVolume({source.get(), 0x06, 0, std::filesystem::file_size(image) / 512}, recording.context).volume;
        return volume && LoadTreeGuarded(*volume, recording.log);
    }
    std::string Cli(const std::string& args) const {
        std::string output;
        RunShell(std::string(DELVORA_CLI_PATH) + " " + args + " 2>/dev/null", &output);
        return output;
    }
};

/// A case workspace with a document area and its views.
struct Views {
    RecordingContext recording;
    CaseWorkspace workspace{recording.context};
    QMdiArea area;
    ViewSet views{area, workspace};
};

QStringList Cells(const QAbstractItemModel& model, int row) {
    QStringList cells;
    for (int column = 0; column < model.columnCount(); ++column) cells << model.index(row, column).data().toString();
    return cells;
}

}  // namespace

class DocumentViewsTest : public QObject {
    Q_OBJECT
private slots:
    void WindowMenuOpensTheTenViewsAndNothingForTheReport() {
        Window window;
        QMenu* menu = nullptr;
        for (QAction* action : window.frame->menuBar()->actions())
            if (action->text() == QStringLiteral("窗口(&W)")) menu = action->menu();
        QVERIFY(menu);
        QMdiArea* area = window.frame->DocumentArea();
        const qsizetype before = area->subWindowList().size();
        const QStringList titles = {"文本视图", "十六进制视图", "列表视图",   "图像视图",   "图像列表视图",
                                    "扇区视图", "网页视图",     "综合视图", "时间线视图", "脚本编程视图"};
        for (int i = 0; i < titles.size(); ++i) {
            auto* action = menu->findChild<QAction*>(QStringLiteral("view%1Action").arg(i + 1));
            QVERIFY(action);
            action->trigger();
            QCOMPARE(area->subWindowList().size(), before + i + 1);
            QCOMPARE(area->subWindowList().back()->widget()->windowTitle(), titles[i]);
        }
        menu->findChild<QAction*>(QStringLiteral("reportViewAction"))->trigger();
        QCOMPARE(area->subWindowList().size(), before + titles.size());
        QVERIFY(window.notifier.Texts().empty());
    }

    void FileListShowsTheCellsOfLsAndSorts() {
        DELVORA_QSKIP_MISSING("mkfs.fat", "mcopy", "mmd", "mdel");
        FatImage fat;
        QVERIFY(fat.Make());
        Views set;
        auto* view = static_cast<FileListView*>(set.views.OpenView(ViewKind::kFileList));
        FileListModel& model = *view->Model();
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        set.views.SetCurrentItem(fat.volume->RootItem(), fat.volume.get());

        // ls prints the same ten cells for every item, keyed here by full path.
        std::map<QString, QStringList> lsRows;
        std::istringstream lines(fat.Cli("ls '" + fat.image + "'"));
        std::string line;
        // The log's lines come first, then the headings and the rows.
        while (std::getline(lines, line) && line.rfind("文件名\t", 0) != 0) {
        }
        QCOMPARE(QString::fromStdString(line).split(QLatin1Char('\t')).size(), 10);
        while (std::getline(lines, line)) {
            const QStringList cells = QString::fromStdString(line).split(QLatin1Char('\t'));
            if (cells.size() == 10) lsRows[cells[9]] = cells;
        }
        QVERIFY(model.rowCount() >= 5);
        bool deletedSeen = false;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QStringList cells = Cells(model, row);
            QVERIFY2(lsRows.count(cells[9]), qPrintable(cells[9]));
            QCOMPARE(cells, lsRows[cells[9]]);
            deletedSeen = deletedSeen || model.ItemAt(row)->IsDeleted();
        }
        QVERIFY(deletedSeen);
        QCOMPARE(model.headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("开始簇号"));

        // Sorting by logical length puts the largest first, as a number not a text.
        view->List()->sortByColumn(4, Qt::DescendingOrder);
        const QStringList sizes = [&] {
            QStringList out;
            for (int row = 0; row < model.rowCount(); ++row) out << model.index(row, 4).data().toString();
            return out;
        }();
        for (int row = 1; row < sizes.size(); ++row) QVERIFY(sizes[row - 1].toULongLong() >= sizes[row].toULongLong());

        // A double click on a folder opens it; a file keeps its folder listed.
        const int docs = model.RowOf(FindItemByPath(*fat.volume->RootItem(), "Docs"));
        QVERIFY(docs >= 0);
        emit view->List()->doubleClicked(model.index(docs, 0));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, 9).data().toString(), QStringLiteral("\\Docs\\big.bin"));
        QCOMPARE(set.views.CurrentItem(), FindItemByPath(*fat.volume->RootItem(), "Docs"));

        // With the skip flag set, one refresh is passed by; the next is shown.
        set.views.SetSkipFlags();
        set.views.SetCurrentItem(fat.volume->RootItem(), fat.volume.get());
        QCOMPARE(model.rowCount(), 1);
        set.views.RefreshAllViews();
        QVERIFY(model.rowCount() >= 5);
        set.views.ClearCurrentItem();
        QCOMPARE(model.rowCount(), 0);
    }

    void ExportWritesWhatTheCommandLineWrites() {
        DELVORA_QSKIP_MISSING("mkfs.fat", "mcopy", "mmd", "mdel");
        FatImage fat;
        QVERIFY(fat.Make());
        Views set;
        auto* view = static_cast<FileListView*>(set.views.OpenView(ViewKind::kFileList));
        set.views.SetCurrentItem(fat.volume->RootItem(), fat.volume.get());
        QMenu* menu = [&] {
            view->List()->setCurrentIndex(view->Model()->index(0, 0));
            return view->MakeContextMenu();
        }();
        QStringList labels;
        for (QAction* action : menu->actions()) labels << action->text();
        QCOMPARE(labels, (QStringList{"导出...", "打开", "修改开始簇号", "属性"}));

        TempDir gui, cli;
        for (const char* path : {"Docs/big.bin", "a b!.txt"}) {
            QVERIFY(view->ExportTo(FindItemByPath(*fat.volume->RootItem(), path), QString::fromStdString(gui.Path())));
            fat.Cli("export '" + fat.image + "' '/" + path + "' --to '" + cli.Path() + "'");
        }
        for (const char* name : {"big.bin", "ab.txt"}) {
            const auto bytes = ReadFileBytes(gui.File(name));
            QVERIFY2(!bytes.empty(), name);
            QVERIFY(bytes == ReadFileBytes(cli.File(name)));
        }
        QCOMPARE(ReadFileBytes(gui.File("big.bin")).size(), size_t(70000));
        // A second export never replaces the first copy.
        QVERIFY(view->ExportTo(FindItemByPath(*fat.volume->RootItem(), "a b!.txt"), QString::fromStdString(gui.Path())));
        QVERIFY(ReadFileBytes(gui.File("ab (2).txt")) == ReadFileBytes(gui.File("ab.txt")));
        // A folder goes with its contents.
        QVERIFY(view->ExportTo(FindItemByPath(*fat.volume->RootItem(), "Docs"), QString::fromStdString(gui.Path() + "/tree")));
        QVERIFY(ReadFileBytes(gui.File("tree/Docs/big.bin")) == ReadFileBytes(cli.File("big.bin")));
        QVERIFY(set.recording.notifier.Texts().empty());
    }
};

DELVORA_GUI_TEST(DocumentViewsTest);

}  // namespace delvora::test

#include "document_views_test.moc"
