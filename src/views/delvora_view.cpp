#include "views/delvora_view.h"

#include "common/reporting.h"
#include "views/view_set.h"

namespace delvora {

DelvoraView::DelvoraView(ViewSet& views, QString title, QWidget* parent)
    : QWidget(parent), m_views(views), m_strTitle(std::move(title)) {
    m_views.Register(this);
}

DelvoraView::~DelvoraView() { m_views.Unregister(this); }

void DelvoraView::Initialise() {
    if (m_bCreated) return;
    m_bCreated = true;
    setWindowTitle(m_strTitle);
    if (!CreateControls()) return;
    LayoutView();
    RefreshView();
}

void DelvoraView::DeliverRefresh() {
    if (m_bSkip) {
        m_bSkip = false;
        return;
    }
    RefreshView();
}

void DelvoraView::ReportCreateFailure(const char* text) { m_views.Notify().Message(text, "提示", MessageIcon::Error); }

void DelvoraView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutView();
}

}  // namespace delvora
