#pragma once
// The rows of the file list: one per child of a folder, the ten cells of the
// file list's text code, made only for the rows that are looked at (a folder
// of 100,000 entries shows at once), sortable by any column.
#include <QAbstractTableModel>

#include "fs/item_ref.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "fs/file_list_row.h"

namespace delvora {

class HashResults;
class TreeIcons;
class Volume;
struct FileHashRecord;
struct FileItem;

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// The item a row shows, under this role of every cell.
    static constexpr int kItemRole = Qt::UserRole + 1;

    explicit FileListModel(TreeIcons& icons, QObject* parent = nullptr);

    /// Lists the children of folder (of volume); null empties the list.
    void ShowFolder(FileItem* folder, Volume* volume);
    /// Where computed digests are found: with any there, a hash column
    /// follows the ten, notable files are drawn in their own colour and
    /// known ones greyed. Takes effect at the next ShowFolder.
    void SetHashResults(const HashResults* results) { m_pHashes = results; }
    /// Leaves files of a known hash set out of the rows; lists anew.
    void SetHideKnown(bool hide);
    bool HidesKnown() const { return m_bHideKnown; }
    /// The folder shown; null once a residual search or reload took it away.
    FileItem* Folder() const { return m_folder.Item(); }
    Volume* CurrentVolume() const { return Folder() ? m_folder.GetVolume() : nullptr; }
    FileItem* ItemAt(int row) const;
    /// The row showing item, or -1.
    int RowOf(const FileItem* item) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    using Texts = std::array<std::string, kFileListColumns>;
    const Texts& RowTexts(int row) const;
    bool HashOf(int row, FileHashRecord& record) const;

    TreeIcons& m_icons;
    ItemRef m_folder;
    const HashResults* m_pHashes = nullptr;
    bool m_bHashColumn = false;
    bool m_bHideKnown = false;
    std::vector<uint32_t> m_order;                     // child index of each row
    mutable std::vector<std::unique_ptr<Texts>> m_texts;  // per child, made when first shown
};

}  // namespace delvora
