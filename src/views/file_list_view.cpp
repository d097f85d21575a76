#include "views/file_list_view.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <fcntl.h>
#include <unistd.h>

#include "common/translation.h"
#include "ui/wait_cursor.h"
#include "case/case_workspace.h"
#include "common/options.h"
#include "common/text_format.h"
#include "fs/file_item.h"
#include "fs/volume.h"
#include "recovery/export_item.h"
#include "recovery/export_names.h"
#include "recovery/folder_export.h"
#include "recovery/scratch_folder.h"
#include "views/file_list_model.h"
#include "views/view_set.h"

namespace delvora {
namespace {

constexpr int kColumnWidths[kFileListColumns] = {200, 140, 140, 80, 80, 80, 80, 80, 120, 500};

}  // namespace

FileListView::FileListView(ViewSet& views, QString title, QWidget* parent)
    : DelvoraView(views, std::move(title), parent) {
    setObjectName(QStringLiteral("fileListView"));
}

bool FileListView::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pList = new QTreeView(this);
    m_pList->setObjectName(QStringLiteral("fileList"));
    m_pModel = new FileListModel(m_views.Icons(), m_pList);
    m_pModel->SetHashResults(&m_views.Workspace().Hashes());
    m_pList->setModel(m_pModel);
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setSortingEnabled(true);
    // Rows keep the folder's order until a heading is clicked.
    m_pList->header()->setSortIndicator(-1, Qt::AscendingOrder);
    for (int i = 0; i < static_cast<int>(kFileListColumns); ++i) m_pList->setColumnWidth(i, kColumnWidths[i]);
    m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!SelectedItem()) return;
        QMenu* menu = MakeContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_pList->viewport()->mapToGlobal(at));
    });
    connect(m_pList, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        FileItem* item = m_pModel->ItemAt(index.row());
        if (item && item->IsDirectory()) m_views.SetCurrentItem(item, m_pModel->CurrentVolume());
    });
    // Known files (of a known hash set) can be put out of the way.
    m_pHideKnown = new QCheckBox(QCoreApplication::translate("FileListView", "隐藏已知文件"), this);
    m_pHideKnown->setObjectName(QStringLiteral("hideKnownFiles"));
    connect(m_pHideKnown, &QCheckBox::toggled, this, [this](bool on) {
        m_pModel->SetHideKnown(on);
        RefreshView();
    });
    layout->addWidget(m_pHideKnown);
    layout->addWidget(m_pList);
    return true;
}

void FileListView::RefreshView() {
    FileItem* item = m_views.CurrentItem();
    Volume* volume = m_views.CurrentVolume();
    // A file is shown among its folder's entries; a volume's top item lists
    // its own, whatever its attributes say.
    FileItem* folder = item && !item->IsDirectory() && item->parent ? item->parent : item;
    m_pModel->ShowFolder(folder, volume);
    m_pList->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_pHideKnown->setVisible(m_pModel->columnCount() > static_cast<int>(kFileListColumns));
    if (m_pModel->columnCount() > static_cast<int>(kFileListColumns) &&
        m_pList->header()->visualIndex(kFileListColumns) == static_cast<int>(kFileListColumns)) {
        // Shown beside the name, where it is seen without scrolling.
        m_pList->setColumnWidth(kFileListColumns, 260);
        m_pList->header()->moveSection(kFileListColumns, 1);
    }
    if (item != folder) {
        const int row = m_pModel->RowOf(item);
        if (row >= 0) m_pList->setCurrentIndex(m_pModel->index(row, 0));
    }
}

QStringList FileListView::PrintRows(int maxRows) {
    QStringList rows;
    const int count = std::min(m_pModel->rowCount(), std::max(0, maxRows - 1));
    for (int row = -1; row < count; ++row) {
        QStringList cells;
        for (int column = 0; column < m_pModel->columnCount(); ++column)
            cells << (row < 0 ? m_pModel->headerData(column, Qt::Horizontal, Qt::DisplayRole) : m_pModel->index(row, column).data()).toString();
        rows << cells.join(QStringLiteral("  "));
    }
    return rows;
}

FileItem* FileListView::SelectedItem() const {
    const QModelIndex index = m_pList->currentIndex();
    return index.isValid() ? m_pModel->ItemAt(index.row()) : nullptr;
}

QMenu* FileListView::MakeContextMenu() {
    auto* menu = new QMenu(this);
    menu->addAction(QCoreApplication::translate("FileListView", "导出..."), this, &FileListView::Export);
    QAction* open = menu->addAction(QCoreApplication::translate("FileListView", "打开"), this, [this] { OpenWithProgram(SelectedItem()); });
    FileItem* item = SelectedItem();
    open->setEnabled(item && !item->IsDirectory());
    const std::pair<const char*, std::function<void(FileItem*, Volume*)>*> dialogs[] = {
        {QT_TRANSLATE_NOOP("FileListView", "修改开始簇号"), &m_views.startClusterDialog},
        {QT_TRANSLATE_NOOP("FileListView", "属性"), &m_views.propertiesDialog}};
    for (const auto& [label, dialog] : dialogs) {
        QAction* action = menu->addAction(QCoreApplication::translate("FileListView", label), this, [this, dialog = dialog] {
            if (FileItem* selected = SelectedItem(); selected && *dialog) (*dialog)(selected, m_pModel->CurrentVolume());
        });
        action->setEnabled(static_cast<bool>(*dialog));
    }
    return menu;
}

void FileListView::Export() {
    FileItem* item = SelectedItem();
    if (!item) return;
    const QString folder = QFileDialog::getExistingDirectory(this, QCoreApplication::translate("FileListView", "导出..."));
    if (!folder.isEmpty()) ExportTo(item, folder);
}

bool FileListView::ExportTo(FileItem* item, const QString& folder) {
    Volume* volume = m_pModel->CurrentVolume();
    if (!item || !volume || folder.isEmpty()) return false;
    const std::string strFolder = folder.toStdString();
    WaitCursor wait;
    if (item->IsDirectory()) {
        FolderExporter exporter(*volume, FolderExportOptions::From(m_views.Workspace().Options()));
        return exporter.ExportFolder(*item, strFolder, item == volume->RootItem()) && exporter.Summary().failed == 0;
    }
    const int dirFd = ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        m_views.Workspace().Context().Logger().AppendLog(Format(Tr("FileListView", "创建文件失败:%s"), strFolder.c_str()));
        return false;
    }
    std::string chosen;
    const int fd = CreateTargetFile(dirFd, SingleExportName(item->name ? item->name : ""), TargetNaming{}, chosen);
    ::close(dirFd);
    const std::string path = strFolder + "/" + chosen;
    if (fd < 0) {
        m_views.Workspace().Context().Logger().AppendLog(Format(Tr("FileListView", "创建文件失败:%s"), path.c_str()));
        return false;
    }
    LogNonDefaultOptions(volume->Context(), Tr("FileListView", "导出"));
    return ExportItemToFd(*volume, *item, fd, path);
}

bool FileListView::OpenWithProgram(FileItem* item) {
    Volume* volume = m_pModel->CurrentVolume();
    if (!item || !volume || item->IsDirectory()) return false;
    std::string path;
    {
        WaitCursor wait;
        if (!ExportForOpen(volume, item, m_views.Scratch(), path)) return false;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace delvora
