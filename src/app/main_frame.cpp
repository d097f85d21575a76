#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

#include "app/add_data_wizard.h"
#include "app/options_dialog.h"
#include "app/app_paths.h"
#include "app/browse_bar.h"
#include "app/case_file_dialog.h"
#include "app/output_bar.h"
#include "app/progress_pane.h"
#include "app/recent_files.h"
#include "app/search_commands.h"
#include "app/status_panes.h"
#include "common/translation.h"
#include "ui/wait_cursor.h"
#include "app/workstation.h"
#include "case/add_data.h"
#include "case/case_file.h"
#include "case/case_file_loader.h"
#include "case/file_hashes.h"
#include "case/residual_worker.h"
#include "common/options.h"
#include "common/text_format.h"
#include "fs/volume.h"
#include "views/delvora_view.h"
#include "views/view_set.h"
#include "views/script_view.h"

namespace delvora {
namespace {

// How long closing waits for a stoppable worker to notice.
constexpr unsigned long kCloseWaitMs = 500;

}  // namespace

MainFrame::MainFrame(Workstation& workstation, FrameOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_ws(workstation),
      m_options(options),
      m_settings(QString::fromLatin1(kSettingsOrganisation), QString::fromLatin1(kSettingsApplication)),
      m_pRecent(std::make_unique<RecentFiles>(m_settings)) {
    setObjectName(QStringLiteral("mainFrame"));
    setAcceptDrops(true);
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
    LoadOptions(m_settings, m_ws.Workspace().Options());
    CreateDocumentArea();
    CreateBars();
    CreateMenus();
    // From here on workers may report into the bars.
    m_ws.LogSink().Attach(m_pOutput);
    m_ws.ProgressSink().Attach(m_pPanes);
    if (QtNotifier* boxes = m_ws.BoxNotifier()) boxes->SetParentWidget(this);
    CreateTray();
    ConnectCase();
    UpdateTitle();
    m_ws.LogSink().AppendLog(Format(Tr("MainFrame", "系统于 %s 启动"), NowTimestamp().c_str()));
    m_pBrowse->RebuildCaseTree();
    if (m_options.openWizardAtStart) QTimer::singleShot(0, this, &MainFrame::AddData);
}

MainFrame::~MainFrame() {
    m_ws.LogSink().Detach();
    m_ws.ProgressSink().Detach();
    if (QtNotifier* boxes = m_ws.BoxNotifier()) boxes->SetParentWidget(nullptr);
}

void MainFrame::CreateDocumentArea() {
    m_pMdi = new QMdiArea(this);
    m_pMdi->setObjectName(QStringLiteral("documentArea"));
    setCentralWidget(m_pMdi);
    m_pViews = new ViewSet(*m_pMdi, m_ws.Workspace(), this);
    m_pViews->boxes = m_ws.BoxNotifier();
    // The file list is the window a new case starts with.
    m_pViews->OpenView(ViewKind::kFileList)->parentWidget()->showMaximized();
    connect(m_pMdi, &QMdiArea::subWindowActivated, this, [this] { UpdateTitle(); });
}

void MainFrame::CreateBars() {
    m_pPanes = new StatusPanes(this);
    setStatusBar(m_pPanes);
    connect(m_pPanes->Progress(), &ProgressPane::StopRequested, this, &MainFrame::OnStopRequested);

    m_pBrowse = new BrowseBar(m_ws.Workspace(), this);
    m_pBrowseDock = new QDockWidget(QCoreApplication::translate("MainFrame", "文件栏"), this);
    m_pBrowseDock->setObjectName(QStringLiteral("browseDock"));
    m_pBrowseDock->setWidget(m_pBrowse);
    addDockWidget(Qt::LeftDockWidgetArea, m_pBrowseDock);
    connect(m_pBrowse, &BrowseBar::NodeSelected, this, &MainFrame::OnNodeSelected);

    m_pOutput = new OutputBar(this);
    m_pOutputDock = new QDockWidget(QCoreApplication::translate("MainFrame", "输出栏"), this);
    m_pOutputDock->setObjectName(QStringLiteral("outputDock"));
    m_pOutputDock->setWidget(m_pOutput);
    addDockWidget(Qt::BottomDockWidgetArea, m_pOutputDock);
    resizeDocks({m_pBrowseDock}, {260}, Qt::Horizontal);
    resizeDocks({m_pOutputDock}, {150}, Qt::Vertical);
}

void MainFrame::CreateMenus() {
    QStyle* s = style();
    auto* pOpen = new QAction(s->standardIcon(QStyle::SP_DialogOpenButton), QCoreApplication::translate("MainFrame", "打开(&O)..."), this);
    pOpen->setShortcut(QKeySequence::Open);
    connect(pOpen, &QAction::triggered, this, &MainFrame::OpenCase);
    auto* pSave = new QAction(s->standardIcon(QStyle::SP_DialogSaveButton), QCoreApplication::translate("MainFrame", "保存(&S)"), this);
    pSave->setShortcut(QKeySequence::Save);
    // The case remembers no file, so saving always asks for one.
    connect(pSave, &QAction::triggered, this, &MainFrame::SaveCaseAs);
    auto* pSaveAs = new QAction(QCoreApplication::translate("MainFrame", "另存为(&A)..."), this);
    connect(pSaveAs, &QAction::triggered, this, &MainFrame::SaveCaseAs);
    auto* pDevices = new QAction(QCoreApplication::translate("MainFrame", "设备映射文件(&D)..."), this);
    connect(pDevices, &QAction::triggered, this, &MainFrame::ChooseDeviceMap);
    auto* pExit = new QAction(QCoreApplication::translate("MainFrame", "退出(&X)"), this);
    connect(pExit, &QAction::triggered, this, &QWidget::close);
    auto* pAddData = new QAction(s->standardIcon(QStyle::SP_DriveHDIcon), QCoreApplication::translate("MainFrame", "数据 ( 加入文件系统)"), this);
    pAddData->setObjectName(QStringLiteral("addDataAction"));
    pAddData->setStatusTip(QCoreApplication::translate("MainFrame", "加入数据"));
    connect(pAddData, &QAction::triggered, this, &MainFrame::AddData);
    auto* pClear = new QAction(s->standardIcon(QStyle::SP_DialogResetButton), QCoreApplication::translate("MainFrame", "清除输出窗口数据"), this);
    connect(pClear, &QAction::triggered, this, &MainFrame::ClearLog);
    auto* pHelp = new QAction(s->standardIcon(QStyle::SP_DialogHelpButton), QCoreApplication::translate("MainFrame", "帮助"), this);
    pHelp->setShortcut(QKeySequence::HelpContents);
    connect(pHelp, &QAction::triggered, this, &MainFrame::Help);
    auto* pAbout = new QAction(QCoreApplication::translate("MainFrame", "关于 Delvora(&A)..."), this);
    connect(pAbout, &QAction::triggered, this, [this] {
        QMessageBox::about(this, QCoreApplication::translate("MainFrame", "关于 Delvora"),
                           QCoreApplication::translate("MainFrame", "%1\n磁盘检查与数据恢复工作站").arg(ProgramTitle()));
    });

    m_pStandardBar = addToolBar(QCoreApplication::translate("MainFrame", "标准"));
    m_pStandardBar->setObjectName(QStringLiteral("standardBar"));
    m_pStandardBar->addActions({pOpen, pSave, pAddData, pHelp});
    m_pSecondBar = addToolBar(QCoreApplication::translate("MainFrame", "输出"));
    m_pSecondBar->setObjectName(QStringLiteral("secondBar"));
    m_pSecondBar->addAction(pClear);
    m_pSecondBar->hide();

    QMenu* pFile = menuBar()->addMenu(QCoreApplication::translate("MainFrame", "文件(&F)"));
    pFile->addActions({pOpen, pSave, pSaveAs});
    pFile->addSeparator();
    m_pRecentMenu = pFile->addMenu(QCoreApplication::translate("MainFrame", "最近的文件"));
    pFile->addAction(pDevices);
    pFile->addSeparator();
    m_pViews->AddPrintActions(*pFile);
    pFile->addSeparator();
    pFile->addAction(pExit);
    UpdateRecentMenu();

    m_pViews->AddCopyActions(*menuBar()->addMenu(QCoreApplication::translate("MainFrame", "编辑(&E)")));

    QMenu* pData = menuBar()->addMenu(QCoreApplication::translate("MainFrame", "数据(&D)"));
    pData->addAction(pAddData);
    m_pSearch = new SearchCommands(m_ws, *m_pBrowse, *m_pMdi, this);
    menuBar()->addMenu(QCoreApplication::translate("MainFrame", "搜索(&S)"))->addActions(m_pSearch->Actions());
    m_pStandardBar->addAction(m_pSearch->SearchAction());
    auto* pResidual = new QAction(QCoreApplication::translate("MainFrame", "搜索残余文件(&R)"), this);
    pResidual->setObjectName(QStringLiteral("residualSearchAction"));
    pResidual->setStatusTip(QCoreApplication::translate("MainFrame", "在选中的卷里查找残余文件"));
    connect(pResidual, &QAction::triggered, this, [this] { ResidualSearch(); });
    pData->addSeparator();
    pData->addAction(pResidual);
    // The carving and search-loaded options steer the next search.
    AnalysisOptions& options = m_ws.Workspace().Options();
    for (auto [text, field] : {std::pair{QT_TRANSLATE_NOOP("MainFrame", "搜索已加载的文件"), &AnalysisOptions::searchLoadedFiles},
                               std::pair{QT_TRANSLATE_NOOP("MainFrame", "搜索HTML文件"), &AnalysisOptions::searchHtml},
                               std::pair{QT_TRANSLATE_NOOP("MainFrame", "搜索DOC文件"), &AnalysisOptions::searchDoc}}) {
        QAction* pOption = pData->addAction(QCoreApplication::translate("MainFrame", text));
        pOption->setCheckable(true);
        pOption->setChecked(options.*field != 0);
        connect(pOption, &QAction::toggled, this, [&options, field](bool on) { options.*field = on ? 1 : 0; });
        // The options page changes the same fields: show them as they are now.
        connect(pData, &QMenu::aboutToShow, pOption,
                [pOption, &options, field] { pOption->setChecked(options.*field != 0); });
    }
    auto* pHash = new QAction(QCoreApplication::translate("MainFrame", "计算哈希"), this);
    pHash->setObjectName(QStringLiteral("computeHashesAction"));
    pHash->setStatusTip(QCoreApplication::translate("MainFrame", "计算选中的卷或文件夹里每个文件的MD5、SHA-1和SHA-256, 并在哈希集里查找"));
    connect(pHash, &QAction::triggered, this, [this] { ComputeHashes(); });
    pData->addAction(pHash);
    // On a volume node the case tree's menu offers the search; on a volume
    // or a folder, hashing.
    connect(m_pBrowse->Tree(), &QTreeWidget::customContextMenuRequested, this, [this, pResidual, pHash](const QPoint& at) {
        QTreeWidgetItem* pNode = m_pBrowse->Tree()->currentItem();
        if (!pNode) return;
        const int kind = pNode->data(0, BrowseBar::kKindRole).toInt();
        if (kind != node_kinds::kVolume && kind != kFileItemNode) return;
        QMenu menu(m_pBrowse->Tree());
        if (kind == node_kinds::kVolume) menu.addAction(pResidual);
        menu.addAction(pHash);
        menu.exec(m_pBrowse->Tree()->viewport()->mapToGlobal(at));
    });

    QMenu* pView = menuBar()->addMenu(QCoreApplication::translate("MainFrame", "查看(&V)"));
    QAction* pToolBar = m_pStandardBar->toggleViewAction();
    pToolBar->setText(QCoreApplication::translate("MainFrame", "工具栏(&T)"));
    auto* pStatusBar = new QAction(QCoreApplication::translate("MainFrame", "状态栏(&S)"), this);
    pStatusBar->setCheckable(true);
    pStatusBar->setChecked(true);
    connect(pStatusBar, &QAction::toggled, m_pPanes, &QWidget::setVisible);
    QAction* pBrowse = m_pBrowseDock->toggleViewAction();
    pBrowse->setText(QCoreApplication::translate("MainFrame", "浏览栏(&B)"));
    QAction* pOutput = m_pOutputDock->toggleViewAction();
    pOutput->setText(QCoreApplication::translate("MainFrame", "输出栏"));
    pView->addActions({pToolBar, pStatusBar, pBrowse, pOutput});
    pView->addSeparator();
    pView->addAction(pClear);
    CreatePlacementCommands(pData, pView);

    QMenu* pWindow = menuBar()->addMenu(QCoreApplication::translate("MainFrame", "窗口(&W)"));
    pWindow->addAction(QCoreApplication::translate("MainFrame", "层叠(&C)"), m_pMdi, &QMdiArea::cascadeSubWindows);
    pWindow->addAction(QCoreApplication::translate("MainFrame", "平铺(&T)"), m_pMdi, &QMdiArea::tileSubWindows);
    m_pViews->AddMenuActions(*pWindow);

    QMenu* pHelpMenu = menuBar()->addMenu(QCoreApplication::translate("MainFrame", "帮助(&H)"));
    pHelpMenu->addActions({pHelp, pAbout});
}

void MainFrame::CreateTray() {
    m_pTray = new QSystemTrayIcon(windowIcon(), this);
    m_pTray->setToolTip(ProgramTitle());
    auto* pMenu = new QMenu(QCoreApplication::translate("MainFrame", "托盘菜单"), this);
    pMenu->addAction(QCoreApplication::translate("MainFrame", "显示窗口(&H)"), this, &MainFrame::ShowFromTray);
    pMenu->addAction(QCoreApplication::translate("MainFrame", "隐藏窗口(&S)"), this, &MainFrame::HideToTray);
    pMenu->addAction(QCoreApplication::translate("MainFrame", "关于 Delvora(&A)..."), this, [this] {
        QMessageBox::about(this, QCoreApplication::translate("MainFrame", "关于 Delvora"), ProgramTitle());
    });
    pMenu->addAction(QCoreApplication::translate("MainFrame", "退出(&X)"), this, &QWidget::close);
    m_pTray->setContextMenu(pMenu);
    connect(m_pTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && isHidden()) ShowFromTray();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable()) m_pTray->show();
}

void MainFrame::ConnectCase() {
    CaseEventRelay& relay = m_ws.Events();
    connect(&relay, &CaseEventRelay::BuildTreeRequested, this, [this](DataItem* item) {
        m_pBrowse->BuildCaseTree(item);
        // A case file being read goes on with its next item once the tree of
        // its newest one is built (an older item's late event is no signal).
        const auto& items = m_ws.Workspace().Items();
        if (m_pLoader && !items.empty() && items.back().get() == item) ContinueCaseLoad();
    });
    connect(&relay, &CaseEventRelay::RebuildTreeRequested, this, [this] { m_pBrowse->RebuildCaseTree(); });
    // A worker that ended may have grafted found items into a tree (moving
    // its children arrays): every node is made again from the case.
    connect(&relay, &CaseEventRelay::RefreshRequested, this, [this] {
        m_bSearching = false;
        m_pViews->ClearCurrentItem();
        m_pBrowse->RebuildCaseTree();
        m_pSearch->Refresh();
    });
}

void MainFrame::UpdateTitle() {
    QMdiSubWindow* pActive = m_pMdi->activeSubWindow();
    if (!pActive && !m_pMdi->subWindowList().isEmpty()) pActive = m_pMdi->subWindowList().first();
    setWindowTitle(pActive ? ProgramTitle() + QStringLiteral(" - ") + pActive->windowTitle() : ProgramTitle());
}

std::unique_ptr<AddDataWizard> MainFrame::MakeWizard() {
    return std::make_unique<AddDataWizard>(m_ws.Context(), m_ws.Notify(), this);
}

void MainFrame::AddData() {
    if (m_bClosing || m_ws.Workspace().RefuseIfBusy()) return;
    std::unique_ptr<AddDataWizard> pWizard = MakeWizard();
    if (pWizard->exec() != QDialog::Accepted) return;
    if (pWizard->VirtualChosen()) {
        WaitCursor wait;
        AddVirtualVolume(m_ws.Workspace(), pWizard->VirtualPage()->Choice());
        return;
    }
    AddChosenRow(pWizard->Chosen(), pWizard->RemoteChosen());
}

void MainFrame::AddChosenRow(const ChosenRow& row, const std::optional<RemoteChoice>& remote) {
    // A remote item loads here, on this thread, under the wait cursor.
    WaitCursor wait;
    // The case refuses here too when work started while the wizard was open.
    AddPartition(m_ws.Workspace(), row, remote ? &*remote : nullptr);
}

void MainFrame::OpenCase() {
    CaseFileDialog dialog(CaseFileDialog::Mode::Open, this);
    if (!dialog.HasSaveItemsBox()) m_ws.Notify().Message(Tr("MainFrame", "创建选择按钮失败"), "提示", MessageIcon::Error);
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenFile().isEmpty()) return;
    OpenCaseFile(dialog.ChosenFile());
}

