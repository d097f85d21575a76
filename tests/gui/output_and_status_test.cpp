// The output bar's numbering and thread safety, the status bar's panes and
// the progress pane, and the sinks that carry worker reports to them.
#include <QSignalSpy>
#include <QTest>

#include <thread>

#include "app/output_bar.h"
#include "app/progress_pane.h"
#include "app/qt_sinks.h"
#include "app/status_panes.h"
#include "common/text_format.h"
#include "gui/gui_support.h"

namespace delvora::test {

class OutputAndStatusTest : public QObject {
    Q_OBJECT
private slots:
    void FirstLineHasNoBreakAndABlankedNumber() {
        OutputBar bar;
        bar.AppendLog(QStringLiteral("first"));
        QCOMPARE(bar.Text(), QStringLiteral("    1.  first"));
        bar.AppendLog(QStringLiteral("second"));
        QCOMPARE(bar.Text(), QStringLiteral("    1.  first\r\n    2.  second"));
    }

    void NumbersGrowPastFiveDigits() {
        OutputBar bar;
        for (int i = 0; i < 12; ++i) bar.AppendLog(QStringLiteral("x"));
        QVERIFY(bar.Text().endsWith(QStringLiteral("\r\n   12.  x")));
        // The counter is not cut at five places.
        QCOMPARE(QString::fromStdString(LogLinePrefix(100000)), QStringLiteral("100000.  "));
        QCOMPARE(QString::fromStdString(LogLinePrefix(99999)), QStringLiteral("99999.  "));
    }

    void ClearingRestartsAtOne() {
        OutputBar bar;
        bar.AppendLog(QStringLiteral("a"));
        bar.AppendLog(QStringLiteral("b"));
        bar.ClearLog();
        QCOMPARE(bar.Text(), QString());
        QCOMPARE(bar.LineCount(), uint64_t(0));
        bar.AppendLog(QStringLiteral("c"));
        QCOMPARE(bar.Text(), QStringLiteral("    1.  c"));
    }

    void LinesFromWorkersKeepTheirOrder() {
        OutputBar bar;
        OutputBarLog log;
        log.Attach(&bar);
        std::thread worker([&log] {
            for (int i = 1; i <= 200; ++i) log.AppendLog("line " + std::to_string(i));
        });
        worker.join();
        // Worker lines arrive through the event loop.
        QTRY_COMPARE(bar.LineCount(), uint64_t(200));
        const QStringList lines = bar.Text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 200);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(lines[i], QString::fromStdString(LogLinePrefix(i + 1)) + QStringLiteral("line %1").arg(i + 1));
        log.Detach();
        log.AppendLog("dropped");
        QCoreApplication::processEvents();
        QCOMPARE(bar.LineCount(), uint64_t(200));
    }

    void AWorkersLastLineStaysBeforeTheNextLineOfTheUiThread() {
        // A finished worker's closing line must not land after the line the
        // UI thread writes next (a case file opening its next item).
        OutputBar bar;
        OutputBarLog log;
        log.Attach(&bar);
        std::thread worker([&log] {
            log.AppendLog("worker done");
            log.ClearLog();
            log.AppendLog("after clear");
        });
        worker.join();
        log.AppendLog("next item");
        QCOMPARE(bar.Text(), QStringLiteral("    1.  after clear\r\n    2.  next item"));
        QCoreApplication::processEvents();
        QCOMPARE(bar.LineCount(), uint64_t(2));
        log.Detach();
    }

    void WorkerMessagesDoNotWaitForABlockedUiThread() {
        QtNotifier notifier;
        RecordingLog fallback;
        notifier.SetFallbackLog(&fallback);
        bool bAnswer = true;
        {
            // The UI thread waits for the worker (join): a box could never
            // open, so the text goes to the log and a question answers Cancel.
            UiWaitGuard waiting(&notifier);
            std::thread worker([&] {
                notifier.Message("读扇区错误!", "提示", MessageIcon::Error);
                bAnswer = notifier.Confirm("您是否要停止当前操作?", "提示");
            });
            worker.join();
        }
        QCOMPARE(fallback.Lines(), (std::vector<std::string>{"提示: 读扇区错误!", "提示: 您是否要停止当前操作?"}));
        QVERIFY(!bAnswer);
    }

