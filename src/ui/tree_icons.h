#pragma once
// The icons of the case tree: the desktop's folder, drive, recycle and
// per-extension file icons, and the eight images of the case groups.
#include <QFileIconProvider>
#include <QHash>
#include <QIcon>

namespace delvora {

class TreeIcons {
public:
    static constexpr int kGroupImageCount = 8;

    TreeIcons();
    /// Data items and volumes.
    const QIcon& Drive() const { return m_drive; }
    const QIcon& Folder() const { return m_folder; }
    const QIcon& Recycle() const { return m_recycle; }
    /// The icon for a file name by its extension (cached per extension).
    QIcon ForFile(const QString& name);
    /// A group image pair: normal and selected image indexes (0..7).
    QIcon ForGroup(uint32_t image, uint32_t selectedImage) const;

private:
    QFileIconProvider m_provider;
    QIcon m_drive, m_folder, m_recycle, m_file;
    QIcon m_groupImages[kGroupImageCount];
    QHash<QString, QIcon> m_byExtension;
};

}  // namespace delvora
