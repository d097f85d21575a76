#include "app/search_commands.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStyle>
#include <QTreeWidget>

#include "app/browse_bar.h"
#include "app/keyword_dialog.h"
#include "ui/qt_text.h"
#include "app/search_dialog.h"
#include "app/workstation.h"
#include "case/keyword_search_worker.h"
#include "common/options.h"
#include "views/search_results_view.h"

namespace delvora {

SearchCommands::SearchCommands(Workstation& workstation, BrowseBar& browse, QMdiArea& documents, QWidget* frame)
    : QObject(frame), m_ws(workstation), m_browse(browse), m_documents(documents), m_pFrame(frame) {
    runKeywordDialog = [](KeywordDialog& dialog) { return dialog.exec(); };
    runSearchDialog = [](SearchDialog& dialog) { return dialog.exec(); };
    m_pAddKeyword = new QAction(QStringLiteral("增加关键字"), this);
    m_pAddKeyword->setObjectName(QStringLiteral("addKeywordAction"));
    connect(m_pAddKeyword, &QAction::triggered, this, &SearchCommands::AddKeyword);
    m_pModifyKeyword = new QAction(QStringLiteral("修改关键字"), this);
    m_pModifyKeyword->setObjectName(QStringLiteral("modifyKeywordAction"));
    connect(m_pModifyKeyword, &QAction::triggered, this, &SearchCommands::ModifyKeyword);
    m_pSearch = new QAction(frame->style()->standardIcon(QStyle::SP_FileDialogContentsView),
                            QStringLiteral("搜索 (搜索关键字)"), this);
    m_pSearch->setObjectName(QStringLiteral("searchAction"));
    m_pSearch->setToolTip(QStringLiteral("搜索关键字"));
    m_pSearch->setStatusTip(QStringLiteral("搜索关键字"));
    connect(m_pSearch, &QAction::triggered, this, &SearchCommands::Search);

    QTreeWidget* pTree = m_browse.Tree();
    pTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pTree, &QTreeWidget::customContextMenuRequested, this, &SearchCommands::OnContextMenu);
}

CaseItem* SearchCommands::SelectedKeywordNode() const {
    QTreeWidgetItem* pNode = m_browse.Tree()->currentItem();
    if (!pNode || pNode->data(0, BrowseBar::kKindRole).toInt() != node_kinds::kKeyword) return nullptr;
    return reinterpret_cast<CaseItem*>(pNode->data(0, BrowseBar::kNodeRole).value<quintptr>());
}

void SearchCommands::OnContextMenu(const QPoint& at) {
    if (!SelectedKeywordNode()) return;
    QMenu menu(m_browse.Tree());
    menu.addActions({m_pAddKeyword, m_pModifyKeyword});
    menu.exec(m_browse.Tree()->viewport()->mapToGlobal(at));
}

void SearchCommands::AddKeyword() {
    CaseItem* pParent = SelectedKeywordNode();
    if (!pParent) return;
    KeywordDialog dialog(m_ws.Notify(), m_ws.Context().Options().codepage, m_pFrame);
    if (runKeywordDialog(dialog) != QDialog::Accepted) return;
    auto pKeyword = std::make_unique<CaseItem>(dialog.Name().toStdString(), node_kinds::kKeyword);
    pKeyword->SetImages(2, 3);
    pKeyword->number = dialog.Type();
    pKeyword->text = dialog.Text().toStdString();
    pParent->AddChild(std::move(pKeyword));
    m_browse.RebuildCaseTree();
}

void SearchCommands::ModifyKeyword() {
    CaseItem* pKeyword = SelectedKeywordNode();
    if (!pKeyword) return;
    KeywordDialog dialog(m_ws.Notify(), m_ws.Context().Options().codepage, m_pFrame);
    dialog.SetKeyword(FromUtf8(pKeyword->name), FromUtf8(pKeyword->text), pKeyword->number);
    if (runKeywordDialog(dialog) != QDialog::Accepted) return;
    pKeyword->number = dialog.Type();
    pKeyword->text = dialog.Text().toStdString();
    pKeyword->name = dialog.Name().toStdString();
    if (QTreeWidgetItem* pNode = m_browse.Tree()->currentItem()) pNode->setText(0, dialog.Name());
}

void SearchCommands::Search() {
    if (m_ws.Workspace().RefuseIfBusy()) return;
    SearchDialog dialog(m_ws.Workspace(), m_ws.Notify(), m_pFrame);
    if (runSearchDialog(dialog) != QDialog::Accepted || !dialog.Request().volume) return;
    StartSearch(dialog.Request());
}

void SearchCommands::StartSearch(const SearchRequest& request) {
    // The folder is emptied now: nothing may show its hits any more.
    m_browse.Tree()->setCurrentItem(nullptr);
    if (m_pView) m_pView->ShowFolder(nullptr);
    m_pShown = nullptr;
    if (StartKeywordSearch(m_ws.Workspace(), request) == kSearchDone && m_ws.Workspace().IsBusy())
        m_browse.RebuildCaseTree();  // the (emptied) folder shows while the worker runs
}

bool SearchCommands::ShowResults(const CaseItem* folder) {
    CaseWorkspace& workspace = m_ws.Workspace();
    if (!folder || folder == &workspace.Searches() || folder->kind != node_kinds::kSearchFolder) return false;
    // A running search fills its folder at its end; the list waits for that.
    if (workspace.IsBusy() || workspace.WorkerRunning()) return false;
    if (!m_pResultsWindow) {
        m_pView = new SearchResultsView;
        m_pResultsWindow = m_documents.addSubWindow(m_pView);
        m_pResultsWindow->setObjectName(QStringLiteral("searchResultsWindow"));
        m_pResultsWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_pResultsWindow->setWindowTitle(FromUtf8(folder->name));
    m_pView->ShowFolder(folder);
    m_pShown = folder;
    m_pResultsWindow->showMaximized();
    m_documents.setActiveSubWindow(m_pResultsWindow);
    return true;
}

void SearchCommands::Refresh() {
    if (!m_pView) return;
    // Result folders live as long as the case: the same one is read again.
    m_pView->ShowFolder(m_pShown);
}

}  // namespace delvora
