// The keyword commands: the keyword dialog's preview and refusals, adding and
// modifying keywords, the search dialog's checks, and a search of the test
// disk whose hits show in the results list, twice into the same folder.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "app/browse_bar.h"
#include "app/keyword_dialog.h"
#include "app/search_commands.h"
#include "app/search_dialog.h"
#include "fs/volume_registry.h"
#include "gui/gui_support.h"
#include "common/text_format.h"
#include "search/keyword.h"
#include "search/search_terms.h"
#include "views/colligation_view.h"
#include "views/paged_data_ctrl.h"
#include "views/search_results_model.h"
#include "views/search_results_view.h"
#include "views/view_set.h"

namespace delvora::test {

class SearchTest : public QObject {
    Q_OBJECT
private slots:
    void KeywordDialogPreviewsAndRefuses() {
        Window window;
        KeywordDialog dialog(window.workstation->Notify(), "GBK");
        dialog.show();
        QCOMPARE(dialog.Name(), QStringLiteral("关键字"));
        dialog.TextEdit()->setText(QStringLiteral("AB"));
        QCOMPARE(dialog.Preview()->toPlainText(), QStringLiteral("[41][42]"));
        dialog.TypeButton(kKeywordUnicode)->click();
        QCOMPARE(dialog.Preview()->toPlainText(), QStringLiteral("[4100][4200]"));
        dialog.TypeButton(kKeywordHex)->click();
        dialog.TextEdit()->setText(QStringLiteral("A\\x0"));
        QCOMPARE(dialog.Preview()->toPlainText(), QString());

        const struct {
            QString name, text;
            QString message;
        } refusals[] = {{QString(), QStringLiteral("A"), QStringLiteral("关键字名称不能为空!")},
                        {QStringLiteral("k"), QString(), QStringLiteral("关键字不能为空!")},
                        {QStringLiteral("k"), QStringLiteral("A\\xZ1"), QStringLiteral("关键字格式不对!")}};
        for (const auto& r : refusals) {
            dialog.NameEdit()->setText(r.name);
            dialog.TextEdit()->setText(r.text);
            dialog.accept();
            QVERIFY(dialog.isVisible());
            QCOMPARE(window.Messages().last(), r.message);
        }
    }

    void RegexKindAndSearchOptions() {
        Window window;
        KeywordDialog dialog(window.workstation->Notify(), "GBK");
        dialog.show();
        dialog.TypeButton(kKeywordRegex)->click();
        dialog.TextEdit()->setText(QStringLiteral("ab(c"));
        QVERIFY(dialog.Preview()->toPlainText().contains(QStringLiteral("在第 2 字节处不能使用")));
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QVERIFY(window.Messages().last().contains(QStringLiteral("Missing close parenthesis")));
        dialog.TextEdit()->setText(QStringLiteral("[a-z]+@例\\.com"));
        dialog.IgnoreCaseBox()->setChecked(true);
        dialog.EncodingBox(kEncodingGbk)->setChecked(true);
        dialog.EncodingBox(kEncodingUtf16Le)->setChecked(true);
        QCOMPARE(dialog.Preview()->toPlainText(), QStringLiteral("正则表达式可以使用"));
        const uint32_t number = KeywordItemNumber(kKeywordRegex, true, kEncodingGbk | kEncodingUtf16Le);
        QCOMPARE(dialog.Number(), number);
        // A modified keyword comes back with its options.
        KeywordDialog again(window.workstation->Notify(), "GBK");
        again.SetKeyword(QStringLiteral("k"), QStringLiteral("x+"), number);
        QVERIFY(again.TypeButton(kKeywordRegex)->isChecked());
        QVERIFY(again.IgnoreCaseBox()->isChecked());
        QVERIFY(again.EncodingBox(kEncodingUtf16Le)->isChecked());
        QVERIFY(!again.EncodingBox(kEncodingUtf8)->isChecked());
        QCOMPARE(again.Number(), number);
    }

