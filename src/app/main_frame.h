#pragma once
// The workstation's main window: the document area, tool bars, the status
// bar with its progress pane, the browse bar ("文件栏") with the case tree,
// the output bar ("输出栏"), the tray icon, and the commands that reach the
// case: add data, open and save case files, help.
#include <QMainWindow>
#include <QPointer>
#include <QSettings>

#include <memory>
#include <optional>

#include "case/case_file_loader.h"
#include "case/add_data.h"
#include "disk/disk_scan.h"
#include "fs/item_ref.h"
#include "app/app_paths.h"
#include "app/manual_window.h"

class QDockWidget;
class QMdiArea;
class QMenu;
class QSystemTrayIcon;
class QToolBar;

namespace delvora {

class AddDataWizard;
class BrowseBar;
class DataItem;
class OutputBar;
class RecentFiles;
class ScriptView;
class SearchCommands;
class StatusPanes;
class Volume;
class ViewSet;
class Workstation;
struct FileItem;

struct FrameOptions {
    bool openWizardAtStart = true;  // post the add-data command once the loop runs
};

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    static QString ProgramTitle() { return QStringLiteral("Korvanta"); }

    MainFrame(Workstation& workstation, FrameOptions options = {}, QWidget* parent = nullptr);
    ~MainFrame() override;

    OutputBar* Output() const { return m_pOutput; }
    BrowseBar* Browse() const { return m_pBrowse; }
    StatusPanes* Panes() const { return m_pPanes; }
    QDockWidget* BrowseDock() const { return m_pBrowseDock; }
    QDockWidget* OutputDock() const { return m_pOutputDock; }
    QToolBar* StandardBar() const { return m_pStandardBar; }
    QMdiArea* DocumentArea() const { return m_pMdi; }
    RecentFiles& Recent() { return *m_pRecent; }
    SearchCommands* Search() const { return m_pSearch; }
    ViewSet* Views() const { return m_pViews; }

    // Commands.
    /// Runs the add-data wizard and adds what was chosen.
    void AddData();
    /// Adds a partition chosen in the wizard (the part of AddData after the wizard).
    void AddChosenRow(const ChosenRow& row, const std::optional<RemoteChoice>& remote = std::nullopt);
    /// The wizard AddData runs; tests drive it without exec.
    std::unique_ptr<AddDataWizard> MakeWizard();
    void OpenCase();
    void SaveCaseAs();
    /// Starts loading a case file into the case: items follow one another as
    /// each tree is built, without blocking the window. Answers 0 when the
    /// file could not be read or is no case.
    int OpenCaseFile(const QString& path);
    /// True while a case file's items are still being added.
    bool IsLoadingCase() const { return m_pLoader != nullptr; }
    /// Writes the case; answers 1 or 0.
    int SaveCaseFile(const QString& path, bool saveItems);
    void ClearLog();
    /// Opens the user manual in the workstation's language (one window).
    void Help();
    /// The open manual window, or null.
    ManualWindow* Manual() const { return m_pManual; }
    /// Where Help looks for the HTML manual (tests point it elsewhere).
    void SetManualFolders(const QStringList& folders) { m_manualFolders = folders; }
    void ChooseDeviceMap();
    /// Runs the residual search (with the carving options) on the volume
    /// selected in the case tree; answers false when none is selected or the
    /// case is busy.
    bool ResidualSearch();
    /// "计算哈希": hashes the files of the selected volume or folder on the worker.
    bool ComputeHashes();
    /// Opens the script programming view as a document window; answers it.
    ScriptView* OpenScriptView();
    void ShowFromTray();
    void HideToTray();
    /// The options page; applying changes every later load, search and export.
    void ShowOptions();
    /// The properties page of the browse bar's current node.
    void ShowProperties();
    /// The start-cluster dialog for the browse bar's current file item.
    void CorrectStartCluster();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateDocumentArea();
    void CreateBars();
    void CreateMenus();
    void CreateTray();
    void CreatePlacementCommands(QMenu* pData, QMenu* pView);
    void ConnectCase();
    void UpdateRecentMenu();
    void UpdateTitle();
    void OnStopRequested();
    void OnNodeSelected(int kind, void* node, Volume* volume);
    CaseFileLoader::Step ContinueCaseLoad();

    Workstation& m_ws;
    FrameOptions m_options;
    QSettings m_settings;
    std::unique_ptr<RecentFiles> m_pRecent;
    QMdiArea* m_pMdi = nullptr;
    ViewSet* m_pViews = nullptr;  // the document views and the current item they follow
    OutputBar* m_pOutput = nullptr;
    BrowseBar* m_pBrowse = nullptr;
    StatusPanes* m_pPanes = nullptr;
    QDockWidget* m_pBrowseDock = nullptr;
    QDockWidget* m_pOutputDock = nullptr;
    QToolBar* m_pStandardBar = nullptr;
    QToolBar* m_pSecondBar = nullptr;
    QMenu* m_pRecentMenu = nullptr;
    QSystemTrayIcon* m_pTray = nullptr;
    QPointer<ManualWindow> m_pManual;  // closing the window deletes it
    QStringList m_manualFolders = ManualFolders();
    SearchCommands* m_pSearch = nullptr;
    bool m_bClosing = false;
    Volume* m_pSelectedVolume = nullptr;  // the volume of the node selected in the case tree
    bool m_bSearching = false;            // a residual search may be replacing found items
    ItemRef m_selectedFolder;  // the folder node selected in the case tree, if any
    std::unique_ptr<CaseFileLoader> m_pLoader;  // the case file being read
    size_t m_nLoaderItems = 0;
};

}  // namespace delvora
