#include "app/recent_files.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace delvora {
namespace {

const QString kGroup = QStringLiteral("Recent File List");

QString KeyOf(int index) { return QStringLiteral("File%1").arg(index + 1); }

// Two spellings of one file count as one entry.
QString Canonical(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

}  // namespace

RecentFiles::RecentFiles(QSettings& settings) : m_settings(settings) {
    m_settings.beginGroup(kGroup);
    for (int i = 0; i < kMaxEntries; ++i) {
        const QString strPath = m_settings.value(KeyOf(i)).toString();
        if (!strPath.isEmpty() && !m_files.contains(strPath)) m_files << strPath;
    }
    m_settings.endGroup();
}

void RecentFiles::Add(const QString& path) {
    const QString strPath = Canonical(path);
    m_files.removeAll(strPath);
    m_files.prepend(strPath);
    while (m_files.size() > kMaxEntries) m_files.removeLast();
    Save();
}

void RecentFiles::Remove(const QString& path) {
    m_files.removeAll(Canonical(path));
    Save();
}

void RecentFiles::Save() {
    m_settings.beginGroup(kGroup);
    for (int i = 0; i < kMaxEntries; ++i) {
        if (i < m_files.size())
            m_settings.setValue(KeyOf(i), m_files[i]);
        else
            m_settings.remove(KeyOf(i));
    }
    m_settings.endGroup();
    m_settings.sync();
}

}  // namespace delvora