void MainFrame::SaveCaseAs() {
    CaseFileDialog dialog(CaseFileDialog::Mode::Save, this);
    if (!dialog.HasSaveItemsBox()) m_ws.Notify().Message(Tr("MainFrame", "创建选择按钮失败"), "提示", MessageIcon::Error);
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenFile().isEmpty()) return;
    SaveCaseFile(dialog.ChosenFile(), dialog.SaveItems());
}

int MainFrame::OpenCaseFile(const QString& path) {
    // One case file at a time; the case refuses while any work runs.
    if (m_pLoader) {
        m_ws.Notify().Message(Tr("CaseWorkspace", kThreadBusy), "提示", MessageIcon::Error);
        return 0;
    }
    std::string strError;
    m_nLoaderItems = 0;
    {
        WaitCursor wait;
        m_pLoader = OpenCaseFileLoader(m_ws.Workspace(), path.toStdString(), &strError);
    }
    if (!strError.empty()) m_ws.LogSink().AppendLog(strError);
    if (!m_pLoader) return 0;
    const CaseFileLoader::Step first = ContinueCaseLoad();
    if (first == CaseFileLoader::Step::Failed && m_nLoaderItems == 0) return 0;
    m_pRecent->Add(path);
    UpdateRecentMenu();
    return 1;
}

