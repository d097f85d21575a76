#include "views/file_list_placeholder.h"

#include "common/text_format.h"
#include "fs/file_item.h"

namespace delvora {

FileListPlaceholder::FileListPlaceholder(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("fileList"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setHeaderLabels({QStringLiteral("名称"), QStringLiteral("大小"), QStringLiteral("修改时间"),
                     QStringLiteral("状态")});
    setColumnWidth(0, 220);
    setColumnWidth(1, 90);
    setColumnWidth(2, 160);
}

void FileListPlaceholder::ShowFolder(const FileItem* folder) {
    clear();
    if (!folder || !folder->children) return;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(folder->childCount));
    for (uint32_t i = 0; i < folder->childCount; ++i) {
        const FileItem& item = folder->children[i];
        const QString strSize = item.IsDirectory() ? QString() : QString::number(item.size);
        const QString strDate = QString::fromStdString(FormatDosDateTime(item.writeDate, item.writeTime));
        const QString strState = item.IsDeleted() ? QStringLiteral("已删除") : QString();
        rows << new QTreeWidgetItem(QStringList{QString::fromUtf8(item.name ? item.name : ""), strSize, strDate, strState});
    }
    addTopLevelItems(rows);
}

}  // namespace delvora
