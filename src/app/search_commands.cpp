#include "app/search_commands.h"

#include <QCoreApplication>
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStyle>
#include <QTreeWidget>

#include "app/browse_bar.h"
#include "app/keyword_dialog.h"
#include "common/translation.h"
#include "ui/qt_text.h"
#include "app/search_dialog.h"
#include "app/workstation.h"
#include "case/keyword_search_worker.h"
#include "common/options.h"
#include "fs/file_tree.h"
#include "fs/volume.h"
#include "search/hit_csv.h"
#include "search/hit_place.h"
#include "search/keyword_list.h"
#include "views/search_results_view.h"

namespace delvora {

SearchCommands::SearchCommands(Workstation& workstation, BrowseBar& browse, QMdiArea& documents, QWidget* frame)
    : QObject(frame), m_ws(workstation), m_browse(browse), m_documents(documents), m_pFrame(frame) {
    runKeywordDialog = [](KeywordDialog& dialog) { return dialog.exec(); };
    runSearchDialog = [](SearchDialog& dialog) { return dialog.exec(); };
    m_pAddKeyword = new QAction(QCoreApplication::translate("SearchCommands", "增加关键字"), this);
    m_pAddKeyword->setObjectName(QStringLiteral("addKeywordAction"));
    connect(m_pAddKeyword, &QAction::triggered, this, &SearchCommands::AddKeyword);
    m_pModifyKeyword = new QAction(QCoreApplication::translate("SearchCommands", "修改关键字"), this);
    m_pModifyKeyword->setObjectName(QStringLiteral("modifyKeywordAction"));
    connect(m_pModifyKeyword, &QAction::triggered, this, &SearchCommands::ModifyKeyword);
    m_pSearch = new QAction(frame->style()->standardIcon(QStyle::SP_FileDialogContentsView),
                            QCoreApplication::translate("SearchCommands", "搜索 (搜索关键字)"), this);
    m_pSearch->setObjectName(QStringLiteral("searchAction"));
    m_pSearch->setToolTip(QCoreApplication::translate("SearchCommands", "搜索关键字"));
    m_pSearch->setStatusTip(QCoreApplication::translate("SearchCommands", "搜索关键字"));
    connect(m_pSearch, &QAction::triggered, this, &SearchCommands::Search);
    m_pImportKeywords = new QAction(QCoreApplication::translate("SearchCommands", "导入关键字..."), this);
    m_pImportKeywords->setObjectName(QStringLiteral("importKeywordsAction"));
    connect(m_pImportKeywords, &QAction::triggered, this, &SearchCommands::ImportKeywords);
    m_pExportResults = new QAction(QCoreApplication::translate("SearchCommands", "导出结果..."), this);
    m_pExportResults->setObjectName(QStringLiteral("exportResultsAction"));
    connect(m_pExportResults, &QAction::triggered, this, &SearchCommands::ExportResults);
    chooseKeywordFile = [frame] {
        return QFileDialog::getOpenFileName(frame, QCoreApplication::translate("SearchCommands", "导入关键字"), QString(),
                                            QCoreApplication::translate("SearchCommands", "关键字列表 (*.txt);;所有文件 (*)"));
    };
    chooseExportFile = [frame] {
        return QFileDialog::getSaveFileName(frame, QCoreApplication::translate("SearchCommands", "导出结果"), QCoreApplication::translate("SearchCommands", "结果.csv"),
                                            QStringLiteral("CSV (*.csv)"));
    };

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
    menu.addActions({m_pAddKeyword, m_pModifyKeyword, m_pImportKeywords});
    menu.exec(m_browse.Tree()->viewport()->mapToGlobal(at));
}

void SearchCommands::AddKeyword() {
    CaseItem* pParent = SelectedKeywordNode();
    if (!pParent) return;
    KeywordDialog dialog(m_ws.Notify(), m_ws.Context().Options().codepage, m_pFrame);
    if (runKeywordDialog(dialog) != QDialog::Accepted) return;
    auto pKeyword = std::make_unique<CaseItem>(dialog.Name().toStdString(), node_kinds::kKeyword);
    pKeyword->SetImages(2, 3);
    pKeyword->number = dialog.Number();
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
    pKeyword->number = dialog.Number();
    pKeyword->text = dialog.Text().toStdString();
    pKeyword->name = dialog.Name().toStdString();
    if (QTreeWidgetItem* pNode = m_browse.Tree()->currentItem()) pNode->setText(0, dialog.Name());
}

void SearchCommands::ImportKeywords() {
    CaseItem* pParent = SelectedKeywordNode();
    if (!pParent) return;
    const QString path = chooseKeywordFile();
    if (path.isEmpty()) return;
    std::vector<KeywordSpec> keywords;
    std::string error;
    if (!ReadKeywordList(path.toStdString(), KeywordSpec{}, keywords, error)) {
        m_ws.Notify().Message(error, "提示", MessageIcon::Error);
        return;
    }
    for (const KeywordSpec& keyword : keywords) {
        auto pKeyword = std::make_unique<CaseItem>(keyword.text, node_kinds::kKeyword);
        pKeyword->SetImages(2, 3);
        pKeyword->number = keyword.type;
        pKeyword->text = keyword.text;
        pParent->AddChild(std::move(pKeyword));
    }
    m_ws.Workspace().SetModified(1);
    m_browse.RebuildCaseTree();
}

void SearchCommands::ExportResults() {
    const CaseItem* folder = m_pShown;
    if (!folder) return;
    const QString path = chooseExportFile();
    if (path.isEmpty()) return;
    std::string out = HitCsvHeader();
    // Sectors count from the start of each hit's volume.
    for (const auto& hit : folder->children) {
        Volume* volume = hit->hitFile.GetVolume();
        FileItem* item = hit->hitFile.Item();
        const uint64_t origin = volume ? volume->StartSector() * 512 : 0;
        const uint64_t fromVolume = hit->byteOffset >= origin ? hit->byteOffset - origin : hit->byteOffset;
        const std::string file = hit->hitFile.Item() ? FullPath(*hit->hitFile.Item()) : hit->filePath;
        HitCsvRow row;
        row.keyword = folder->text;
        row.encoding = hit->encoding;
        row.sector = fromVolume / 512;
        row.offset = static_cast<uint32_t>(fromVolume % 512);
        row.byteOffset = hit->byteOffset;
        row.filePath = file;
        row.hasFileOffset = volume && item && HitPlacer(*volume).Find(*item, hit->byteOffset, row.fileOffset);
        row.context = hit->hitText;
        AppendHitCsv(out, row);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(out.data(), static_cast<qint64>(out.size())) != static_cast<qint64>(out.size())) {
        m_ws.Notify().Message(Tr("SearchCommands", "写入文件 ") + path.toStdString() + " 时出错: " + file.errorString().toStdString(), "提示",
                              MessageIcon::Error);
    }
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
        m_pView->setContextMenuPolicy(Qt::ActionsContextMenu);
        m_pView->addAction(m_pExportResults);
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