    void KeywordsAreAddedAndModifiedOnTheSelectedNode() {
        Window window;
        SearchCommands* commands = window.frame->Search();
        QTreeWidget* tree = window.frame->Browse()->Tree();
        commands->runKeywordDialog = [](KeywordDialog& dialog) {
            dialog.SetKeyword(QStringLiteral("压缩包"), QStringLiteral("PK\\x03\\x04"), kKeywordHex);
            return int(QDialog::Accepted);
        };
        // Only a keyword node takes the command.
        tree->setCurrentItem(tree->topLevelItem(2));
        commands->AddKeyword();
        QCOMPARE(window.Workspace().Keywords().children.size(), size_t(1));
        tree->setCurrentItem(tree->topLevelItem(1));
        commands->AddKeyword();
        QCOMPARE(window.Workspace().Keywords().children.size(), size_t(2));
        const CaseItem& added = *window.Workspace().Keywords().children[1];
        QCOMPARE(added.text, std::string("PK\\x03\\x04"));
        QCOMPARE(added.number, uint32_t(kKeywordHex));
        QCOMPARE(tree->topLevelItem(1)->child(1)->text(0), QStringLiteral("压缩包"));

        tree->setCurrentItem(tree->topLevelItem(1)->child(0));
        commands->runKeywordDialog = [](KeywordDialog& dialog) {
            if (dialog.Text() != QStringLiteral("MAIN")) return int(QDialog::Rejected);
            dialog.SetKeyword(QStringLiteral("主"), QStringLiteral("中"), kKeywordUnicode);
            return int(QDialog::Accepted);
        };
        commands->ModifyKeyword();
        const CaseItem& first = *window.Workspace().Keywords().children[0];
        QCOMPARE(first.name, std::string("主"));
        QCOMPARE(first.number, uint32_t(kKeywordUnicode));
        QCOMPARE(tree->currentItem()->text(0), QStringLiteral("主"));
    }