CaseFileLoader::Step MainFrame::ContinueCaseLoad() {
    if (!m_pLoader) return CaseFileLoader::Step::Done;
    if (m_bClosing) {
        // No new item starts once the window is closing.
        m_pLoader.reset();
        return CaseFileLoader::Step::Failed;
    }
    // Next may join a worker that is writing its last lines; those must not
    // wait for this thread.
    UiWaitGuard waiting(m_ws.BoxNotifier());
    CaseFileLoader::Step step = CaseFileLoader::Step::Continue;
    // Each pass adds one record of a file of bounded size, so the loop ends;
    // it pauses while an item's tree loads and resumes from BuildCaseTree.
    while (true) {
        {
            WaitCursor wait;
            step = m_pLoader->Next();
        }
        m_nLoaderItems = m_pLoader->ItemsAdded();
        if (step != CaseFileLoader::Step::Continue) {
            m_pLoader.reset();
            return step;
        }
        if (m_ws.Workspace().IsBusy()) return step;
    }
}

int MainFrame::SaveCaseFile(const QString& path, bool saveItems) {
    WaitCursor wait;
    std::string strError;
    const int nResult = delvora::SaveCaseFile(m_ws.Workspace(), path.toStdString(), saveItems ? 1 : 0, &strError);
    if (!strError.empty()) m_ws.LogSink().AppendLog(strError);
    if (nResult) {
        m_pRecent->Add(path);
        UpdateRecentMenu();
    }
    return nResult;
}