    void StatusBarHasFivePanesInOrder() {
        StatusPanes panes;
        panes.resize(1200, 30);
        panes.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panes));
        QCOMPARE(panes.PaneText(StatusPanes::kProgress), QStringLiteral("进度"));
        QVERIFY(panes.PaneText(StatusPanes::kFound).startsWith(QStringLiteral("查找结果")));
        QVERIFY(panes.PaneText(StatusPanes::kNumber).startsWith(QStringLiteral("数字")));
        QVERIFY(panes.PaneText(StatusPanes::kCounts).startsWith(QStringLiteral("文件夹0,文件0")));
        // Left to right: message, progress, found, number, counts.
        int nLastX = -1;
        for (int i = 0; i < StatusPanes::kPaneCount; ++i) {
            QWidget* pane = panes.PaneWidget(i);
            QVERIFY(pane != nullptr);
            QVERIFY2(pane->geometry().x() > nLastX, qPrintable(QStringLiteral("pane %1 out of order").arg(i)));
            nLastX = pane->geometry().x();
        }
        QVERIFY(panes.PaneWidget(StatusPanes::kPaneCount) == nullptr);
        // The counts cell is sized for its widest text.
        QVERIFY(panes.PaneWidget(StatusPanes::kCounts)->width() >= panes.PaneWidget(StatusPanes::kNumber)->width());
        panes.SetPaneText(StatusPanes::kFound, QStringLiteral("找到 3 个"));
        QCOMPARE(panes.PaneText(StatusPanes::kFound), QStringLiteral("找到 3 个"));
        panes.SetPaneText(9, QStringLiteral("ignored"));
    }

    void ProgressPaneAnimatesAndKeepsItsBar() {
        ProgressPane pane;
        pane.show();
        QVERIFY(!pane.IsAnimating());
        pane.StartProgress();
        QVERIFY(pane.IsAnimating());
        QTRY_VERIFY(pane.AnimationFrame() > 0);
        pane.StopProgress();
        QVERIFY(!pane.IsAnimating());
        QCOMPARE(pane.AnimationFrame(), 0);

        pane.SetProgressRange(10, 50);
        pane.SetProgressPos(30);
        QCOMPARE(pane.Pos(), 30u);
        // A new range puts the position back to its low end.
        pane.SetProgressRange(0, 100);
        QCOMPARE(pane.Pos(), 0u);
        // Positions outside the range and an empty range paint without trouble.
        pane.SetProgressPos(500);
        pane.SetProgressRange(7, 7);
        pane.repaint();

        QSignalSpy stops(&pane, &ProgressPane::StopRequested);
        QTest::mouseDClick(&pane, Qt::LeftButton);
        QCOMPARE(stops.count(), 1);
    }

    void ProgressSinkReachesThePaneFromAWorker() {
        StatusPanes panes;
        PaneProgress progress;
        QVERIFY(!progress.Exists());
        progress.Attach(&panes);
        QVERIFY(progress.Exists());
        std::thread worker([&progress] {
            progress.SetProgressText("正在加载文件系统...");
            progress.StartProgress();
            progress.SetProgressRange(0, 40);
            progress.SetProgressPos(20);
            progress.SetPaneText("找到 2 个");
        });
        worker.join();
        QTRY_COMPARE(panes.Progress()->Pos(), 20u);
        QCOMPARE(panes.Progress()->Text(), QStringLiteral("正在加载文件系统..."));
        QVERIFY(panes.Progress()->IsAnimating());
        QCOMPARE(panes.Progress()->RangeHigh(), 40u);
        QCOMPARE(panes.PaneText(StatusPanes::kFound), QStringLiteral("找到 2 个"));

        progress.Detach();
        QVERIFY(!progress.Exists());
        progress.StopProgress();
        QVERIFY(panes.Progress()->IsAnimating());
    }
};

DELVORA_GUI_TEST(OutputAndStatusTest);

}  // namespace delvora::test

#include "output_and_status_test.moc"
