#include "translation/qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

#include "common/translation.h"

namespace delvora {

QStringList TranslationFolders(const QString& programFolder) {
    const QDir dir(programFolder);
    return {QDir::cleanPath(dir.filePath(QStringLiteral("translations"))),
            QDir::cleanPath(dir.filePath(QStringLiteral("../share/delvora/translations")))};
}

namespace {
Language s_shown = Language::kChinese;
}  // namespace

Language ShownLanguage() { return s_shown; }

bool UseLanguage(Language language, const QString& programFolder, QString& error) {
    // Lives for the rest of the run: the application and the core keep using it.
    static QTranslator s_translator;
    if (language == Language::kChinese) {
        // Back to the source texts, should an earlier call have chosen English.
        if (QCoreApplication::instance()) QCoreApplication::removeTranslator(&s_translator);
        InstallTranslator({});
        s_shown = Language::kChinese;
        return true;
    }
    const QString name = QStringLiteral("delvora_en");
    bool loaded = false;
    for (const QString& folder : TranslationFolders(programFolder))
        if ((loaded = s_translator.load(name, folder))) break;
    if (!loaded) {
        error = QStringLiteral("no English translation (%1.qm) in %2")
                    .arg(name, TranslationFolders(programFolder).join(QStringLiteral(", ")));
        return false;
    }
    if (QCoreApplication::instance()) QCoreApplication::installTranslator(&s_translator);
    InstallTranslator([](const char* context, const char* source) {
        return s_translator.translate(context, source).toStdString();
    });
    s_shown = Language::kEnglish;
    return true;
}

}  // namespace delvora
