#include "views/viewer_windows.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <vector>

#include "case/case_workspace.h"
#include "case/data_item.h"
#include "disk/data_source.h"
#include "fs/volume.h"
#include "views/disk_browse_form.h"
#include "views/disk_map_widget.h"
#include "views/hex_grid_ctrl.h"
#include "views/time_line_widget.h"

namespace delvora {
namespace {

QMdiSubWindow* AddWindow(QMdiArea& area, QWidget* widget, const QString& title) {
    widget->setAttribute(Qt::WA_DeleteOnClose);
    widget->setWindowTitle(title);
    QMdiSubWindow* window = area.addSubWindow(widget);
    window->resize(900, 560);
    window->show();
    return window;
}

}  // namespace

ViewerWindows::ViewerWindows(QMdiArea& area, CaseWorkspace& workspace, QObject* parent)
    : QObject(parent), m_area(area), m_workspace(workspace) {}

DiskMapWidget* ViewerWindows::Map() const { return m_pMap; }
TimeLineWidget* ViewerWindows::TimeLine() const { return m_pTimeLine; }

void ViewerWindows::AddMenuActions(QMenu& menu) {
    menu.addSeparator();
    menu.addAction(QStringLiteral("磁盘浏览"), this, [this] { OpenDiskBrowse(); });
    menu.addAction(QStringLiteral("磁盘图"), this, [this] { OpenDiskMap(); });
    menu.addAction(QStringLiteral("时间线"), this, [this] { OpenTimeLine(); });
}

QWidget* ViewerWindows::OpenDiskBrowse() {
    if (!m_pBrowse) {
        m_pBrowse = new DiskBrowseForm(m_workspace.Context());
        AddWindow(m_area, m_pBrowse, QStringLiteral("磁盘浏览"));
    }
    return m_pBrowse;
}

QWidget* ViewerWindows::OpenDiskMap() {
    if (m_pMapWindow) return m_pMapWindow;
    auto* window = new QSplitter(Qt::Horizontal);
    window->setObjectName(QStringLiteral("diskMapWindow"));
    auto* left = new QWidget(window);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    m_pMap = new DiskMapWidget(left);
    column->addWidget(m_pMap, 1);
    column->addWidget(new DiskMapLegend(left));
    m_pMapViewer = new HexGridCtrl(m_workspace.Context().Notify(), window);
    window->addWidget(left);
    window->addWidget(m_pMapViewer);
    window->setSizes({420, 480});
    connect(m_pMap, &DiskMapWidget::SectorChosen, this, &ViewerWindows::ShowSector);
    m_pMapWindow = window;
    AddWindow(m_area, window, QStringLiteral("磁盘图"));
    // The first loaded volume until the case tree chooses another.
    for (const auto& item : m_workspace.Items())
        if (!item->volumes.empty()) {
            OnVolumeSelected(item->volumes.front().get());
            break;
        }
    return window;
}

QWidget* ViewerWindows::OpenTimeLine() {
    if (m_pTimeWindow) return m_pTimeWindow;
    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("timeLineWindow"));
    auto* column = new QVBoxLayout(window);
    auto* bar = new QHBoxLayout;
    auto* edit = new QLineEdit(window);
    edit->setObjectName(QStringLiteral("timeEdit"));
    edit->setMaximumWidth(170);
    auto* query = new QPushButton(QStringLiteral("时间查询"), window);
    auto* recurse = new QCheckBox(QStringLiteral("包括子文件夹"), window);
    recurse->setObjectName(QStringLiteral("recurse"));
    bar->addWidget(edit);
    bar->addWidget(query);
    bar->addWidget(new QLabel(QStringLiteral("时间格式: 2003-06-29 04:14:26"), window));
    bar->addStretch(1);
    m_pTimeLine = new TimeLineWidget(window);
    // The switches of the three time kinds, all on at first.
    const std::pair<const char*, bool TimeSwitches::*> kinds[] = {
        {"创建时间", &TimeSwitches::created}, {"修改时间", &TimeSwitches::modified}, {"访问时间", &TimeSwitches::accessed}};
    for (const auto& [label, field] : kinds) {
        auto* box = new QCheckBox(QString::fromUtf8(label), window);
        box->setChecked(true);
        bar->addWidget(box);
        connect(box, &QCheckBox::toggled, this, [this, field = field](bool on) {
            m_pTimeLine->Index().switches.*field = on;
            m_pTimeLine->ShowItem(m_pFolder, m_bRecurse);
        });
    }
    bar->addWidget(recurse);
    column->addLayout(bar);
    column->addWidget(m_pTimeLine, 1);
    connect(query, &QPushButton::clicked, this, [this, edit] { m_pTimeLine->Query(edit->text()); });
    connect(edit, &QLineEdit::returnPressed, this, [this, edit] { m_pTimeLine->Query(edit->text()); });
    connect(m_pTimeLine, &TimeLineWidget::TimeText, edit, &QLineEdit::setText);
    // A file picked on the time line becomes the case's current item and is
    // marked on the disk map.
    connect(m_pTimeLine, &TimeLineWidget::ItemChosen, this, [this](FileItem* item) {
        Volume* volume = VolumeOf(item);
        if (!volume || item == volume->Tree().CurrentItem()) return;
        volume->Tree().MarkCurrent(item);
        if (m_pMap && volume == m_pMap->CurrentVolume()) m_pMap->ShowItem(item);
    });
    connect(recurse, &QCheckBox::toggled, this, [this](bool on) {
        m_bRecurse = on;
        m_pTimeLine->ShowItem(m_pFolder, m_bRecurse);
    });
    m_pTimeWindow = window;
    AddWindow(m_area, window, QStringLiteral("时间线"));
    m_pTimeLine->ShowItem(m_pFolder, m_bRecurse);
    return window;
}