    void SearchFillsTheResultsListAndReusesItsFolder() {
        DELVORA_QSKIP_MISSING("sfdisk", "mkfs.fat", "mmd", "mcopy");
        if (!MakeVolume(VolumeClass::Fat)) QSKIP("FAT volumes are not built in");
        QTemporaryDir dir;
        const QString strMap = MakeTestDisk(dir.path());
        QVERIFY(!strMap.isEmpty());
        Window window;
        QVERIFY(AddFat32(window, strMap));
        QTRY_VERIFY_WITH_TIMEOUT(TreeShowsVolumes(window, 1), 20000);

        // The dialog's checks, in order.
        SearchDialog dialog(window.Workspace(), window.workstation->Notify());
        dialog.accept();
        dialog.Keywords()->setCurrentItem(dialog.Keywords()->topLevelItem(0));
        dialog.accept();
        QTreeWidgetItem* row = dialog.Devices()->topLevelItem(0);
        dialog.Devices()->setCurrentItem(row);
        row->setText(SearchDialog::kStartSector, QStringLiteral("100"));
        dialog.accept();
        QCOMPARE(window.Messages(), (QStringList{QStringLiteral("请选择关键字!"), QStringLiteral("请选择设备!"),
                                                 QStringLiteral("搜索范围设置错误!")}));
        row->setText(SearchDialog::kStartSector, QStringLiteral("2048"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        // "bravo" lies in Docs/b.txt.
        CaseItem& keyword = *window.Workspace().Keywords().children[0];
        keyword.text = "bravo";
        SearchCommands* commands = window.frame->Search();
        for (int round = 0; round < 2; ++round) {
            commands->StartSearch(dialog.Request());
            QTRY_VERIFY_WITH_TIMEOUT(!window.Workspace().IsBusy() && !window.Workspace().WorkerRunning(), 20000);
            QCOMPARE(window.Workspace().Searches().children.size(), size_t(1));
            const CaseItem* folder = window.Workspace().Searches().children[0].get();
            QCOMPARE(folder->name, std::string("关键字1  的查找结果"));
            QVERIFY(commands->ShowResults(folder));
            SearchResultsModel* model = commands->ResultsView()->Model();
            QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
            QCOMPARE(model->rowCount(), 1);
            QCOMPARE(model->index(0, SearchResultsModel::kFile).data().toString(), QStringLiteral("b.txt"));
            QVERIFY(model->index(0, SearchResultsModel::kHitText).data().toString().contains(QStringLiteral("bravo")));
        }
        QCOMPARE(window.Messages().size(), 3);

        // The combined view shows a chosen hit's file with the hit's bytes selected.
        ViewSet* views = window.frame->Views();
        auto* combined = static_cast<ColligationView*>(views->OpenView(ViewKind::kColligation));
        views->SetResultFolder(window.Workspace().Searches().children[0].get());
        combined->Results()->setCurrentIndex(combined->Results()->Model()->index(0, 0));
        QCOMPARE(combined->Text()->SelectionText(), QStringLiteral("bravo"));
        QCOMPARE(combined->Hex()->SelectionHex(), QString::fromLatin1(HexCopyText(std::vector<uint8_t>{'b', 'r', 'a', 'v', 'o'})));
        QVERIFY(combined->Text()->VisibleRows().contains(QStringLiteral("bravo")));
        // A refresh empties the panes; the same hit chosen again shows again.
        views->RefreshAllViews();
        QCOMPARE(combined->Hex()->Size(), uint64_t(0));
        combined->Results()->setCurrentIndex(combined->Results()->Model()->index(0, 0));
        QCOMPARE(combined->Text()->SelectionText(), QStringLiteral("bravo"));

        // The shown results go out as CSV; a keyword list comes in under "关键字".
        commands->chooseExportFile = [&dir] { return dir.filePath(QStringLiteral("hits.csv")); };
        commands->ExportResultsAction()->trigger();
        QFile csv(dir.filePath(QStringLiteral("hits.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0], QStringLiteral("keyword,encoding,sector,offset,byteOffset,filePath,fileOffset,context"));
        QVERIFY2(rows[1].startsWith(QStringLiteral("\"bravo\",\"gbk\",")), qPrintable(rows[1]));
        QVERIFY2(rows[1].contains(QStringLiteral(",\"\\Docs\\b.txt\",0,\"")), qPrintable(rows[1]));
        QFile list(dir.filePath(QStringLiteral("list.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("# terms\nalpha\nregex:br[a-z]vo\nunicode:\xe5\xbc\xa0\n");
        list.close();
        commands->chooseKeywordFile = [&dir] { return dir.filePath(QStringLiteral("list.txt")); };
        QTreeWidget* tree = window.frame->Browse()->Tree();
        // The volume's node comes first now: the group is found by its label.
        QTreeWidgetItem* group = tree->findItems(QStringLiteral("关键字"), Qt::MatchExactly).value(0);
        QVERIFY(group);
        tree->setCurrentItem(group);
        commands->ImportKeywordsAction()->trigger();
        const auto& added = window.Workspace().Keywords().children;
        QCOMPARE(added.size(), size_t(4));
        QCOMPARE(added[2]->name, std::string("br[a-z]vo"));
        QCOMPARE(added[2]->number, uint32_t(kKeywordRegex));
        QCOMPARE(added[3]->text, std::string("张"));
        group = tree->findItems(QStringLiteral("关键字"), Qt::MatchExactly).value(0);
        QVERIFY(group);
        QCOMPARE(group->childCount(), 4);
    }

    void SearchWhileBusyIsRefused() {
        Window window;
        window.Workspace().SetBusy(1);
        window.frame->Search()->Search();
        QCOMPARE(window.Messages(), QStringList{QStringLiteral("线程忙!")});
        window.Workspace().SetBusy(0);
    }
};

DELVORA_GUI_TEST(SearchTest);

}  // namespace delvora::test

#include "search_test.moc"
