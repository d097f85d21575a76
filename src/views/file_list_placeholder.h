#pragma once
// The document window of the main template until the file list view takes
// its place: the entries of the folder selected in the case tree.
#include <QTreeWidget>

namespace delvora {

struct FileItem;

class FileListPlaceholder : public QTreeWidget {
    Q_OBJECT
public:
    explicit FileListPlaceholder(QWidget* parent = nullptr);
    /// Lists the children of folder; null empties the list.
    void ShowFolder(const FileItem* folder);
};

}  // namespace delvora
