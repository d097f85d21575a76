#pragma once
// The browse bar: the case tree with the data items, their volumes, folders
// (and files when "显示文件" is ticked), the recycle bins, and the groups for
// bookmarks, keywords and search results. Each tree node carries the case
// node it shows.
#include <QSet>
#include <QWidget>

#include <cstdint>

#include "ui/tree_icons.h"

class QCheckBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace delvora {

class CaseItem;
class CaseWorkspace;
class DataItem;
class Volume;
struct FileItem;

/// Node kind of a tree node that shows a FileItem (the case's own kinds are
/// 1..9).
inline constexpr int kFileItemNode = 0x10;

class BrowseBar : public QWidget {
    Q_OBJECT
public:
    /// Item data roles of every tree node.
    enum Role : int {
        kKindRole = Qt::UserRole + 1,  // int: a node kind or kFileItemNode
        kNodeRole,                     // quintptr: the DataItem, Volume, CaseItem or FileItem
        kVolumeRole,                   // quintptr: the volume a FileItem belongs to
    };

    explicit BrowseBar(CaseWorkspace& workspace, QWidget* parent = nullptr);

    QTreeWidget* Tree() const { return m_pTree; }
    QCheckBox* ShowFilesBox() const { return m_pShowFiles; }

    /// Empties the tree and fills it again: every data item, then the groups.
    /// Volumes whose tree a worker may still be filling are left out until
    /// their BuildCaseTree arrives.
    void RebuildCaseTree();
    /// Shows one data item whose load has ended (replacing its node).
    /// Ignores an item that is not in the case.
    void BuildCaseTree(DataItem* item);
    /// Inserts the children of folder below parent: folders always, files
    /// when the case shows files.
    void InsertItemTree(const FileItem& folder, Volume* volume, QTreeWidgetItem* parent);

    /// The tree node showing a case node, or null.
    QTreeWidgetItem* FindNode(const void* node) const;
    QTreeWidgetItem* FindTopLevelNode(const void* node) const;

signals:
    /// The selection moved to a node: its kind, the case node and, for a file
    /// item, its volume.
    void NodeSelected(int kind, void* node, delvora::Volume* volume);

private slots:
    void OnCurrentChanged(QTreeWidgetItem* current);
    void OnShowFilesToggled(bool checked);
    void OnExpanded(QTreeWidgetItem* node);

private:
    QTreeWidgetItem* MakeDataItemNode(DataItem& item, bool withVolumes);
    void InsertVolume(Volume& volume, QTreeWidgetItem* itemNode);
    void InsertGroup(CaseItem& group, QTreeWidgetItem* parent);
    bool IsInCase(const DataItem* item) const;

    CaseWorkspace& m_workspace;
    QTreeWidget* m_pTree;
    QCheckBox* m_pShowFiles;
    TreeIcons m_icons;
    QSet<const DataItem*> m_readyItems;  // items whose trees are complete
};

}  // namespace delvora
