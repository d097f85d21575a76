#pragma once
// The sector viewer, disk map and time line as windows of the document
// area, opened from the window menu until the document views host them;
// each follows the node selected in the case tree.
#include <QObject>
#include <QPointer>

class QMdiArea;
class QMenu;
class QWidget;

namespace delvora {

class CaseWorkspace;
class DiskBrowseForm;
class DiskMapWidget;
class HexGridCtrl;
class TimeLineWidget;
class Volume;
struct FileItem;

class ViewerWindows : public QObject {
    Q_OBJECT
public:
    ViewerWindows(QMdiArea& area, CaseWorkspace& workspace, QObject* parent = nullptr);

    /// Adds "磁盘浏览", "磁盘图" and "时间线" to a menu.
    void AddMenuActions(QMenu& menu);
    QWidget* OpenDiskBrowse();
    QWidget* OpenDiskMap();
    QWidget* OpenTimeLine();
    /// A node of the case tree was selected (a volume or a file item); a
    /// null item lets go of every item (their arrays may have moved).
    void OnVolumeSelected(Volume* volume);
    void OnItemSelected(FileItem* item);

    DiskMapWidget* Map() const;
    TimeLineWidget* TimeLine() const;

private:
    /// The loaded volume whose tree holds item, or null.
    Volume* VolumeOf(const FileItem* item) const;
    void ShowSector(uint64_t sector);

    QMdiArea& m_area;
    CaseWorkspace& m_workspace;
    QPointer<DiskBrowseForm> m_pBrowse;
    QPointer<DiskMapWidget> m_pMap;
    QPointer<HexGridCtrl> m_pMapViewer;
    QPointer<TimeLineWidget> m_pTimeLine;
    QPointer<QWidget> m_pMapWindow, m_pTimeWindow;
    FileItem* m_pFolder = nullptr;  // what the time line shows
    bool m_bRecurse = false;
};

}  // namespace delvora
