#include "views/view_set.h"

#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

#include <algorithm>

#include "ui/tree_icons.h"
#include "case/case_workspace.h"
#include "fs/volume.h"
#include "recovery/scratch_folder.h"
#include "views/delvora_view.h"
#include "views/colligation_view.h"
#include "views/data_views.h"
#include "views/disk_view.h"
#include "views/file_list_view.h"
#include "views/picture_views.h"
#include "views/script_view.h"
#include "views/time_line_view.h"
#include "views/view_printing.h"
#include "views/web_view.h"

namespace delvora {
namespace {

struct KindText {
    const char* menu;
    const char* title;
};

// Window-menu label and the title the view gives itself, in menu order.
constexpr KindText kKindTexts[kViewKindCount] = {
    {QT_TRANSLATE_NOOP("ViewSet", "文本视图"), QT_TRANSLATE_NOOP("ViewSet", "文本视图")},     {QT_TRANSLATE_NOOP("ViewSet", "十六进制视图"), QT_TRANSLATE_NOOP("ViewSet", "十六进制视图")}, {QT_TRANSLATE_NOOP("ViewSet", "文件列表视图"), QT_TRANSLATE_NOOP("ViewSet", "列表视图")},
    {QT_TRANSLATE_NOOP("ViewSet", "图像视图"), QT_TRANSLATE_NOOP("ViewSet", "图像视图")},     {QT_TRANSLATE_NOOP("ViewSet", "图像列表视图"), QT_TRANSLATE_NOOP("ViewSet", "图像列表视图")}, {QT_TRANSLATE_NOOP("ViewSet", "扇区察看视图"), QT_TRANSLATE_NOOP("ViewSet", "扇区视图")},
    {QT_TRANSLATE_NOOP("ViewSet", "网页视图"), QT_TRANSLATE_NOOP("ViewSet", "网页视图")},     {QT_TRANSLATE_NOOP("ViewSet", "综合视图"), QT_TRANSLATE_NOOP("ViewSet", "综合视图")},         {QT_TRANSLATE_NOOP("ViewSet", "时间线视图"), QT_TRANSLATE_NOOP("ViewSet", "时间线视图")},
    {QT_TRANSLATE_NOOP("ViewSet", "脚本编程视图"), QT_TRANSLATE_NOOP("ViewSet", "脚本编程视图")},
};

QString TitleOf(ViewKind kind) { return QCoreApplication::translate("ViewSet", kKindTexts[static_cast<int>(kind)].title); }

}  // namespace

ViewSet::ViewSet(QMdiArea& area, CaseWorkspace& workspace, QObject* parent)
    : QObject(parent), m_area(area), m_workspace(workspace) {}

ViewSet::~ViewSet() = default;

QString ViewSet::MenuText(ViewKind kind) { return QCoreApplication::translate("ViewSet", kKindTexts[static_cast<int>(kind)].menu); }

void ViewSet::AddMenuActions(QMenu& menu) {
    menu.addSeparator();
    for (int i = 0; i < kViewKindCount; ++i) {
        const auto kind = static_cast<ViewKind>(i);
        QAction* action = menu.addAction(MenuText(kind), this, [this, kind] { OpenView(kind); });
        action->setObjectName(QStringLiteral("view%1Action").arg(i + 1));
    }
    // Listed, but there is no report view to open.
    menu.addAction(QCoreApplication::translate("ViewSet", "报表视图"))->setObjectName(QStringLiteral("reportViewAction"));
}

void ViewSet::AddPrintActions(QMenu& menu) {
    menu.addAction(QCoreApplication::translate("ViewSet", "打印..."), this, [this] {
        if (DelvoraView* view = ActiveView()) PrintView(*this, *view);
    });
    menu.addAction(QCoreApplication::translate("ViewSet", "打印预览"), this, [this] {
        if (DelvoraView* view = ActiveView()) PreviewView(*this, *view);
    });
}

void ViewSet::AddCopyActions(QMenu& menu) {
    // No shortcuts: Ctrl+C belongs to whatever control has the focus.
    menu.addAction(QCoreApplication::translate("ViewSet", "拷贝(&C)"), this, [this] {
        if (DelvoraView* view = ActiveView()) view->CopySelection();
    });
    menu.addAction(QCoreApplication::translate("ViewSet", "十六进制拷贝(&T)"), this, [this] {
        if (DelvoraView* view = ActiveView()) view->HexCopySelection();
    });
}

DelvoraView* ViewSet::ActiveView() const {
    QMdiSubWindow* window = m_area.activeSubWindow();
    return window ? qobject_cast<DelvoraView*>(window->widget()) : nullptr;
}

DelvoraView* ViewSet::MakeView(ViewKind kind) {
    switch (kind) {
    case ViewKind::kText:
        return new DataView(*this, TitleOf(kind), PagedDataCtrl::Form::kText);
    case ViewKind::kHex:
        return new DataView(*this, TitleOf(kind), PagedDataCtrl::Form::kHex);
    case ViewKind::kPicture:
        return new PictureView(*this, TitleOf(kind));
    case ViewKind::kPictureList:
        return new PictureListView(*this, TitleOf(kind));
    case ViewKind::kWeb:
        return new WebView(*this, TitleOf(kind));
    case ViewKind::kColligation:
        return new ColligationView(*this, TitleOf(kind));
    case ViewKind::kFileList:
        return new FileListView(*this, TitleOf(kind));
    case ViewKind::kDisk:
        return new DiskView(*this, TitleOf(kind));
    case ViewKind::kTimeLine:
        return new TimeLineView(*this, TitleOf(kind));
    case ViewKind::kScript:
        return new ScriptView(*this, TitleOf(kind));
    }
    // Only a value outside the enumeration gets here.
    return new DelvoraView(*this, QString());
}

DelvoraView* ViewSet::OpenView(ViewKind kind) {
    DelvoraView* view = MakeView(kind);
    view->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow* window = m_area.addSubWindow(view);
    view->Initialise();
    window->resize(900, 560);
    window->show();
    return view;
}

void ViewSet::SetCurrentItem(FileItem* item, Volume* volume) {
    m_current = item && volume ? ItemRef(*volume, item) : ItemRef();
    RefreshAllViews();
}

void ViewSet::ClearCurrentItem() {
    m_pResultFolder = nullptr;
    SetCurrentItem(nullptr, nullptr);
}

void ViewSet::SetResultFolder(const CaseItem* folder) {
    m_pResultFolder = folder;
    RefreshAllViews();
}

void ViewSet::RefreshAllViews() {
    // On a copy: a refresh that shows a message box runs events, and a view
    // may close meanwhile.
    const std::vector<DelvoraView*> views = m_views;
    for (DelvoraView* view : views)
        if (std::find(m_views.begin(), m_views.end(), view) != m_views.end()) view->DeliverRefresh();
}

void ViewSet::SetSkipFlags() {
    for (DelvoraView* view : m_views) view->SetSkipFlag();
}

void ViewSet::Unregister(DelvoraView* view) { std::erase(m_views, view); }

Volume* ViewSet::VolumeOf(const FileItem* item) const {
    if (!item) return nullptr;
    // Up through parent fields to a top item; the tree is finite and each
    // step goes one level up.
    while (item->parent) item = item->parent;
    for (const auto& data : m_workspace.Items())
        for (const auto& volume : data->volumes)
            if (volume->RootItem() == item || volume->RecycleItem() == item) return volume.get();
    return nullptr;
}

Notifier& ViewSet::Notify() { return m_workspace.Context().Notify(); }

TreeIcons& ViewSet::Icons() {
    if (!m_pIcons) m_pIcons = std::make_unique<TreeIcons>();
    return *m_pIcons;
}

class ScratchFolder& ViewSet::Scratch() {
    if (!m_pScratch) m_pScratch = std::make_unique<ScratchFolder>();
    return *m_pScratch;
}

}  // namespace delvora
