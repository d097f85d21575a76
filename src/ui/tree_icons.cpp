#include "ui/tree_icons.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

namespace delvora {

TreeIcons::TreeIcons() {
    m_drive = m_provider.icon(QFileIconProvider::Folder);
    m_folder = m_provider.icon(QFileIconProvider::Folder);
    m_recycle = QIcon::fromTheme(QStringLiteral("user-trash"), m_provider.icon(QFileIconProvider::Trashcan));
    m_file = m_provider.icon(QFileIconProvider::File);
    // Bookmarks, keywords, search results and bookmark sub-folders, each as a
    // closed and an open image.
    QStyle* style = QApplication::style();
    const QIcon icons[kGroupImageCount] = {
        QIcon::fromTheme(QStringLiteral("bookmarks"), style->standardIcon(QStyle::SP_DirIcon)),
        QIcon::fromTheme(QStringLiteral("bookmarks"), style->standardIcon(QStyle::SP_DirOpenIcon)),
        QIcon::fromTheme(QStringLiteral("format-text-bold"), style->standardIcon(QStyle::SP_FileDialogDetailedView)),
        QIcon::fromTheme(QStringLiteral("format-text-bold"), style->standardIcon(QStyle::SP_FileDialogInfoView)),
        QIcon::fromTheme(QStringLiteral("edit-find"), style->standardIcon(QStyle::SP_FileDialogContentsView)),
        QIcon::fromTheme(QStringLiteral("edit-find"), style->standardIcon(QStyle::SP_FileDialogContentsView)),
        style->standardIcon(QStyle::SP_DirClosedIcon),
        style->standardIcon(QStyle::SP_DirOpenIcon),
    };
    for (int i = 0; i < kGroupImageCount; ++i) m_groupImages[i] = icons[i];
}

QIcon TreeIcons::ForFile(const QString& name) {
    const qsizetype nDot = name.lastIndexOf(QLatin1Char('.'));
    const QString strExt = nDot < 0 ? QString() : name.mid(nDot + 1).toLower();
    auto it = m_byExtension.constFind(strExt);
    if (it != m_byExtension.constEnd()) return *it;
    QIcon icon = m_file;
    if (!strExt.isEmpty()) {
        static const QMimeDatabase s_mimes;
        const QMimeType mime = s_mimes.mimeTypeForFile(QStringLiteral("x.") + strExt, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), m_file));
    }
    m_byExtension.insert(strExt, icon);
    return icon;
}

QIcon TreeIcons::ForGroup(uint32_t image, uint32_t selectedImage) const {
    const QIcon& normal = m_groupImages[image < kGroupImageCount ? image : 0];
    const QIcon& selected = m_groupImages[selectedImage < kGroupImageCount ? selectedImage : 0];
    QIcon icon;
    for (const QSize& size : normal.availableSizes()) icon.addPixmap(normal.pixmap(size), QIcon::Normal);
    for (const QSize& size : selected.availableSizes()) icon.addPixmap(selected.pixmap(size), QIcon::Selected);
    return icon.isNull() ? normal : icon;
}

}  // namespace delvora
