#pragma once
// The file list view: the children of the current folder (or of the current
// file's folder) in the ten columns of the file list, sortable; a double
// click opens a folder; the context menu exports, opens with the associated
// program, corrects the start cluster and shows the properties.
#include "views/delvora_view.h"

class QCheckBox;
class QMenu;
class QTreeView;

namespace delvora {

class FileListModel;
class Volume;
struct FileItem;

class FileListView : public DelvoraView {
    Q_OBJECT
public:
    FileListView(ViewSet& views, QString title, QWidget* parent = nullptr);

    void RefreshView() override;
    bool HasSkipFlag() const override { return true; }
    /// The headings and every row's cells in the list's order.
    QStringList PrintRows(int maxRows) override;

    QTreeView* List() const { return m_pList; }
    FileListModel* Model() const { return m_pModel; }
    /// The item of the list's current row, or null.
    FileItem* SelectedItem() const;

    /// "导出...": a file as its export name in folder, a folder with its
    /// contents by the export options. An existing file is never replaced:
    /// the copy is numbered. False after a failure has been reported.
    bool ExportTo(FileItem* item, const QString& folder);
    /// "打开": a copy "a.<ext>" in the scratch folder, opened by the desktop.
    bool OpenWithProgram(FileItem* item);
    /// The context menu for the selected row (tests look into it).
    QMenu* MakeContextMenu();

protected:
    bool CreateControls() override;

private:
    void Export();

    QTreeView* m_pList = nullptr;
    FileListModel* m_pModel = nullptr;
    QCheckBox* m_pHideKnown = nullptr;
};

}  // namespace delvora
