#include "views/file_list_model.h"

#include <QCoreApplication>
#include <QColor>

#include <algorithm>
#include <charconv>
#include <numeric>

#include "common/translation.h"
#include "ui/qt_text.h"
#include "ui/tree_icons.h"
#include "case/file_hashes.h"
#include "fs/file_item.h"

namespace delvora {
namespace {

// The colour each column's text is drawn in.
const QColor kColumnColours[kFileListColumns] = {
    {0, 0, 0},     {50, 30, 50}, {150, 20, 29}, {50, 30, 50},  {10, 100, 30},
    {50, 30, 50},  {10, 100, 30}, {50, 30, 50}, {50, 20, 209}, {230, 124, 100},
};

// Files of a notable set stand out; files of a known set recede.
const QColor kNotableColour{220, 0, 0};
const QColor kKnownColour{160, 160, 160};

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
    m_bHashColumn = m_pHashes && !m_pHashes->Empty();
    if (shown && m_bHashColumn && m_bHideKnown) {
        std::erase_if(m_order, [this, folder, volume](uint32_t child) {
            FileHashRecord record;
            return m_pHashes->Find(volume, &folder->children[child], record) &&
                   record.match.status == HashSetStatus::kKnown;
        });
    }
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
    // Bounded by the folder, not the rows: hidden known files make fewer rows.
    if (!folder || item < folder->children || item >= folder->children + folder->childCount) return -1;
    const auto index = static_cast<uint32_t>(item - folder->children);
    const auto it = std::find(m_order.begin(), m_order.end(), index);
    return it == m_order.end() ? -1 : static_cast<int>(it - m_order.begin());
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    // A folder taken away shows no rows until the next refresh lets go of it.
    return parent.isValid() || !Folder() ? 0 : static_cast<int>(m_order.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kFileListColumns) + (m_bHashColumn ? 1 : 0);
}

void FileListModel::SetHideKnown(bool hide) {
    m_bHideKnown = hide;
    ShowFolder(Folder(), CurrentVolume());
}

bool FileListModel::HashOf(int row, FileHashRecord& record) const {
    return m_bHashColumn && m_pHashes->Find(CurrentVolume(), ItemAt(row), record);
}

const FileListModel::Texts& FileListModel::RowTexts(int row) const {
    const uint32_t child = m_order[static_cast<size_t>(row)];
    std::unique_ptr<Texts>& texts = m_texts[child];
    if (!texts) texts = std::make_unique<Texts>(FileListRowTexts(Folder()->children[child], CurrentVolume()));
    return *texts;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const bool hashColumn = index.column() == static_cast<int>(kFileListColumns);
    switch (role) {
    case Qt::DisplayRole: {
        if (!hashColumn) return FromUtf8(RowTexts(index.row())[static_cast<size_t>(index.column())]);
        FileHashRecord record;
        return HashOf(index.row(), record) ? FromUtf8(record.digests.md5) : QString();
    }
    case Qt::ForegroundRole: {
        FileHashRecord record;
        if (HashOf(index.row(), record) && record.match.status == HashSetStatus::kNotable) return kNotableColour;
        if (HashOf(index.row(), record) && record.match.status == HashSetStatus::kKnown) return kKnownColour;
        return hashColumn ? QColor(50, 30, 50) : kColumnColours[index.column()];
    }
    case Qt::ToolTipRole: {
        FileHashRecord record;
        if (!HashOf(index.row(), record)) return {};
        QString tip = QStringLiteral("MD5: %1\nSHA-1: %2\nSHA-256: %3")
                          .arg(FromUtf8(record.digests.md5), FromUtf8(record.digests.sha1), FromUtf8(record.digests.sha256));
        if (record.match.status != HashSetStatus::kNone)
            tip += QStringLiteral("\n%1: %2").arg(record.match.status == HashSetStatus::kNotable ? QCoreApplication::translate("FileListModel", "关注")
                                                                                               : QCoreApplication::translate("FileListModel", "已知"),
                                                 FromUtf8(record.match.setName));
        return tip;
    }
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
    if (section == static_cast<int>(kFileListColumns)) return QCoreApplication::translate("FileListModel", "哈希(MD5)");
    return FromUtf8(Tr("FileListRow", FileListHeadings()[static_cast<size_t>(section)].data()));
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columnCount() || m_order.empty()) return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<FileItem*> items;
    for (const QModelIndex& index : before) items.push_back(ItemAt(index.row()));
    // Every row's texts are needed to compare: made once, kept for showing.
    for (int row = 0; row < rowCount(); ++row) RowTexts(row);
    const bool descending = order == Qt::DescendingOrder;
    if (column >= static_cast<int>(kFileListColumns)) {
        // The hash column sorts by its digest text; unhashed rows first.
        std::vector<std::string> digests(Folder()->childCount);
        for (uint32_t child : m_order) {
            FileHashRecord record;
            if (m_pHashes->Find(CurrentVolume(), &Folder()->children[child], record)) digests[child] = record.digests.md5;
        }
        std::stable_sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
            return descending ? digests[b] < digests[a] : digests[a] < digests[b];
        });
    }
    const auto cell = [this, column](uint32_t child) -> const std::string& { return (*m_texts[child])[static_cast<size_t>(column)]; };
    if (column >= static_cast<int>(kFileListColumns)) {
        // Sorted above.
    } else if (IsNumberColumn(column)) {
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
