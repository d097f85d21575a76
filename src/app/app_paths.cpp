#include "app/app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

}  // namespace delvora