ScriptView* MainFrame::OpenScriptView() { return static_cast<ScriptView*>(m_pViews->OpenView(ViewKind::kScript)); }

void MainFrame::UpdateRecentMenu() {
    m_pRecentMenu->clear();
    const QStringList files = m_pRecent->Files();
    for (int i = 0; i < files.size(); ++i) {
        const QString strPath = files[i];
        m_pRecentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(strPath), this,
                                 [this, strPath] { OpenCaseFile(strPath); });
    }
    m_pRecentMenu->setEnabled(!files.isEmpty());
}

void MainFrame::ClearLog() { m_pOutput->ClearLog(); }

void MainFrame::Help() {
    if (m_pManual) {
        m_pManual->raise();
        m_pManual->activateWindow();
        return;
    }
    const QString strLanguage = CurrentManualLanguage();
    QString strHtml = FindManual(strLanguage, m_manualFolders);
    // The manual in the other language is more help than none.
    if (strHtml.isEmpty())
        strHtml = FindManual(strLanguage == QLatin1String("en") ? QStringLiteral("zh") : QStringLiteral("en"), m_manualFolders);
    if (!strHtml.isEmpty()) {
        m_pManual = new ManualWindow(strHtml, this);
        m_pManual->show();
        return;
    }
    // A manual placed beside the program by hand (Delvora.chm) needs the desktop's viewer.
    const QString strManual = ManualPath();
    if (strManual.isEmpty()) {
        m_ws.Notify().Message(Tr("MainFrame", "没有用户手册!"), "提示", MessageIcon::Error);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(strManual));
}

