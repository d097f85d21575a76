#include "views/colligation_view.h"

#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "case/case_item.h"
#include "fs/file_item.h"
#include "recovery/item_pages.h"
#include "views/paged_data_ctrl.h"
#include "views/search_results_model.h"
#include "views/search_results_view.h"
#include "views/view_set.h"

namespace delvora {

ColligationView::ColligationView(ViewSet& views, QString title, QWidget* parent)
    : DelvoraView(views, std::move(title), parent) {
    setObjectName(QStringLiteral("colligationView"));
}

bool ColligationView::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    m_pResults = new SearchResultsView(splitter);
    m_pTabs = new QTabWidget(splitter);
    m_pText = new PagedDataCtrl(PagedDataCtrl::Form::kText, m_pTabs);
    m_pHex = new PagedDataCtrl(PagedDataCtrl::Form::kHex, m_pTabs);
    m_pTabs->addTab(m_pText, QStringLiteral("文本"));
    m_pTabs->addTab(m_pHex, QStringLiteral("十六进制"));
    splitter->addWidget(m_pResults);
    splitter->addWidget(m_pTabs);
    layout->addWidget(splitter);
    connect(m_pResults, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) { ShowHit(index.row()); });
    return true;
}

void ColligationView::RefreshView() {
    if (m_pResults->Model()->Folder() != m_views.ResultFolder()) m_pResults->ShowFolder(m_views.ResultFolder());
    ShowHit(-1);
}

void ColligationView::ShowHit(int row) {
    const QModelIndex index = m_pResults->Model()->index(row, 0);
    const auto* hit = index.isValid() ? reinterpret_cast<const CaseItem*>(index.data(SearchResultsModel::kHitRole).value<quintptr>()) : nullptr;
    if (!hit || !hit->volume || !hit->fileItem) {
        m_pText->SetPages(nullptr);
        m_pHex->SetPages(nullptr);
        return;
    }
    m_pText->SetPages(std::make_unique<ItemPages>(*hit->volume, *hit->fileItem));
    m_pHex->SetPages(std::make_unique<ItemPages>(*hit->volume, *hit->fileItem));
}

}  // namespace delvora
