// Start-up and the main frame: command line, settings, desktop
// registration, scratch folder, and the frame's bars, menus and commands.
#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QCheckBox>

#include "app/add_data_wizard.h"
#include "app/app_paths.h"
#include "app/case_file_dialog.h"
#include "app/command_line.h"
#include "app/desktop_registration.h"
#include "app/output_bar.h"
#include "app/progress_pane.h"
#include "app/recent_files.h"
#include "app/status_panes.h"
#include "gui/gui_support.h"

namespace delvora::test {
namespace {

QStringList MenuTexts(QWidget* frame) {
    QStringList texts;
    for (QAction* menuAction : static_cast<QMainWindow*>(frame)->menuBar()->actions())
        if (QMenu* menu = menuAction->menu())
            for (QAction* action : menu->actions()) texts << action->text();
    return texts;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void CommandLineSwitches() {
        CommandLine line = ParseCommandLine({QStringLiteral("-Automation")});
        QVERIFY(line.automation && line.RunsWithoutWindow());
        line = ParseCommandLine({QStringLiteral("/Embedding")});
        QVERIFY(line.embedding && line.RunsWithoutWindow());
        line = ParseCommandLine({QStringLiteral("--register")});
        QVERIFY(line.registerOnly && !line.unregister && !line.RunsWithoutWindow());
        line = ParseCommandLine({QStringLiteral("/UnregServer")});
        QVERIFY(line.unregister);
        line = ParseCommandLine({QStringLiteral("--devices"), QStringLiteral("map.txt"), QStringLiteral("--no-splash"),
                                 QStringLiteral("/home/x/case.wsh"), QStringLiteral("--no-wizard")});
        QVERIFY(line.error.isEmpty());
        QCOMPARE(line.devicesFile, QStringLiteral("map.txt"));
        QVERIFY(line.noSplash && line.noWizard);
        // A path that starts with '/' is a file, not a switch.
        QCOMPARE(line.files, QStringList{QStringLiteral("/home/x/case.wsh")});
    }

    void CommandLineErrors() {
        QVERIFY(!ParseCommandLine({QStringLiteral("--devices")}).error.isEmpty());
        QVERIFY(!ParseCommandLine({QStringLiteral("--bogus")}).error.isEmpty());
        QVERIFY(ParseCommandLine({}).error.isEmpty());
    }

    void RecentFilesKeepFourNewestFirst() {
        QTemporaryDir dir;
        const QString strIni = dir.filePath(QStringLiteral("settings.ini"));
        auto path = [&](int n) { return dir.filePath(QStringLiteral("case%1.wsh").arg(n)); };
        {
            QSettings settings(strIni, QSettings::IniFormat);
            RecentFiles recent(settings);
            for (int i = 1; i <= 5; ++i) recent.Add(path(i));
            QCOMPARE(recent.Files(), (QStringList{path(5), path(4), path(3), path(2)}));
            // Opening a listed file again moves it to the front, once.
            recent.Add(dir.path() + QStringLiteral("/./case3.wsh"));
            QCOMPARE(recent.Files(), (QStringList{path(3), path(5), path(4), path(2)}));
        }
        QSettings settings(strIni, QSettings::IniFormat);
        RecentFiles reread(settings);
        QCOMPARE(reread.Files(), (QStringList{path(3), path(5), path(4), path(2)}));
        reread.Remove(path(5));
        QCOMPARE(reread.Files(), (QStringList{path(3), path(4), path(2)}));
        QVERIFY(!settings.contains(QStringLiteral("Recent File List/File4")));
    }

    void RegisterAndUnregisterTheDesktopEntry() {
        QTemporaryDir dir;
        const QString strProgram = QStringLiteral("/opt/my tools/delvora");
        QVERIFY(RegisterDesktopEntry(strProgram, dir.path()));
        QFile entry(DesktopEntryPath(dir.path()));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString strEntry = QString::fromUtf8(entry.readAll());
        QVERIFY(strEntry.contains(QStringLiteral("Exec=\"/opt/my tools/delvora\" %f")));
        QVERIFY(strEntry.contains(QStringLiteral("MimeType=application/x-delvora-case;")));
        // The desktop's own checker finds nothing to say (hints and warnings included).
        const QString strValidate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (!strValidate.isEmpty()) {
            QProcess validate;
            validate.start(strValidate, {DesktopEntryPath(dir.path())});
            QVERIFY(validate.waitForFinished());
            const QByteArray said = validate.readAllStandardOutput() + validate.readAllStandardError();
            QVERIFY2(validate.exitCode() == 0 && said.isEmpty(), said.constData());
        }
        QFile mime(MimePackagePath(dir.path()));
        QVERIFY(mime.open(QIODevice::ReadOnly));
        QVERIFY(mime.readAll().contains("<glob pattern=\"*.wsh\"/>"));
        QVERIFY(UnregisterDesktopEntry(dir.path()));
        QVERIFY(!QFile::exists(DesktopEntryPath(dir.path())));
        QVERIFY(!QFile::exists(MimePackagePath(dir.path())));
        // Unregistering twice is no error.
        QVERIFY(UnregisterDesktopEntry(dir.path()));
    }

    void ScratchFolderComesAndGoes() {
        QTemporaryDir dir;
        const QString strScratch = dir.filePath(QStringLiteral("a/b/MyTemp/"));
        QVERIFY(MakeScratchFolder(strScratch));
        QDir().mkpath(strScratch + QStringLiteral("sub/deeper"));
        QFile file(strScratch + QStringLiteral("sub/copy.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        RemoveScratchFolder(strScratch);
        QVERIFY(!QDir(strScratch).exists());
        QVERIFY(ScratchFolder().endsWith(QStringLiteral("/delvora/MyTemp/")));
        QVERIFY(ManualPath(dir.path() + QLatin1Char('/')).isEmpty());
    }

    void FrameStartsWithItsBarsAndTheStartLine() {
        Window window;
        MainFrame& frame = *window.frame;
        QVERIFY(frame.windowTitle().startsWith(QStringLiteral("Korvanta")));
        QCOMPARE(frame.BrowseDock()->windowTitle(), QStringLiteral("文件栏"));
        QCOMPARE(frame.OutputDock()->windowTitle(), QStringLiteral("输出栏"));
        static const QRegularExpression kStart(
            QStringLiteral("^    1\\.  系统于 \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d 启动$"));
        QVERIFY2(kStart.match(frame.Output()->Text()).hasMatch(), qPrintable(frame.Output()->Text()));
        QCOMPARE(frame.Panes()->PaneText(StatusPanes::kProgress), QStringLiteral("进度"));
        const QStringList texts = MenuTexts(&frame);
        for (const char* text : {"工具栏(&T)", "状态栏(&S)", "浏览栏(&B)", "输出栏", "清除输出窗口数据",
                                 "打开(&O)...", "另存为(&A)...", "数据 ( 加入文件系统)", "帮助"})
            QVERIFY2(texts.contains(QString::fromUtf8(text)), text);
        QVERIFY(window.notifier.Texts().empty());
    }

    void WizardOpensByItselfOnceTheLoopRuns() {
        QString strTitle;
        bool bClosed = false;
        // The wizard is modal: look at it from inside its own loop, then cancel.
        QTimer::singleShot(50, this, [&] {
            if (auto* wizard = qobject_cast<AddDataWizard*>(QApplication::activeModalWidget())) {
                strTitle = wizard->windowTitle();
                wizard->reject();
                bClosed = true;
            }
        });
        Window window(true);
        QTRY_VERIFY(bClosed);
        QCOMPARE(strTitle, QStringLiteral("数据来源"));
        // Cancelling adds nothing and says nothing.
        QCOMPARE(window.Workspace().ItemCount(), size_t(0));
        QVERIFY(window.notifier.Texts().empty());
    }

    void CaseFileDialogOffersTheSaveItemsBoxChecked() {
        for (auto mode : {CaseFileDialog::Mode::Open, CaseFileDialog::Mode::Save}) {
            CaseFileDialog dialog(mode);
            QVERIFY(dialog.HasSaveItemsBox());
            QCOMPARE(dialog.SaveItemsBox()->text(), QStringLiteral("保存各个文件项 (若数据源不变 建议选中此项)"));
            QVERIFY(dialog.SaveItems());
            dialog.SaveItemsBox()->setChecked(false);
            QVERIFY(!dialog.SaveItems());
            QVERIFY(dialog.defaultSuffix().isEmpty());
            QCOMPARE(dialog.acceptMode(), mode == CaseFileDialog::Mode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            QVERIFY(!dialog.testOption(QFileDialog::DontConfirmOverwrite));
        }
    }

    void ViewMenuTogglesTheBars() {
        Window window;
        MainFrame& frame = *window.frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        for (QAction* menuAction : frame.menuBar()->actions()) {
            if (!menuAction->menu()) continue;
            for (QAction* action : menuAction->menu()->actions()) {
                if (action->text() == QStringLiteral("浏览栏(&B)")) action->trigger();
                if (action->text() == QStringLiteral("状态栏(&S)")) action->trigger();
            }
        }
        QVERIFY(!frame.BrowseDock()->isVisible());
        QVERIFY(!frame.Panes()->isVisible());
        QVERIFY(frame.OutputDock()->isVisible());
    }

    void ClearCommandRestartsNumbering() {
        Window window;
        window.workstation->LogSink().AppendLog("second");
        window.frame->ClearLog();
        window.workstation->LogSink().AppendLog("after clear");
        QCOMPARE(window.frame->Output()->Text(), QStringLiteral("    1.  after clear"));
    }

    void HelpWithoutManualSaysSo() {
        // The test program's folder holds no manual, nor does an empty folder.
        QVERIFY(ManualPath().isEmpty());
        QTemporaryDir empty;
        Window window;
        window.frame->SetManualFolders({empty.path()});
        window.frame->Help();
        QVERIFY(!window.frame->Manual());
        QCOMPARE(window.Messages(), QStringList{QStringLiteral("没有用户手册!")});
        QCOMPARE(window.notifier.Messages().front().caption, std::string("提示"));
    }

    void ClosingWhileBusyAsksTheWorkerToStop() {
        Window window;
        window.Workspace().SetBusy(1);
        window.Workspace().SetStoppable(0);
        QVERIFY(window.frame->close());
        QCOMPARE(window.frame->Panes()->PaneText(StatusPanes::kMessage), QStringLiteral("等待线程退出..."));
        QCOMPARE(window.Workspace().IsBusy(), 0);
        QCOMPARE(window.Workspace().IsStoppable(), 1);
    }

    void DoubleClickOnProgressShowsTheStopMessageOfUnstoppableWork() {
        Window window;
        window.Workspace().SetBusy(1);
        window.Workspace().SetStoppable(0);
        window.Workspace().SetStopMessage("加载文件系统过程中暂时不能终止!");
        QTest::mouseDClick(window.frame->Panes()->Progress(), Qt::LeftButton);
        QCOMPARE(window.Messages(), QStringList{QStringLiteral("加载文件系统过程中暂时不能终止!")});
        QCOMPARE(window.Workspace().IsBusy(), 1);

        window.Workspace().SetStoppable(1);
        window.notifier.confirmAnswer = true;
        QTest::mouseDClick(window.frame->Panes()->Progress(), Qt::LeftButton);
        QCOMPARE(window.notifier.Questions(), std::vector<std::string>{"您是否要停止当前操作?"});
        QCOMPARE(window.Workspace().IsBusy(), 0);

        // Idle: nothing to stop, nothing asked.
        QTest::mouseDClick(window.frame->Panes()->Progress(), Qt::LeftButton);
        QCOMPARE(window.notifier.Questions().size(), size_t(1));
    }
};

DELVORA_GUI_TEST(StartupTest);

}  // namespace delvora::test

#include "startup_test.moc"
