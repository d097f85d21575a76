#include "app/desktop_registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace delvora {
namespace {

bool WriteTextFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(text) == text.size();
}

// Desktop entries quote arguments with double quotes and escape \ " ` $.
QString QuoteExec(const QString& path) {
    QString strQuoted;
    for (QChar c : path) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            strQuoted += QLatin1Char('\\');
        strQuoted += c;
    }
    return QLatin1Char('"') + strQuoted + QLatin1Char('"');
}

// The desktop's caches are refreshed when the tools exist; without them the
// files still take effect at the next login.
void RunQuietly(const QString& program, const QString& folder) {
    if (QStandardPaths::findExecutable(program).isEmpty()) return;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, {folder});
    process.waitForFinished();
}

void RefreshCaches(const QString& dataHome) {
    RunQuietly(QStringLiteral("update-mime-database"), dataHome + QStringLiteral("/mime"));
    RunQuietly(QStringLiteral("update-desktop-database"), dataHome + QStringLiteral("/applications"));
}

}  // namespace

QString XdgDataHome() {
    QString strHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (strHome.isEmpty()) strHome = QDir::homePath() + QStringLiteral("/.local/share");
    while (strHome.size() > 1 && strHome.endsWith(QLatin1Char('/'))) strHome.chop(1);
    return strHome;
}

QString DesktopEntryPath(const QString& dataHome) { return dataHome + QStringLiteral("/applications/delvora.desktop"); }

QString MimePackagePath(const QString& dataHome) { return dataHome + QStringLiteral("/mime/packages/delvora-case.xml"); }

bool RegisterDesktopEntry(const QString& programPath, const QString& dataHome) {
    const QString strMime = QString::fromLatin1(kCaseMimeType);
    const QString strEntry = QStringLiteral(
                                 "[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Korvanta\n"
                                 "Comment=Disk examination and data recovery\n"
                                 "Exec=%1 %f\n"
                                 "Terminal=false\n"
                                 "Categories=System;FileTools;\n"
                                 "MimeType=%2;\n")
                                 .arg(QuoteExec(programPath), strMime);
    const QString strPackage = QStringLiteral(
                                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                   "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                                   "  <mime-type type=\"%1\">\n"
                                   "    <comment>Delvo Document</comment>\n"
                                   "    <magic priority=\"50\"><match type=\"string\" offset=\"0\" value=\"WSH\"/></magic>\n"
                                   "    <glob pattern=\"*.wsh\"/>\n"
                                   "  </mime-type>\n"
                                   "</mime-info>\n")
                                   .arg(strMime);
    const bool bEntry = WriteTextFile(DesktopEntryPath(dataHome), strEntry.toUtf8());
    const bool bMime = WriteTextFile(MimePackagePath(dataHome), strPackage.toUtf8());
    RefreshCaches(dataHome);
    return bEntry && bMime;
}

bool UnregisterDesktopEntry(const QString& dataHome) {
    QFile::remove(DesktopEntryPath(dataHome));
    QFile::remove(MimePackagePath(dataHome));
    RefreshCaches(dataHome);
    return !QFileInfo::exists(DesktopEntryPath(dataHome)) && !QFileInfo::exists(MimePackagePath(dataHome));
}

}  // namespace delvora
