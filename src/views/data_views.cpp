#include "views/data_views.h"

#include <QVBoxLayout>

#include "fs/file_item.h"
#include "recovery/item_pages.h"
#include "views/view_set.h"

namespace delvora {

void ShowCurrentFile(ViewSet& views, PagedDataCtrl& control) {
    FileItem* item = views.CurrentItem();
    Volume* volume = views.CurrentVolume();
    if (!item || !volume || item->IsDirectory() || !item->parent) return control.SetPages(nullptr);
    control.SetPages(std::make_unique<ItemPages>(*volume, *item));
}

DataView::DataView(ViewSet& views, QString title, PagedDataCtrl::Form form, QWidget* parent)
    : DelvoraView(views, std::move(title), parent), m_form(form) {
    setObjectName(form == PagedDataCtrl::Form::kHex ? QStringLiteral("hexView") : QStringLiteral("textView"));
}

bool DataView::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pControl = new PagedDataCtrl(m_form, this);
    layout->addWidget(m_pControl);
    return true;
}

void DataView::RefreshView() { ShowCurrentFile(m_views, *m_pControl); }
void DataView::CopySelection() { m_pControl->CopySelection(); }
void DataView::HexCopySelection() { m_pControl->HexCopySelection(); }

}  // namespace delvora
