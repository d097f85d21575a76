#include "views/search_results_model.h"

#include <QCoreApplication>

#include <algorithm>
#include <climits>

#include "case/case_item.h"
#include "common/translation.h"
#include "fs/file_item.h"

namespace delvora {

SearchResultsModel::SearchResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void SearchResultsModel::SetFolder(const CaseItem* folder) {
    beginResetModel();
    m_pFolder = folder;
    endResetModel();
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_pFolder) return 0;
    return static_cast<int>(std::min<size_t>(m_pFolder->children.size(), INT_MAX));
}

int SearchResultsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_pFolder || index.row() >= rowCount()) return {};
    const CaseItem* hit = m_pFolder->children[static_cast<size_t>(index.row())].get();
    if (!hit) return {};
    if (role == kHitRole) return QVariant::fromValue(reinterpret_cast<quintptr>(hit));
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case kIndex: return index.row();
        case kHitText: return QString::fromUtf8(hit->hitText.data(), static_cast<qsizetype>(hit->hitText.size()));
        case kPosition: return QString::number(hit->position);
        case kOffset: return QString::number(hit->offset);
        case kFile: {
            // A file a later residual search or reload took away is said to be gone.
            const FileItem* file = hit->hitFile.Item();
            if (!file) return hit->hitFile.HasItem() ? QString::fromUtf8(Tr("ItemRef", kItemGoneText)) : QString();
            return file->name ? QString::fromUtf8(file->name) : QString();
        }
        default: return {};
    }
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeadings[kColumnCount] = {
        QT_TRANSLATE_NOOP("SearchResultsModel", "序号"), QT_TRANSLATE_NOOP("SearchResultsModel", "命中文字"),
        QT_TRANSLATE_NOOP("SearchResultsModel", "簇号/扇区"), QT_TRANSLATE_NOOP("SearchResultsModel", "偏移"),
        QT_TRANSLATE_NOOP("SearchResultsModel", "匹配文件")};
    return section >= 0 && section < kColumnCount ? QCoreApplication::translate("SearchResultsModel", kHeadings[section]) : QVariant();
}

}  // namespace delvora
