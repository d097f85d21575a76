// Runs every registered workstation test class in one process, offscreen,
// with the settings, cache and data folders in a temporary place.
#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "gui/gui_support.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toUtf8());
    qunsetenv("DELVORA_DEVICES");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    int nFailed = 0;
    for (const auto& make : delvora::test::TestRegistry()) {
        std::unique_ptr<QObject> test = make();
        nFailed += QTest::qExec(test.get(), argc, argv);
    }
    return nFailed == 0 ? 0 : 1;
}
