#pragma once
// The document views of the window: the ten kinds opened from the window
// menu as children of the document area, the list of open views, and the
// current item (the file or folder chosen in the browse bar) that every view
// follows.
#include <QObject>

#include "fs/item_ref.h"

#include <functional>
#include <memory>
#include <vector>

class QMdiArea;
class QMenu;

namespace delvora {

class CaseItem;
class CaseWorkspace;
class DelvoraView;
class Notifier;
class QtNotifier;
class ScratchFolder;
class TreeIcons;
class Volume;
struct FileItem;

/// The kinds in the window menu's order.
enum class ViewKind : int {
    kText,
    kHex,
    kFileList,
    kPicture,
    kPictureList,
    kDisk,
    kWeb,
    kColligation,
    kTimeLine,
    kScript,
};
inline constexpr int kViewKindCount = 10;

class ViewSet : public QObject {
    Q_OBJECT
public:
    ViewSet(QMdiArea& area, CaseWorkspace& workspace, QObject* parent = nullptr);
    ~ViewSet() override;

    /// The ten view commands and "报表视图" (which opens nothing).
    void AddMenuActions(QMenu& menu);
    /// "打印..." and "打印预览" for the active view.
    void AddPrintActions(QMenu& menu);
    /// "拷贝(&C)" and "十六进制拷贝(&T)" for the active view.
    void AddCopyActions(QMenu& menu);
    /// The view of the active child window, or null.
    DelvoraView* ActiveView() const;
    /// Opens a new visible child window of a kind; answers its view.
    DelvoraView* OpenView(ViewKind kind);
    /// The window-menu label of a kind ("文件列表视图").
    static QString MenuText(ViewKind kind);

    // The current item. A folder, a file, or nothing; its volume with it.
    // Nothing once a residual search or reload took the item away.
    FileItem* CurrentItem() const { return m_current.Item(); }
    Volume* CurrentVolume() const { return m_current.Item() ? m_current.GetVolume() : nullptr; }
    /// Makes item current and refreshes every view.
    void SetCurrentItem(FileItem* item, Volume* volume);
    /// Lets go of the current item (its array may have moved) and refreshes.
    void ClearCurrentItem();
    /// The result folder chosen in the browse bar (the combined view shows
    /// its hits); cleared with the current item.
    const CaseItem* ResultFolder() const { return m_pResultFolder; }
    void SetResultFolder(const CaseItem* folder);
    /// Delivers a refresh to every open view.
    void RefreshAllViews();
    /// Sets the one-shot skip flag on every view that keeps one.
    void SetSkipFlags();
    /// The loaded volume whose tree holds item, or null.
    Volume* VolumeOf(const FileItem* item) const;

    const std::vector<DelvoraView*>& Views() const { return m_views; }
    void Register(DelvoraView* view) { m_views.push_back(view); }
    void Unregister(DelvoraView* view);

    CaseWorkspace& Workspace() { return m_workspace; }
    Notifier& Notify();
    TreeIcons& Icons();
    /// The scratch folder for "a.<ext>" and "web.<ext>" copies, made on first use.
    class ScratchFolder& Scratch();

    /// Dialogs of the file list's menu that other parts of the window own
    /// ("修改开始簇号", "属性"); unset, their commands are disabled.
    std::function<void(FileItem*, Volume*)> startClusterDialog;
    std::function<void(FileItem*, Volume*)> propertiesDialog;
    /// The window's message-box notifier, when it is one: a view that waits
    /// for a thread of its own lets that thread's boxes through meanwhile.
    QtNotifier* boxes = nullptr;

private:
    DelvoraView* MakeView(ViewKind kind);

    QMdiArea& m_area;
    CaseWorkspace& m_workspace;
    std::vector<DelvoraView*> m_views;
    ItemRef m_current;
    const CaseItem* m_pResultFolder = nullptr;
    std::unique_ptr<TreeIcons> m_pIcons;
    std::unique_ptr<class ScratchFolder> m_pScratch;  // "class": app_paths.h has a function of that name
};

}  // namespace delvora
