// The script view: colouring as typed, a run that fills the result list from
// the MBR of a tool-made disk, and a run that never returns being stopped.
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTreeWidget>

#include <algorithm>

#include "gui/gui_support.h"
#include "script/default_script.h"
#include "views/script_highlighter.h"
#include "views/script_view.h"
#include "views/view_set.h"

namespace delvora::test {
namespace {

// Coloured runs as text: "R0:3" is a reserved word at 0, 3 long; B built-in,
// C comment, N number, S string.
QString Runs(const QString& line) {
    QStringList out;
    for (const auto& run : ScriptHighlighter::Tokenize(line)) {
        static const char kLetters[] = "PRBCNS";
        out << QStringLiteral("%1%2:%3").arg(QLatin1Char(kLetters[static_cast<int>(run.token)])).arg(run.start).arg(run.length);
    }
    return out.join(u' ');
}

}  // namespace

class ScriptViewTest : public QObject {
    Q_OBJECT
private slots:
    void Colouring_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("runs");
        QTest::newRow("reserved") << "var x" << "R0:3";
        QTest::newRow("case matters") << "Var x" << "";
        QTest::newRow("listed built-in") << "d.getMillisecond()" << "B2:14";
        QTest::newRow("unlisted built-in") << "d.getMilliseconds()" << "";
        QTest::newRow("odd entries stand") << "complile repalce replace" << "B0:8 B9:7";
        QTest::newRow("float") << "x = 1.5e3;" << "N4:5";
        QTest::newRow("hex") << "0x1F" << "N0:1 N1:1 N2:1";
        QTest::newRow("open string") << "s = \"open" << "S4:5";
        QTest::newRow("strings") << "\"a\" + \"b\"" << "S0:3 S6:3";
        QTest::newRow("comment hides words") << "a; // var" << "C3:6";
        QTest::newRow("words hold digits") << "x1 if2 if" << "R7:2";
    }

    void Colouring() {
        QFETCH(QString, line);
        QFETCH(QString, runs);
        QCOMPARE(Runs(line), runs);
    }

    void EditorIsColouredAndLongTextsAreToldOnce() {
        QTextDocument document;
        int nTold = 0;
        ScriptHighlighter highlighter(&document, [&nTold](const QString& text) {
            QCOMPARE(text, QStringLiteral("过长的代码,只判别 < 524288"));
            ++nTold;
        });
        document.setPlainText(QStringLiteral("var s = \"x\";"));
        highlighter.rehighlight();
        const QList<QTextLayout::FormatRange> formats = document.firstBlock().layout()->formats();
        QVERIFY(!formats.isEmpty());
        QCOMPARE(formats[0].format.foreground().color(), QColor(0, 0, 255));

        document.setPlainText(QString(ScriptHighlighter::kMaxColouredChars, u'a') + QStringLiteral("\nvar"));
        highlighter.rehighlight();
        QVERIFY(document.lastBlock().layout()->formats().isEmpty());
        document.setPlainText(QString(ScriptHighlighter::kMaxColouredChars + 1, u'b'));
        highlighter.rehighlight();
        QCOMPARE(nTold, 1);
    }

    void WindowMenuOpensTheViewWithTheDefaultScript() {
        Window window;
        QAction* pAction = nullptr;
        for (QAction* a : window.frame->findChildren<QAction*>())
            if (a->text() == ViewSet::MenuText(ViewKind::kScript)) pAction = a;
        QVERIFY(pAction);
        pAction->trigger();
        auto* pView = window.frame->findChild<ScriptView*>();
        QVERIFY(pView);
        // A document view like the others: titled, and known to the view set.
        QCOMPARE(pView->parentWidget()->windowTitle(), QStringLiteral("脚本编程视图"));
        QCOMPARE(std::ranges::count(window.frame->Views()->Views(), pView), 1);
        QCOMPARE(pView->Editor()->toPlainText(), QString::fromUtf8(DefaultScriptText()));
        QCOMPARE(pView->RunButton()->text(), QStringLiteral(" 执行"));
        QCOMPARE(pView->StatusLine()->text(), QStringLiteral("正常..."));
    }

