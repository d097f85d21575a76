#pragma once
// The recent case files, newest first, at most four, kept in the settings.
#include <QString>
#include <QStringList>

class QSettings;

namespace delvora {

class RecentFiles {
public:
    static constexpr int kMaxEntries = 4;

    explicit RecentFiles(QSettings& settings);

    QStringList Files() const { return m_files; }
    /// Puts a file at the front (moving it there when already listed) and saves.
    void Add(const QString& path);
    /// Drops a file that no longer opens, and saves.
    void Remove(const QString& path);

private:
    void Save();

    QSettings& m_settings;
    QStringList m_files;
};

}  // namespace delvora
