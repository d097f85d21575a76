// The main frame's commands that inspect and correct the loaded case: the
// options page, the properties page and the start-cluster correction.
#include <QCoreApplication>
#include <QAction>
#include <QMenu>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>

#include "app/browse_bar.h"
#include "app/main_frame.h"
#include "app/options_dialog.h"
#include "app/properties_dialog.h"
#include "app/start_cluster_dialog.h"
#include "app/workstation.h"
#include "case/case_item.h"
#include "case/data_item.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/volume.h"
#include "views/view_set.h"

namespace delvora {
namespace {

/// What the browse bar's current node shows.
struct Current {
    std::string deviceName;
    Volume* volume = nullptr;
    FileItem* item = nullptr;
};

Current CurrentOf(const BrowseBar& browse) {
    Current current;
    const QTreeWidgetItem* node = browse.Tree()->currentItem();
    if (!node) return current;
    const int kind = node->data(0, BrowseBar::kKindRole).toInt();
    const auto pointer = node->data(0, BrowseBar::kNodeRole).value<quintptr>();
    if (kind == kFileItemNode) {
        current.volume = reinterpret_cast<Volume*>(node->data(0, BrowseBar::kVolumeRole).value<quintptr>());
        current.item = reinterpret_cast<FileItem*>(pointer);
    } else if (kind == node_kinds::kVolume) {
        current.volume = reinterpret_cast<Volume*>(pointer);
    } else if (kind == node_kinds::kDataItem) {
        if (const auto* data = reinterpret_cast<const DataItem*>(pointer)) current.deviceName = data->source->Path();
    }
    if (current.volume && current.volume->GetDataSource()) current.deviceName = current.volume->GetDataSource()->Path();
    return current;
}

}  // namespace

void MainFrame::CreatePlacementCommands(QMenu* pData, QMenu* pView) {
    auto* pOptions = new QAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), QCoreApplication::translate("MainFramePlacement", "选项..."), this);
    pOptions->setObjectName(QStringLiteral("optionsAction"));
    pOptions->setStatusTip(QCoreApplication::translate("MainFramePlacement", "分析卷、加载卷和导出文件夹的选项"));
    connect(pOptions, &QAction::triggered, this, &MainFrame::ShowOptions);
    auto* pProperties = new QAction(QCoreApplication::translate("MainFramePlacement", "属性"), this);
    connect(pProperties, &QAction::triggered, this, &MainFrame::ShowProperties);
    auto* pStartCluster = new QAction(QCoreApplication::translate("MainFramePlacement", "修改开始簇号"), this);
    connect(pStartCluster, &QAction::triggered, this, &MainFrame::CorrectStartCluster);
    pView->addSeparator();
    pView->addActions({pOptions, pProperties});
    pData->addSeparator();
    pData->addAction(pStartCluster);
    m_pStandardBar->addAction(pOptions);
    // The file list's context menu opens the same dialogs for its row.
    m_pViews->propertiesDialog = [this](FileItem* item, Volume* volume) {
        if (m_ws.Workspace().RefuseIfBusy()) return;
        const std::string device = volume && volume->GetDataSource() ? volume->GetDataSource()->Path() : std::string();
        PropertiesDialog(device, volume, item, m_ws.Notify(), this).exec();
    };
    m_pViews->startClusterDialog = [this](FileItem* item, Volume* volume) {
        if (m_ws.Workspace().RefuseIfBusy() || !item || !volume) return;
        StartClusterDialog(*volume, *item, m_ws.Notify(), this).exec();
    };
}

void MainFrame::ShowOptions() {
    // The loaders read the record while they run.
    if (m_ws.Workspace().RefuseIfBusy()) return;
    OptionsDialog dialog(m_ws.Workspace().Options(), &m_settings, this);
    dialog.exec();
}

void MainFrame::ShowProperties() {
    if (m_ws.Workspace().RefuseIfBusy()) return;
    const Current current = CurrentOf(*m_pBrowse);
    PropertiesDialog dialog(current.deviceName, current.volume, current.item, m_ws.Notify(), this);
    dialog.exec();
}

void MainFrame::CorrectStartCluster() {
    if (m_ws.Workspace().RefuseIfBusy()) return;
    const Current current = CurrentOf(*m_pBrowse);
    if (!current.volume || !current.item) {
        m_ws.Notify().Message(Tr("MainFramePlacement", "请选择一个文件!"), "提示", MessageIcon::Error);
        return;
    }
    StartClusterDialog dialog(*current.volume, *current.item, m_ws.Notify(), this);
    dialog.exec();
}

}  // namespace delvora
