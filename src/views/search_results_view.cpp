#include "views/search_results_view.h"

#include <QHeaderView>

#include "views/search_results_model.h"

namespace delvora {

SearchResultsView::SearchResultsView(QWidget* parent) : QTreeView(parent), m_pModel(new SearchResultsModel(this)) {
    setObjectName(QStringLiteral("searchResults"));
    setRootIsDecorated(false);
    // Rows of one height let the view place a hundred thousand rows without
    // measuring each.
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setModel(m_pModel);
    const int widths[SearchResultsModel::kColumnCount] = {60, 200, 100, 80, 100};
    for (int i = 0; i < SearchResultsModel::kColumnCount; ++i) setColumnWidth(i, widths[i]);
    header()->setStretchLastSection(true);
}

void SearchResultsView::ShowFolder(const CaseItem* folder) { m_pModel->SetFolder(folder); }

}  // namespace delvora
