#include "views/file_list_model.h"

#include <QColor>

#include <algorithm>
#include <charconv>
#include <numeric>

#include "ui/qt_text.h"
#include "ui/tree_icons.h"
#include "fs/file_item.h"

namespace delvora {
namespace {

// The colour each column's text is drawn in.
const QColor kColumnColours[kFileListColumns] = {
    {0, 0, 0},     {50, 30, 50}, {150, 20, 29}, {50, 30, 50},  {10, 100, 30},
    {50, 30, 50},  {10, 100, 30}, {50, 30, 50}, {50, 20, 209}, {230, 124, 100},
};

// Columns whose cells are decimal numbers and sort as such.
bool IsNumberColumn(int column) { return column >= 4 && column <= 7; }

uint64_t NumberOf(const std::string& text) {
    uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

FileListModel::FileListModel(TreeIcons& icons, QObject* parent) : QAbstractTableModel(parent), m_icons(icons) {}

void FileListModel::ShowFolder(FileItem* folder, Volume* volume) {
    beginResetModel();
    const bool shown = folder && folder->children && volume;
    m_folder = shown ? ItemRef(*volume, folder) : ItemRef();
    const uint32_t count = shown ? folder->childCount : 0;
    m_order.resize(count);
    std::iota(m_order.begin(), m_order.end(), 0u);
    m_texts.clear();
    m_texts.resize(count);
    endResetModel();
}

FileItem* FileListModel::ItemAt(int row) const {
    FileItem* folder = Folder();
    if (!folder || row < 0 || static_cast<size_t>(row) >= m_order.size()) return nullptr;
    return &folder->children[m_order[static_cast<size_t>(row)]];
}

int FileListModel::RowOf(const FileItem* item) const {
    const FileItem* folder = Folder();
    if (!folder || item < folder->children || item >= folder->children + m_order.size()) return -1;
    const auto index = static_cast<uint32_t>(item - folder->children);
    const auto it = std::find(m_order.begin(), m_order.end(), index);
    return it == m_order.end() ? -1 : static_cast<int>(it - m_order.begin());
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    // A folder taken away shows no rows until the next refresh lets go of it.
    return parent.isValid() || !Folder() ? 0 : static_cast<int>(m_order.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kFileListColumns);
}

const FileListModel::Texts& FileListModel::RowTexts(int row) const {
    const uint32_t child = m_order[static_cast<size_t>(row)];
    std::unique_ptr<Texts>& texts = m_texts[child];
    if (!texts) texts = std::make_unique<Texts>(FileListRowTexts(Folder()->children[child], CurrentVolume()));
    return *texts;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    switch (role) {
    case Qt::DisplayRole:
        return FromUtf8(RowTexts(index.row())[static_cast<size_t>(index.column())]);
    case Qt::ForegroundRole:
        return kColumnColours[index.column()];
    case Qt::DecorationRole: {
        if (index.column() != 0) return {};
        const FileItem* item = ItemAt(index.row());
        return item->IsDirectory() ? m_icons.Folder() : m_icons.ForFile(FromUtf8(item->name ? item->name : ""));
    }
    case kItemRole:
        return QVariant::fromValue(static_cast<void*>(ItemAt(index.row())));
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) return {};
    return FromUtf8(FileListHeadings()[static_cast<size_t>(section)]);
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columnCount() || m_order.empty()) return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<FileItem*> items;
    for (const QModelIndex& index : before) items.push_back(ItemAt(index.row()));
    // Every row's texts are needed to compare: made once, kept for showing.
    for (int row = 0; row < rowCount(); ++row) RowTexts(row);
    const auto cell = [this, column](uint32_t child) -> const std::string& { return (*m_texts[child])[static_cast<size_t>(column)]; };
    const bool descending = order == Qt::DescendingOrder;
    if (IsNumberColumn(column)) {
        std::stable_sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
            return descending ? NumberOf(cell(b)) < NumberOf(cell(a)) : NumberOf(cell(a)) < NumberOf(cell(b));
        });
    } else {
        // Dates are zero-padded, so their texts sort in time order too.
        std::stable_sort(m_order.begin(), m_order.end(),
                         [&](uint32_t a, uint32_t b) { return descending ? cell(b) < cell(a) : cell(a) < cell(b); });
    }
    QModelIndexList after;
    for (size_t i = 0; i < items.size(); ++i) after.push_back(index(RowOf(items[i]), before[static_cast<int>(i)].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

}  // namespace delvora
