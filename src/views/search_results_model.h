#pragma once
// The hits of one result folder as a table: "序号", "命中文字", "簇号/扇区",
// "偏移", "匹配文件". A thin model over the folder's children, so a search
// with hundreds of thousands of hits shows at once and scrolls freely.
#include <QAbstractTableModel>

namespace delvora {

class CaseItem;

class SearchResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column : int { kIndex, kHitText, kPosition, kOffset, kFile, kColumnCount };
    /// The hit of a row (its CaseItem pointer as quintptr).
    static constexpr int kHitRole = Qt::UserRole + 1;

    explicit SearchResultsModel(QObject* parent = nullptr);

    /// Shows the hits of folder (a result folder); null shows none. The
    /// folder must stay unchanged while shown: clear it first.
    void SetFolder(const CaseItem* folder);
    const CaseItem* Folder() const { return m_pFolder; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const CaseItem* m_pFolder = nullptr;
};

}  // namespace delvora
