#pragma once
// The keyword commands of the workstation: "增加关键字" and "修改关键字" on
// the selected case-tree node, "搜索 (搜索关键字)" with its dialog, and the
// results window that shows the hits of the selected result folder.
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

#include "views/search_results_view.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace delvora {

class BrowseBar;
class CaseItem;
class KeywordDialog;
class SearchDialog;
class Workstation;

class SearchCommands : public QObject {
    Q_OBJECT
public:
    SearchCommands(Workstation& workstation, BrowseBar& browse, QMdiArea& documents, QWidget* frame);

    QAction* AddKeywordAction() const { return m_pAddKeyword; }
    QAction* ModifyKeywordAction() const { return m_pModifyKeyword; }
    QAction* SearchAction() const { return m_pSearch; }
    QAction* ImportKeywordsAction() const { return m_pImportKeywords; }
    QAction* ExportResultsAction() const { return m_pExportResults; }
    QList<QAction*> Actions() const { return {m_pAddKeyword, m_pModifyKeyword, m_pSearch}; }

    /// Adds a keyword under the selected node when it is of kind 5.
    void AddKeyword();
    /// Edits the selected node in place when it is of kind 5.
    void ModifyKeyword();
    /// "导入关键字...": adds every term of a keyword list file (one a line,
    /// with an optional ascii:/unicode:/hex:/regex: prefix) under the
    /// selected node when it is of kind 5, each named after its text.
    void ImportKeywords();
    /// "导出结果...": writes the shown result folder's hits as CSV.
    void ExportResults();
    /// Runs the search dialog and starts the search it asks for.
    void Search();
    /// Starts what a search dialog asked for (the part of Search after it).
    void StartSearch(const struct SearchRequest& request);

    /// Shows the hits of a result folder in the results window (opened on
    /// first use). Answers false for anything that is not a result folder,
    /// and while a search may be filling one.
    bool ShowResults(const CaseItem* folder);
    /// A worker ended: the shown folder is read again.
    void Refresh();
    SearchResultsView* ResultsView() const { return m_pView; }

    /// The dialogs the commands run; tests fill and accept them themselves.
    std::function<int(KeywordDialog&)> runKeywordDialog;
    std::function<int(SearchDialog&)> runSearchDialog;
    /// The file to import keywords from or export results to ("" cancels).
    std::function<QString()> chooseKeywordFile;
    std::function<QString()> chooseExportFile;

private:
    CaseItem* SelectedKeywordNode() const;
    void OnContextMenu(const QPoint& at);

    Workstation& m_ws;
    BrowseBar& m_browse;
    QMdiArea& m_documents;
    QWidget* m_pFrame;
    QAction* m_pAddKeyword;
    QAction* m_pModifyKeyword;
    QAction* m_pSearch;
    QAction* m_pImportKeywords;
    QAction* m_pExportResults;
    QPointer<QMdiSubWindow> m_pResultsWindow;
    QPointer<SearchResultsView> m_pView;
    const CaseItem* m_pShown = nullptr;
};

}  // namespace delvora
