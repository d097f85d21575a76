#include "views/disk_view.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include <vector>

#include "ui/qt_text.h"
#include "case/case_workspace.h"
#include "disk/data_source.h"
#include "fs/file_list_row.h"
#include "fs/volume.h"
#include "views/data_views.h"
#include "views/disk_browse_form.h"
#include "views/disk_map_widget.h"
#include "views/hex_grid_ctrl.h"
#include "views/view_set.h"

namespace delvora {

DiskView::DiskView(ViewSet& views, QString title, QWidget* parent) : DelvoraView(views, std::move(title), parent) {
    setObjectName(QStringLiteral("diskView"));
}

bool DiskView::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    m_pTabs = new QTabWidget(splitter);
    m_pBrowse = new DiskBrowseForm(m_views.Workspace().Context(), m_pTabs);
    m_pTabs->addTab(m_pBrowse, QCoreApplication::translate("DiskView", "磁盘浏览"));

    auto* mapPage = new QSplitter(Qt::Horizontal, m_pTabs);
    auto* left = new QWidget(mapPage);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    m_pMap = new DiskMapWidget(left);
    column->addWidget(m_pMap, 1);
    column->addWidget(new DiskMapLegend(left));
    mapPage->addWidget(left);
    m_pSectorViewer = new HexGridCtrl(m_views.Notify(), mapPage);
    mapPage->addWidget(m_pSectorViewer);
    mapPage->setSizes({420, 480});
    m_pTabs->addTab(mapPage, QCoreApplication::translate("DiskView", "扇区类型"));
    m_pHex = new PagedDataCtrl(PagedDataCtrl::Form::kHex, m_pTabs);
    m_pTabs->addTab(m_pHex, QCoreApplication::translate("DiskView", "十六进制"));
    connect(m_pMap, &DiskMapWidget::SectorChosen, this, &DiskView::ShowSector);

    m_pDescription = new QPlainTextEdit(splitter);
    m_pDescription->setObjectName(QStringLiteral("description"));
    m_pDescription->setReadOnly(true);
    splitter->addWidget(m_pTabs);
    splitter->addWidget(m_pDescription);
    splitter->setSizes({460, 80});
    layout->addWidget(splitter);
    return true;
}

void DiskView::RefreshView() {
    Volume* volume = m_views.CurrentVolume();
    FileItem* item = m_views.CurrentItem();
    if (volume != m_pMap->CurrentVolume()) m_pMap->ShowVolume(volume);
    if (volume && item && !item->IsDirectory()) m_pMap->ShowItem(item);
    ShowCurrentFile(m_views, *m_pHex);
    if (!volume || !item) {
        m_pDescription->clear();
        return;
    }
    const auto texts = FileListRowTexts(*item, volume);
    m_pDescription->setPlainText(QCoreApplication::translate("DiskView", "%1\n开始扇区 %2  物理长度 %3")
                                     .arg(FromUtf8(texts[9]), FromUtf8(texts[7]), FromUtf8(texts[5])));
}

void DiskView::AuxiliaryCommand() {
    if (m_pMap->CurrentVolume()) ShowSector(0);
}

void DiskView::ShowSector(uint64_t sector) {
    Volume* volume = m_pMap->CurrentVolume();
    if (!volume || !volume->GetDataSource()) return;
    const uint32_t bytes = volume->BytesPerSector();
    std::vector<uint8_t> buffer(bytes);
    // Sources count 512-byte units; the volume counts its own sectors.
    const uint64_t unit = volume->StartSector() + sector * (bytes / 512);
    if (!volume->GetDataSource()->GetData(buffer.data(), bytes, unit)) return;
    m_pSectorViewer->SetRows(static_cast<int>(bytes / 16));
    m_pSectorViewer->SetColumns(16);
    m_pSectorViewer->SetData(buffer.data(), buffer.size());
    m_pSectorViewer->Render();
}

}  // namespace delvora
