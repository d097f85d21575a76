// The workstation program as a whole: switches that end it without a window,
// desktop registration through the command line, and what the frame does
// with dropped files and its tray icon.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/desktop_registration.h"
#include "gui/gui_support.h"

namespace delvora::test {
namespace {

struct Run {
    int exitCode = -1;
    QByteArray output;
};

// Runs the program in a temporary home; a window would keep it running, so a
// run that does not end in time counts as a failure.
Run RunProgram(const QStringList& arguments, const QString& home) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(DELVORA_GUI_PATH), arguments);
    Run run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = process.readAll();
    return run;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void AutomationAndEmbeddingEndWithoutAWindow() {
        QTemporaryDir home;
        for (const char* flag : {"--automation", "/Embedding", "-AUTOMATION"}) {
            const Run run = RunProgram({QString::fromLatin1(flag)}, home.path());
            QCOMPARE(run.exitCode, 0);
        }
        // No scratch folder either: nothing started.
        QVERIFY(!QFile::exists(home.path() + QStringLiteral("/cache/delvora/MyTemp")));
    }

    void RegisterAndUnregisterFromTheCommandLine() {
        QTemporaryDir home;
        const QString strData = home.path() + QStringLiteral("/data");
        QCOMPARE(RunProgram({QStringLiteral("--register")}, home.path()).exitCode, 0);
        QVERIFY(QFile::exists(DesktopEntryPath(strData)));
        QVERIFY(QFile::exists(MimePackagePath(strData)));
        QCOMPARE(RunProgram({QStringLiteral("/Unregister")}, home.path()).exitCode, 0);
        QVERIFY(!QFile::exists(DesktopEntryPath(strData)));
    }

    void BadCommandLineIsAUsageError() {
        QTemporaryDir home;
        const Run run = RunProgram({QStringLiteral("--devices")}, home.path());
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.output.contains("usage: delvora"));
        const Run missingMap = RunProgram({QStringLiteral("--devices"), home.filePath(QStringLiteral("none.map"))}, home.path());
        QCOMPARE(missingMap.exitCode, 2);
    }

    void DroppedFilesOpenAsCases() {
        QTemporaryDir dir;
        const QString strPath = dir.filePath(QStringLiteral("dropped.wsh"));
        QVERIFY(WriteFileBytes(strPath.toStdString(), {'N', 'O', 'T', 'A', 'C', 'A', 'S', 'E'}));
        Window window;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(strPath)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.frame.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.frame.get(), &drop);
        // The file went through the case loader, which refused it.
        QCOMPARE(window.Messages(), QStringList{QStringLiteral("文件格式不对!")});

        QMimeData remote;
        remote.setUrls({QUrl(QStringLiteral("https://example.org/x.wsh"))});
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
        refused.ignore();
        QApplication::sendEvent(window.frame.get(), &refused);
        QVERIFY(!refused.isAccepted());
    }

    void TrayIconCarriesTheTitleAndItsMenu() {
        Window window;
        auto* tray = window.frame->findChild<QSystemTrayIcon*>();
        QVERIFY(tray != nullptr);
        QCOMPARE(tray->toolTip(), QStringLiteral("Korvanta"));
        QStringList texts;
        for (QAction* action : tray->contextMenu()->actions()) texts << action->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("显示窗口(&H)"), QStringLiteral("隐藏窗口(&S)"),
                                     QStringLiteral("关于 Delvora(&A)..."), QStringLiteral("退出(&X)")}));
        window.frame->show();
        tray->contextMenu()->actions()[1]->trigger();
        QVERIFY(window.frame->isHidden());
        tray->contextMenu()->actions()[0]->trigger();
        QVERIFY(window.frame->isVisible());
    }
};

DELVORA_GUI_TEST(ProgramTest);

}  // namespace delvora::test

#include "program_test.moc"
