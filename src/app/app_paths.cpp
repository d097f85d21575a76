#include "app/app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include "translation/qt_translation.h"

namespace delvora {

QString ProgramFolder() {
    QString strFolder = QCoreApplication::applicationDirPath();
    if (!strFolder.endsWith(QLatin1Char('/'))) strFolder += QLatin1Char('/');
    return strFolder;
}

QString ScratchFolder() {
    // The program's own folder is read-only on Linux; the cache folder is
    // the place for files that may vanish.
    QString strCache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (strCache.isEmpty()) strCache = QDir::homePath() + QStringLiteral("/.cache");
    return strCache + QStringLiteral("/delvora/MyTemp/");
}

bool MakeScratchFolder(const QString& folder) {
    QDir().mkpath(folder);
    return QFileInfo(folder).isDir();
}

void RemoveScratchFolder(const QString& folder) {
    QDir dir(folder);
    if (dir.exists()) dir.removeRecursively();
}

QString ManualPath(const QString& programFolder) {
    for (const char* name : {"Delvora.chm", "Delvora.html"}) {
        const QString strPath = programFolder + QLatin1String(name);
        if (QFileInfo(strPath).isFile()) return strPath;
    }
    return {};
}

QString ManualLanguage(const QString& languageCode) {
    const QString strCode = languageCode.toLower();
    const bool bEnglish = strCode == QLatin1String("en") || strCode.startsWith(QLatin1String("en_")) ||
                          strCode.startsWith(QLatin1String("en-")) || strCode.startsWith(QLatin1String("en."));
    return bEnglish ? QStringLiteral("en") : QStringLiteral("zh");
}

QString CurrentManualLanguage() {
    // The manual speaks the language the window does.
    return ShownLanguage() == Language::kEnglish ? QStringLiteral("en") : QStringLiteral("zh");
}

QStringList ManualFolders(const QString& programFolder) {
    QStringList folders{QDir::cleanPath(programFolder + QStringLiteral("../share/doc/delvora/manual"))};
#ifdef DELVORA_SOURCE_DIR
    folders << QStringLiteral(DELVORA_SOURCE_DIR "/docs/manual");
#endif
    return folders;
}

QString FindManual(const QString& language, const QStringList& folders) {
    for (const QString& strFolder : folders) {
        const QString strIndex = strFolder + QLatin1Char('/') + language + QStringLiteral("/index.html");
        if (QFileInfo(strIndex).isFile()) return strIndex;
    }
    return {};
}

}  // namespace delvora