void MainFrame::ChooseDeviceMap() {
    // A worker may be resolving device names through the map.
    if (m_ws.Workspace().RefuseIfBusy()) return;
    const QString strPath = QFileDialog::getOpenFileName(this, QCoreApplication::translate("MainFrame", "设备映射文件"), m_ws.DeviceMapFile());
    if (strPath.isEmpty()) return;
    QString strError;
    if (!m_ws.LoadDeviceMap(strPath, strError)) {
        m_ws.Notify().Message(strError.toStdString(), "提示", MessageIcon::Error);
        return;
    }
    m_ws.LogSink().AppendLog(Tr("MainFrame", "设备映射: ") + strPath.toStdString());
}

void MainFrame::ShowFromTray() {
    showMaximized();
    raise();
    activateWindow();
}

void MainFrame::HideToTray() { hide(); }

void MainFrame::OnStopRequested() {
    if (m_ws.Workspace().IsBusy()) m_ws.Workspace().RequestStop();
    // A script that never returns is stopped from the same pane.
    for (QMdiSubWindow* pChild : m_pMdi->subWindowList()) {
        auto* pScript = qobject_cast<ScriptView*>(pChild->widget());
        if (pScript && pScript->IsRunning() && m_ws.Notify().Confirm(Tr("CaseWorkspace", kStopQuestion), "提示")) pScript->Stop();
    }
}

