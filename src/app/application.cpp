#include "app/application.h"

#include <QApplication>
#include <QEventLoop>
#include <QSettings>
#include <QSplashScreen>
#include <QTimer>

#include <cstdio>

#include "app/app_paths.h"
#include "app/command_line.h"
#include "app/desktop_registration.h"
#include "app/main_frame.h"
#include "app/options_dialog.h"
#include "app/screenshot_tour.h"
#include "app/splash.h"
#include "app/workstation.h"
#include "common/language.h"
#include "translation/qt_translation.h"

namespace delvora {
namespace {

void PrintError(const QString& text) { std::fprintf(stderr, "delvora: %s\n", text.toLocal8Bit().constData()); }

// For unattended runs (the screenshot tour): a modal box would wait for ever.
class StderrNotifier final : public Notifier {
public:
    void Message(std::string_view text, std::string_view caption, MessageIcon) override {
        caption = ShownCaption(caption);
        std::fprintf(stderr, "[%.*s] %.*s\n", int(caption.size()), caption.data(), int(text.size()), text.data());
    }
    bool Confirm(std::string_view text, std::string_view caption) override {
        Message(text, caption, MessageIcon::Question);
        return false;
    }
};

// Keeps the splash up for its time while the event loop runs, so that it paints.
void ShowSplash() {
    QSplashScreen splash(MakeSplashPixmap());
    splash.show();
    QEventLoop loop;
    QTimer::singleShot(kSplashMs, &loop, &QEventLoop::quit);
    loop.exec();
    splash.close();
}

// --lang wins, then the choice saved on the options page, then the locale.
void ChooseLanguage(const QString& fromCommandLine) {
    QSettings settings(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication));
    const QString saved = SavedLanguage(settings);
    const QString word = !fromCommandLine.isEmpty() ? fromCommandLine : saved;
    const Language language = ParseLanguage(word.toStdString()).value_or(EnvironmentLanguage());
    QString error;
    if (!UseLanguage(language, QApplication::applicationDirPath(), error)) PrintError(error);
}

}  // namespace

int RunWorkstation(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));

    const CommandLine line = ParseCommandLine(QApplication::arguments().mid(1));
    ChooseLanguage(line.language);
    if (!line.error.isEmpty()) {
        PrintError(line.error);
        std::fputs(CommandLineUsage().toLocal8Bit().constData(), stderr);
        return 2;
    }
    if (line.unregister) return UnregisterDesktopEntry() ? 0 : 1;
    if (line.registerOnly) return RegisterDesktopEntry(QApplication::applicationFilePath()) ? 0 : 1;
    // An automation client or a container drives the program without a
    // window; no such client exists on this platform yet, so there is
    // nothing more to do.
    if (line.RunsWithoutWindow()) return 0;

    StderrNotifier unattended;
    Workstation workstation(line.screenshotFolder.isEmpty() ? nullptr : &unattended);
    QString strDevices = line.devicesFile;
    if (strDevices.isEmpty()) strDevices = qEnvironmentVariable("DELVORA_DEVICES");
    if (!strDevices.isEmpty()) {
        QString strError;
        if (!workstation.LoadDeviceMap(strDevices, strError)) {
            PrintError(strError);
            return 2;
        }
    }

    if (!line.noSplash && line.screenshotFolder.isEmpty()) ShowSplash();

    FrameOptions options;
    // A case named on the command line may still be loading when the wizard
    // would open, which would only earn a "thread busy" box.
    options.openWizardAtStart = !line.noWizard && line.screenshotFolder.isEmpty() && line.files.isEmpty();
    int nResult = 0;
    {
        MainFrame frame(workstation, options);
        frame.showMaximized();
        MakeScratchFolder();
        for (const QString& strFile : line.files) frame.OpenCaseFile(strFile);
        if (!line.screenshotFolder.isEmpty()) StartScreenshotTour(workstation, frame, line.screenshotFolder);
        nResult = QApplication::exec();
    }
    RemoveScratchFolder();
    return nResult;
}

}  // namespace delvora