void ViewerWindows::OnVolumeSelected(Volume* volume) {
    if (m_pMap && volume != m_pMap->CurrentVolume()) m_pMap->ShowVolume(volume);
    m_pFolder = volume ? volume->RootItem() : nullptr;
    if (m_pTimeLine) m_pTimeLine->ShowItem(m_pFolder, m_bRecurse);
}

void ViewerWindows::OnItemSelected(FileItem* item) {
    Volume* volume = VolumeOf(item);
    if (m_pMap && volume) {
        if (volume != m_pMap->CurrentVolume()) m_pMap->ShowVolume(volume);
        if (!item->IsDirectory()) m_pMap->ShowItem(item);
    }
    m_pFolder = item;
    if (m_pTimeLine) m_pTimeLine->ShowItem(item, m_bRecurse);
}

Volume* ViewerWindows::VolumeOf(const FileItem* item) const {
    if (!item) return nullptr;
    // Up through parent fields to a top item; the tree is finite and each
    // step goes one level up.
    while (item->parent) item = item->parent;
    for (const auto& data : m_workspace.Items())
        for (const auto& volume : data->volumes)
            if (volume->RootItem() == item || volume->RecycleItem() == item) return volume.get();
    return nullptr;
}

void ViewerWindows::ShowSector(uint64_t sector) {
    Volume* volume = m_pMap ? m_pMap->CurrentVolume() : nullptr;
    if (!volume || !volume->GetDataSource() || !m_pMapViewer) return;
    const uint32_t bytes = volume->BytesPerSector();
    std::vector<uint8_t> buffer(bytes);
    // Sources count 512-byte units; the volume counts its own sectors.
    const uint64_t unit = volume->StartSector() + sector * (bytes / 512);
    if (!volume->GetDataSource()->GetData(buffer.data(), bytes, unit)) return;
    m_pMapViewer->SetRows(static_cast<int>(bytes / 16));
    m_pMapViewer->SetColumns(16);
    m_pMapViewer->SetData(buffer.data(), buffer.size());
    m_pMapViewer->Render();
}

}  // namespace delvora
