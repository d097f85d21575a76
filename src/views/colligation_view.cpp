#include "views/colligation_view.h"

#include <QCoreApplication>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "case/case_item.h"
#include "case/case_workspace.h"
#include "common/reporting.h"
#include "fs/file_item.h"
#include "recovery/item_pages.h"
#include "search/hit_place.h"
#include "search/keyword.h"
#include "search/search_terms.h"
#include "views/paged_data_ctrl.h"
#include "views/search_results_model.h"
#include "views/search_results_view.h"
#include "views/view_set.h"

namespace delvora {
namespace {

// Bytes shown above a hit: four rows of the hexadecimal pane.
constexpr uint64_t kLeadBytes = 4 * PagedDataCtrl::kHexRowBytes;

}  // namespace

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
    m_pTabs->addTab(m_pText, QCoreApplication::translate("ColligationView", "文本"));
    m_pTabs->addTab(m_pHex, QCoreApplication::translate("ColligationView", "十六进制"));
    splitter->addWidget(m_pResults);
    splitter->addWidget(m_pTabs);
    layout->addWidget(splitter);
    // A hit chosen with the mouse or the keys.
    connect(m_pResults->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& index) { ShowHit(index.row()); });
    return true;
}

void ColligationView::RefreshView() {
    if (m_pResults->Model()->Folder() != m_views.ResultFolder()) m_pResults->ShowFolder(m_views.ResultFolder());
    // No hit is shown now, so none stays chosen: choosing the same one again shows it.
    m_pResults->selectionModel()->clearCurrentIndex();
    ShowHit(-1);
}

void ColligationView::ShowHit(int row) {
    const QModelIndex index = m_pResults->Model()->index(row, 0);
    const auto* hit = index.isValid() ? reinterpret_cast<const CaseItem*>(index.data(SearchResultsModel::kHitRole).value<quintptr>()) : nullptr;
    Volume* volume = hit ? hit->hitFile.GetVolume() : nullptr;
    FileItem* file = hit ? hit->hitFile.Item() : nullptr;
    if (!volume || !file) {
        m_pText->SetPages(nullptr);
        m_pHex->SetPages(nullptr);
        return;
    }
    m_pText->SetPages(std::make_unique<ItemPages>(*volume, *file));
    m_pHex->SetPages(std::make_unique<ItemPages>(*volume, *file));
    // The keyword's bytes as the search looked for them, from its result folder.
    const CaseItem* folder = m_pResults->Model()->Folder();
    std::vector<uint8_t> pattern;
    NullNotifier quiet;
    uint64_t at = 0;
    if (!folder || !HitPlacer(*volume).Find(*file, hit->byteOffset, at)) return;
    // An expression's match has no fixed bytes: the hit is shown without a selection.
    KeywordToPattern(folder->text, folder->number & kKeywordTypeMask, m_views.Workspace().Context().Options().codepage,
                     kPatternCapacity, pattern, quiet);
    // A few rows of what comes before stay in sight above the hit.
    for (PagedDataCtrl* pane : {m_pText, m_pHex}) {
        pane->ScrollTo(at > kLeadBytes ? at - kLeadBytes : 0);
        pane->Select(at, at + pattern.size());
    }
}

}  // namespace delvora