    void ScriptReadsTheMbrIntoTheList() {
        DELVORA_QSKIP_MISSING("sfdisk", "mkfs.fat", "mmd", "mcopy");
        QTemporaryDir dir;
        const QString strMap = MakeTestDisk(dir.path());
        QVERIFY(!strMap.isEmpty());
        Window window;
        QString strError;
        QVERIFY(window.workstation->LoadDeviceMap(strMap, strError));
        ScriptView* pView = window.frame->OpenScriptView();
        pView->Editor()->setPlainText(QStringLiteral(
            "function main() {\n"
            "  Delvora.OpenDisk('PHYSICALDRIVE0'); Delvora.DeleteColumn(0);\n"
            "  Delvora.InsertColumn(0, '类型'); Delvora.InsertColumn(1, '开始扇区');\n"
            "  for (var i = 0; i < 4; i++) {\n"
            "    var at = 446 + 16 * i, start = 0;\n"
            "    for (var k = 3; k >= 0; k--) start = start * 256 + Delvora.readsector(0, at + 8 + k);\n"
            "    Delvora.InsertItem(i, String(Delvora.ReadSector(0, at + 4)));\n"
            "    Delvora.SetItemText(i, 1, String(start));\n"
            "  }\n"
            "  Delvora.SetSize();\n"
            "}\n"));
        QSignalSpy finished(pView, &ScriptView::RunFinished);
        pView->Run();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().first().toBool(), true);
        QCOMPARE(pView->StatusLine()->text(), QStringLiteral("正常..."));
        QTreeWidget* pList = pView->List();
        QCOMPARE(pList->headerItem()->text(1), QStringLiteral("开始扇区"));
        QCOMPARE(pList->topLevelItemCount(), 4);
        // The FAT32 partition of the test disk, as sfdisk laid it out.
        QCOMPARE(pList->topLevelItem(0)->text(0), QStringLiteral("12"));
        QCOMPARE(pList->topLevelItem(0)->text(1), QStringLiteral("2048"));
        QCOMPARE(pList->topLevelItem(3)->text(0), QStringLiteral("0"));
        QVERIFY(window.notifier.Messages().empty());
    }

    void RunawayScriptIsStopped() {
        Window window;
        ScriptView* pView = window.frame->OpenScriptView();
        pView->Editor()->setPlainText(QStringLiteral("function main() { while (true) {} }"));
        QSignalSpy finished(pView, &ScriptView::RunFinished);
        pView->Run();
        QVERIFY(pView->IsRunning());
        // The window stays live while the script runs.
        QTest::qWait(100);
        pView->Stop();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(pView->StatusLine()->text().startsWith(QStringLiteral("调用脚本入口函数 main 错误!")));
        QCOMPARE(window.Messages().last(), QStringLiteral("调用 main 函数错,错误:-2147467260"));
    }

    void ClosingStopsARun() {
        Window window;
        ScriptView* pView = window.frame->OpenScriptView();
        const DelvoraView* pOpened = pView;
        pView->Editor()->setPlainText(QStringLiteral("function main() { for (;;) {} }"));
        pView->Run();
        // Closing waits for the run, which the close stops.
        window.frame->DocumentArea()->closeAllSubWindows();
        QTRY_VERIFY(window.frame->findChild<ScriptView*>() == nullptr);
        QCOMPARE(std::ranges::count(window.frame->Views()->Views(), pOpened), 0);

        // The main window going away mid-run stops the run and waits for it.
        Window other;
        ScriptView* pRunning = other.frame->OpenScriptView();
        pRunning->Editor()->setPlainText(QStringLiteral("function main() { for (;;) {} }"));
        pRunning->Run();
        other.frame.reset();
    }
};

DELVORA_GUI_TEST(ScriptViewTest);

}  // namespace delvora::test

#include "script_view_test.moc"
