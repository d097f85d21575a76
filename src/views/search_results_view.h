#pragma once
// The results list of a keyword search: one row per hit of a result folder.
// A view of its own so that the document views can embed it as it is.
#include <QTreeView>

namespace delvora {

class CaseItem;
class SearchResultsModel;

class SearchResultsView : public QTreeView {
    Q_OBJECT
public:
    explicit SearchResultsView(QWidget* parent = nullptr);
    /// Shows the hits of a result folder; null empties the list.
    void ShowFolder(const CaseItem* folder);
    SearchResultsModel* Model() const { return m_pModel; }

private:
    SearchResultsModel* m_pModel;
};

}  // namespace delvora