bool MainFrame::ResidualSearch() {
    CaseWorkspace& workspace = m_ws.Workspace();
    if (workspace.RefuseIfBusy()) return false;
    for (const auto& pItem : workspace.Items()) {
        for (const auto& pVolume : pItem->volumes) {
            if (pVolume.get() != m_pSelectedVolume) continue;
            // Found items are about to be replaced: nothing may show them meanwhile.
            m_pViews->ClearCurrentItem();
            m_selectedFolder = ItemRef();
            m_bSearching = true;
            WaitCursor wait;
            if (StartResidualSearch(workspace, *pItem, *pVolume)) return true;
            m_bSearching = false;
            return false;
        }
    }
    workspace.Context().Notify().Message(Tr("MainFrame", "请先在案例树中选择一个卷!"));
    return false;
}

bool MainFrame::ComputeHashes() {
    CaseWorkspace& workspace = m_ws.Workspace();
    if (workspace.RefuseIfBusy()) return false;
    for (const auto& pItem : workspace.Items()) {
        for (const auto& pVolume : pItem->volumes) {
            if (pVolume.get() != m_pSelectedVolume) continue;
            // The folder chosen in the tree, while it still exists; else the volume.
            FileItem* pFolder = m_selectedFolder.GetVolume() == pVolume.get() ? m_selectedFolder.Item() : nullptr;
            if (!pFolder) pFolder = pVolume->RootItem();
            if (!pFolder) return false;
            WaitCursor wait;
            return StartHashing(workspace, *pItem, *pVolume, *pFolder, workspace.Hashes(), DefaultHashSetDbPath());
        }
    }
    workspace.Context().Notify().Message(Tr("MainFrame", "请先在案例树中选择一个卷!"));
    return false;
}

void MainFrame::OnNodeSelected(int kind, void* node, Volume* volume) {
    m_pSelectedVolume = kind == node_kinds::kVolume ? static_cast<Volume*>(node) : volume;
    m_selectedFolder = kind == kFileItemNode && volume ? ItemRef(*volume, static_cast<FileItem*>(node)) : ItemRef();
    if (m_bSearching) {
        m_pViews->ClearCurrentItem();
        return;
    }
    if (kind == kFileItemNode) {
        m_pViews->SetCurrentItem(static_cast<FileItem*>(node), volume);
    } else if (kind == node_kinds::kSearchFolder && m_pSearch->ShowResults(static_cast<CaseItem*>(node))) {
        m_pViews->SetResultFolder(static_cast<CaseItem*>(node));
    } else if (kind == node_kinds::kVolume && node) {
        auto* pVolume = static_cast<Volume*>(node);
        m_pViews->SetCurrentItem(pVolume->RootItem(), pVolume);
    } else {
        m_pViews->ClearCurrentItem();
    }
}

void MainFrame::closeEvent(QCloseEvent* event) {
    m_bClosing = true;
    CaseWorkspace& workspace = m_ws.Workspace();
    if (workspace.IsBusy()) {
        m_pPanes->SetPaneText(StatusPanes::kMessage, QCoreApplication::translate("MainFrame", "等待线程退出..."));
        m_pPanes->repaint();
        // Clearing busy asks a stoppable worker to end; one that cannot stop
        // is joined when the case goes away.
        workspace.SetBusy(0);
        QThread::msleep(kCloseWaitMs);
    }
    if (m_pTray) m_pTray->hide();
    event->accept();
}

void MainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    for (const QUrl& url : event->mimeData()->urls())
        if (!url.isLocalFile()) return;
    event->acceptProposedAction();
}

void MainFrame::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    activateWindow();
    for (const QUrl& url : urls)
        if (url.isLocalFile()) OpenCaseFile(url.toLocalFile());
}

}  // namespace delvora
