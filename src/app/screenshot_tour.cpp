#include "app/screenshot_tour.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <memory>

#include <fstream>
#include <map>
#include <vector>

#include "app/add_data_wizard.h"
#include "app/hash_set_page.h"
#include "app/browse_bar.h"
#include "app/keyword_dialog.h"
#include "app/main_frame.h"
#include "app/manual_window.h"
#include "app/app_paths.h"
#include "app/options_dialog.h"
#include "app/properties_dialog.h"
#include "app/search_commands.h"
#include "app/search_dialog.h"
#include "app/start_cluster_dialog.h"
#include "app/workstation.h"
#include "case/case_workspace.h"
#include "case/data_item.h"
#include "fs/file_tree.h"
#include "fs/item_path.h"
#include "fs/volume.h"
#include "views/colligation_view.h"
#include "views/disk_browse_form.h"
#include "views/delvora_view.h"
#include "views/disk_view.h"
#include "views/view_set.h"
#include "views/search_results_model.h"
#include "views/search_results_view.h"
#include "common/hash.h"
#include "common/options.h"
#include "recovery/export_item.h"
#include "search/keyword.h"
#include "search/search_terms.h"
#include "views/script_view.h"
#include "translation/qt_translation.h"

namespace delvora {
namespace {

constexpr const char* kPartitionTableScript = R"JS(// %1
function main()
{
    if (Delvora.OpenDisk("PHYSICALDRIVE0") == S_FALSE)
    {
        Delvora.Msg("%2");
        return;
    }
    Delvora.DeleteColumn(0);
    Delvora.InsertColumn(0, "%3");
    Delvora.InsertColumn(1, "%4");
    Delvora.InsertColumn(2, "%5");
    Delvora.InsertColumn(3, "%6");
    for (var i = 0; i < 4; i++)
    {
        var at = 446 + 16 * i;
        var type = Delvora.ReadSector(0, at + 4);
        if (type == 0)
            continue;
        var n = Delvora.GetItemCount();
        Delvora.InsertItem(n, String(i));
        Delvora.SetItemText(n, 1, "0x" + type.toString(16));
        Delvora.SetItemText(n, 2, String(le32(at + 8)));
        Delvora.SetItemText(n, 3, String(le32(at + 12)));
    }
    Delvora.SetSize();
}

// %7
function le32(offset)
{
    var v = 0;
    for (var k = 3; k >= 0; k--)
        v = v * 256 + Delvora.ReadSector(0, offset + k);
    return v;
}

var S_OK    = 0x00;
var S_FALSE = 0x01;
)JS";

// The script's comments and texts in the tour's language (%1-%7 above),
// so that its pictures fit the manual of that language.
constexpr const char* kPartitionTableTexts[][7] = {
    {"读出 PHYSICALDRIVE0 的主引导记录, 列出它的分区表项", "打不开磁盘", "表项", "类型", "开始扇区", "扇区数",
     "小端序的 32 位数"},
    {"Reads the master boot record of PHYSICALDRIVE0 and lists its partition entries", "Cannot open the disk",
     "Entry", "Type", "Start sector", "Sectors", "A little-endian 32-bit number"},
};

QString PartitionTableScript() {
    const auto& texts = kPartitionTableTexts[ShownLanguage() == Language::kEnglish ? 1 : 0];
    QString strScript = QString::fromUtf8(kPartitionTableScript);
    for (const char* text : texts) strScript = strScript.arg(QString::fromUtf8(text));
    return strScript;
}

// Polls are 100 ms apart; after this many the tour gives up rather than hang.
constexpr int kMaxPolls = 600;

void Save(QWidget* widget, const QString& path) {
    if (!widget->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
}

class Tour : public QObject {
public:
    Tour(Workstation& ws, MainFrame& frame, const QString& folder)
        : QObject(&frame), m_ws(ws), m_frame(frame), m_strFolder(folder) {}

    // The virtual-volume page, pre-read at the sample disk's FAT32 volume.
    void ShowVirtualPage() {
        QDir().mkpath(m_strFolder);
        std::unique_ptr<AddDataWizard> pWizard = m_frame.MakeWizard();
        pWizard->SourcePage()->Virtual()->setChecked(true);
        // The page pre-reads by itself when shown: name the device first.
        VirtualVolumePage* pPage = pWizard->VirtualPage();
        pPage->Device()->setText(QStringLiteral("PHYSICALDRIVE0"));
        pPage->StartSector()->setText(QStringLiteral("2048"));
        pWizard->show();
        pWizard->next();
        Save(pWizard.get(), m_strFolder + QStringLiteral("/wizard-virtual-volume.png"));
    }

    // The remote choice, connected to the machine scripts/screenshot serves
    // the sample disk from (DELVORA_TOUR_REMOTE=host:port), and its list.
    void ShowRemotePage() {
        const QString strServer = qEnvironmentVariable("DELVORA_TOUR_REMOTE");
        if (strServer.isEmpty()) return;
        QDir().mkpath(m_strFolder);
        std::unique_ptr<AddDataWizard> pWizard = m_frame.MakeWizard();
        SourceKindPage* pPage = pWizard->SourcePage();
        pPage->Remote()->setChecked(true);
        pPage->Partitions()->setChecked(true);
        pPage->Server()->setText(strServer);
        pWizard->show();
        pPage->Connect();
        Save(pWizard.get(), m_strFolder + QStringLiteral("/wizard-remote-connected.png"));
        if (!pPage->IsConnected()) return;
        pWizard->next();
        Save(pWizard.get(), m_strFolder + QStringLiteral("/wizard-remote-list.png"));
    }

    // The image-file choice on an E01 of the sample disk that
    // scripts/screenshot makes (DELVORA_TOUR_IMAGE), and the image's list.
    void ShowImagePage() {
        const QString strImage = qEnvironmentVariable("DELVORA_TOUR_IMAGE");
        if (strImage.isEmpty()) return;
        QDir().mkpath(m_strFolder);
        std::unique_ptr<AddDataWizard> pWizard = m_frame.MakeWizard();
        SourceKindPage* pPage = pWizard->SourcePage();
        pPage->Image()->setChecked(true);
        pPage->ImagePath()->setText(strImage);
        pWizard->show();
        Save(pWizard.get(), m_strFolder + QStringLiteral("/wizard-image.png"));
        pWizard->next();
        Save(pWizard.get(), m_strFolder + QStringLiteral("/wizard-image-list.png"));
    }

    void ShowWizard() {
        QDir().mkpath(m_strFolder);
        // Without a window manager nothing maximises the frame: give it a
        // size that shows every bar.
        m_frame.resize(1280, 800);
        m_pWizard = m_frame.MakeWizard();
        m_pWizard->show();
        m_pWizard->SourcePage()->Partitions()->setChecked(true);
        QTimer::singleShot(300, this, [this] {
            Save(m_pWizard.get(), m_strFolder + QStringLiteral("/wizard-source.png"));
            m_pWizard->next();
            QTimer::singleShot(500, this, [this] { TakeRow(); });
        });
    }

    void TakeRow() {
        Save(m_pWizard.get(), m_strFolder + QStringLiteral("/wizard-list.png"));
        QTreeWidget* pList = m_pWizard->ListPage()->List();
        for (int i = 0; i < pList->topLevelItemCount(); ++i) {
            if (pList->topLevelItem(i)->text(1).contains(QStringLiteral("FAT32"))) {
                pList->setCurrentItem(pList->topLevelItem(i));
                break;
            }
        }
        const bool bTaken = m_pWizard->validateCurrentPage();
        const ChosenRow row = m_pWizard->Chosen();
        m_pWizard->hide();
        if (!bTaken) return Finish();
        m_frame.AddChosenRow(row);
        QTimer::singleShot(100, this, [this] { WaitForLoad(); });
    }

    void WaitForLoad() {
        const bool bLoaded = !m_ws.Workspace().IsBusy() && !m_ws.Workspace().WorkerRunning() &&
                             m_frame.Browse()->Tree()->topLevelItemCount() > 0 &&
                             m_frame.Browse()->Tree()->topLevelItem(0)->childCount() > 0;
        if (!bLoaded && ++m_nPolls < kMaxPolls) {
            QTimer::singleShot(100, this, [this] { WaitForLoad(); });
            return;
        }
        QTreeWidget* pTree = m_frame.Browse()->Tree();
        pTree->expandAll();
        if (QTreeWidgetItem* pItem = pTree->topLevelItem(0)) {
            if (QTreeWidgetItem* pVolume = pItem->child(0)) pTree->setCurrentItem(pVolume->childCount() ? pVolume->child(0) : pVolume);
        }
        QTimer::singleShot(300, this, [this] {
            Save(&m_frame, m_strFolder + QStringLiteral("/main-window.png"));
            m_frame.Browse()->ShowFilesBox()->setChecked(true);
            m_frame.Browse()->Tree()->expandAll();
            QTimer::singleShot(300, this, [this] {
                Save(&m_frame, m_strFolder + QStringLiteral("/main-window-files.png"));
                ShowViewers();
            });
        });
    }

    // The script view running a script of the examiner's own: the
    // partition table read byte by byte from the MBR.
    void RunScript() {
        ScriptView* pView = m_frame.OpenScriptView();
        pView->parentWidget()->showMaximized();
        pView->Editor()->setPlainText(PartitionTableScript());
        connect(pView, &ScriptView::RunFinished, this, [this, pView] {
            QTimer::singleShot(300, this, [this, pView] {
                Save(&m_frame, m_strFolder + QStringLiteral("/script-view-partition-table.png"));
                pView->parentWidget()->close();
                HashFiles();
            });
        });
        QTimer::singleShot(300, pView, &ScriptView::Run);
    }

    // The sector viewer on the FAT32 partition's boot sector, the disk map
    // with a file's sectors marked, the time line of the whole volume.
    void ShowViewers() {
        ViewSet* pViews = m_frame.Views();
        const auto& items = m_ws.Workspace().Items();
        if (!pViews || items.empty() || items.front()->volumes.empty()) return Finish();
        Volume* pVolume = items.front()->volumes.front().get();
        auto* pDisk = static_cast<DiskView*>(pViews->OpenView(ViewKind::kDisk));
        DiskBrowseForm* pBrowse = pDisk->Browse();
        pBrowse->SetFields(512, 32, 16, 512, QStringLiteral("PHYSICALDRIVE0"), pVolume->StartSector());
        pBrowse->Show();
        if (FileItem* pFile = FindItemByPath(*pVolume->RootItem(), "Photos/big.log")) pViews->SetCurrentItem(pFile, pVolume);
        QWidget* pTime = pViews->OpenView(ViewKind::kTimeLine);
        pViews->SetCurrentItem(pVolume->RootItem(), pVolume);
        if (auto* pRecurse = pTime->findChild<QCheckBox*>(QStringLiteral("recurse"))) pRecurse->setChecked(true);
        QTimer::singleShot(300, this, [this, pDisk, pBrowse, pTime] {
            Save(pBrowse, m_strFolder + QStringLiteral("/sector-viewer.png"));
            pDisk->Tabs()->setCurrentIndex(1);
            QTimer::singleShot(300, this, [this, pDisk, pTime] {
                Save(pDisk->Tabs()->currentWidget(), m_strFolder + QStringLiteral("/disk-map.png"));
                Save(pTime, m_strFolder + QStringLiteral("/time-line.png"));
                ShowViews(0);
            });
        });
    }

    // One picture per document view, in the window menu's order, each with
    // a file of the FAT32 partition current: the web page for the text,
    // hexadecimal, file list and web views, the picture for the picture
    // views, the big log for the others.
    void ShowViews(int index) {
        ViewSet* pViews = m_frame.Views();
        if (index >= kViewKindCount) return ShowPlacementDialogs();
        Volume* pVolume = m_ws.Workspace().Items().front()->volumes.front().get();
        const auto kind = static_cast<ViewKind>(index);
        const char* path = kind == ViewKind::kPicture || kind == ViewKind::kPictureList ? "Photos/bands.png"
                           : kind == ViewKind::kDisk || kind == ViewKind::kTimeLine    ? "Photos/big.log"
                                                                                       : "Documents/index.html";
        if (FileItem* pFile = FindItemByPath(*pVolume->RootItem(), path)) pViews->SetCurrentItem(pFile, pVolume);
        QPointer<DelvoraView> pView = pViews->OpenView(kind);
        if (kind == ViewKind::kDisk) static_cast<DiskView*>(pView.data())->Tabs()->setCurrentIndex(1);
        QTimer::singleShot(300, this, [this, pView, index] {
            if (pView) Save(pView, m_strFolder + QStringLiteral("/view-%1.png").arg(index + 1, 2, 10, QLatin1Char('0')));
            ShowViews(index + 1);
        });
    }

    // The keyword dialog, the search dialog, then the results list of a
    // search for the case's first keyword over the loaded volume.
    void ShowKeywordDialogs() {
        auto pKeyword = std::make_shared<KeywordDialog>(m_ws.Notify(), m_ws.Context().Options().codepage, &m_frame);
        pKeyword->SetKeyword(QCoreApplication::translate("ScreenshotTour", "关键字2"), QStringLiteral("PK\\x03\\x04"), kKeywordHex);
        pKeyword->show();
        auto pSearch = std::make_shared<SearchDialog>(m_ws.Workspace(), m_ws.Notify(), &m_frame);
        // An address pattern, letters in either case, in GBK and UTF-8 at once.
        auto pRegex = std::make_shared<KeywordDialog>(m_ws.Notify(), m_ws.Context().Options().codepage, &m_frame);
        pRegex->SetKeyword(QCoreApplication::translate("ScreenshotTour", "邮件地址"), QStringLiteral("[a-z.]+@example\\.com"),
                           KeywordItemNumber(kKeywordRegex, true, kEncodingGbk | kEncodingUtf8));
        QTimer::singleShot(300, this, [this, pKeyword, pRegex, pSearch] {
            Save(pKeyword.get(), m_strFolder + QStringLiteral("/keyword-dialog.png"));
            pKeyword->hide();
            pRegex->show();
            QTimer::singleShot(300, this, [this, pRegex, pSearch] {
                Save(pRegex.get(), m_strFolder + QStringLiteral("/keyword-dialog-regex.png"));
                pRegex->hide();
                ShowSearchDialog(pSearch);
            });
        });
    }

    void ShowSearchDialog(const std::shared_ptr<SearchDialog>& pSearch) {
        pSearch->show();
        pSearch->Keywords()->setCurrentItem(pSearch->Keywords()->topLevelItem(0));
        pSearch->Devices()->setCurrentItem(pSearch->Devices()->topLevelItem(0));
        QTimer::singleShot(300, this, [this, pSearch] {
            Save(pSearch.get(), m_strFolder + QStringLiteral("/search-dialog.png"));
            pSearch->accept();
            pSearch->hide();
            if (pSearch->result() != QDialog::Accepted) return Finish();
            m_frame.Search()->StartSearch(pSearch->Request());
            m_nPolls = 0;
            QTimer::singleShot(100, this, [this] { WaitForSearch(); });
        });
    }

    // The keyword menu with its import command and the result list's menu
    // with its export command, as the examiner opens them.
    void ShowSearchMenus() {
        SearchCommands* pSearch = m_frame.Search();
        auto* pKeywordMenu = new QMenu(&m_frame);
        pKeywordMenu->addActions({pSearch->AddKeywordAction(), pSearch->ModifyKeywordAction(),
                                  pSearch->ImportKeywordsAction()});
        pKeywordMenu->popup(m_frame.mapToGlobal(QPoint(120, 160)));
        auto* pResultsMenu = new QMenu(&m_frame);
        pResultsMenu->addAction(pSearch->ExportResultsAction());
        QTimer::singleShot(300, this, [this, pKeywordMenu, pResultsMenu] {
            Save(pKeywordMenu, m_strFolder + QStringLiteral("/keyword-menu.png"));
            pKeywordMenu->close();
            pKeywordMenu->deleteLater();
            pResultsMenu->popup(m_frame.mapToGlobal(QPoint(400, 300)));
            QTimer::singleShot(300, this, [this, pResultsMenu] {
                Save(pResultsMenu, m_strFolder + QStringLiteral("/results-menu.png"));
                pResultsMenu->close();
                pResultsMenu->deleteLater();
                ShowHitInCombinedView();
            });
        });
    }

    void WaitForSearch() {
        CaseWorkspace& workspace = m_ws.Workspace();
        if ((workspace.IsBusy() || workspace.WorkerRunning()) && ++m_nPolls < kMaxPolls) {
            QTimer::singleShot(100, this, [this] { WaitForSearch(); });
            return;
        }
        QTreeWidget* pTree = m_frame.Browse()->Tree();
        QTreeWidgetItem* pGroup = pTree->topLevelItem(pTree->topLevelItemCount() - 1);
        if (pGroup && pGroup->childCount() > 0) {
            pGroup->setExpanded(true);
            pTree->setCurrentItem(pGroup->child(0));
        }
        QTimer::singleShot(300, this, [this] {
            Save(&m_frame, m_strFolder + QStringLiteral("/search-results.png"));
            ShowSearchMenus();
        });
    }

    // The combined view on the search's first hit: its file scrolled to the
    // hit, the hit's bytes marked.
    void ShowHitInCombinedView() {
        auto* pView = static_cast<ColligationView*>(m_frame.Views()->OpenView(ViewKind::kColligation));
        pView->parentWidget()->showMaximized();
        pView->Results()->setCurrentIndex(pView->Results()->Model()->index(0, 0));
        QTimer::singleShot(300, this, [this, pView] {
            Save(pView, m_strFolder + QStringLiteral("/combined-view-hit.png"));
            if (auto* pTabs = pView->findChild<QTabWidget*>()) pTabs->setCurrentIndex(1);
            QTimer::singleShot(300, this, [this, pView] {
                Save(pView, m_strFolder + QStringLiteral("/combined-view-hit-hex.png"));
                pView->parentWidget()->close();
                SearchResidual();
            });
        });
    }

    // The residual search with carving on the loaded volume, then the tree
    // with what it found under "回收站".
    void SearchResidual() {
        QTreeWidget* pTree = m_frame.Browse()->Tree();
        QTreeWidgetItem* pItem = pTree->topLevelItem(0);
        if (!pItem || !pItem->child(0)) return Finish();
        pTree->setCurrentItem(pItem->child(0));
        m_ws.Workspace().Options().searchHtml = 1;
        m_ws.Workspace().Options().searchDoc = 1;
        if (!m_frame.ResidualSearch()) return Finish();
        m_nPolls = 0;
        QTimer::singleShot(100, this, [this] { WaitForResidualSearch(); });
    }

    void WaitForResidualSearch() {
        if ((m_ws.Workspace().IsBusy() || m_ws.Workspace().WorkerRunning()) && ++m_nPolls < kMaxPolls) {
            QTimer::singleShot(100, this, [this] { WaitForResidualSearch(); });
            return;
        }
        QTreeWidget* pTree = m_frame.Browse()->Tree();
        const auto found = pTree->findItems(QCoreApplication::translate("BrowseBar", "回收站"), Qt::MatchExactly | Qt::MatchRecursive);
        if (!found.isEmpty()) {
            // The found folders with their first level, the loaded tree folded.
            pTree->collapseAll();
            QTreeWidgetItem* pBin = found.front();
            for (QTreeWidgetItem* p = pBin; p; p = p->parent()) p->setExpanded(true);
            for (int i = 0; i < pBin->childCount(); ++i) pBin->child(i)->setExpanded(true);
            pTree->setCurrentItem(pBin);
            pTree->scrollToItem(pBin, QAbstractItemView::PositionAtTop);
        }
        // The file list (the first document window) in front, listing them.
        const auto windows = m_frame.DocumentArea()->subWindowList();
        if (!windows.isEmpty()) m_frame.DocumentArea()->setActiveSubWindow(windows.front());
        QTimer::singleShot(300, this, [this] {
            Save(&m_frame, m_strFolder + QStringLiteral("/residual-search-found.png"));
            RunScript();
        });
    }

    // The options page, and the properties and start-cluster correction of
    // a file of the FAT32 partition.
    void ShowPlacementDialogs() {
        const auto& items = m_ws.Workspace().Items();
        Volume* pVolume = items.front()->volumes.front().get();
        FileItem* pFile = FindItemByPath(*pVolume->RootItem(), "Photos/big.log");
        auto* pOptions = new OptionsDialog(m_ws.Workspace().Options(), nullptr, &m_frame);
        pOptions->show();
        Save(pOptions, m_strFolder + QStringLiteral("/options-page.png"));
        delete pOptions;
        auto* pProperties = new PropertiesDialog(items.front()->source->Path(), pVolume, pFile, m_ws.Notify(), &m_frame);
        pProperties->show();
        Save(pProperties, m_strFolder + QStringLiteral("/properties-page.png"));
        delete pProperties;
        if (pFile) {
            auto* pCorrect = new StartClusterDialog(*pVolume, *pFile, m_ws.Notify(), &m_frame);
            pCorrect->show();
            pCorrect->Preview();
            Save(pCorrect, m_strFolder + QStringLiteral("/start-cluster-dialog.png"));
            pCorrect->reject();
            delete pCorrect;
        }
        ShowKeywordDialogs();
    }

    // Hash sets made from files of the first volume (three known, one
    // notable) on the options page, then "计算哈希" on that volume and the
    // file list with its hash column, and again with known files hidden.
    void HashFiles() {
        const auto& items = m_ws.Workspace().Items();
        if (items.empty() || items.front()->volumes.empty()) return Finish();
        Volume* pVolume = items.front()->volumes.front().get();
        // Files of the folder with the most live ones (four at most used).
        if (!pVolume->RootItem()) return Finish();
        std::map<FileItem*, std::vector<FileItem*>> byFolder;
        ForEachBelow(*pVolume->RootItem(), [&byFolder](FileItem& item) {
            if (!item.IsDirectory() && !item.IsDeleted() && item.size > 0 && item.childCount == 0 && item.parent)
                byFolder[item.parent].push_back(&item);
            return true;
        });
        std::vector<FileItem*> files;
        for (auto& [folder, list] : byFolder)
            if (list.size() > files.size()) files = list;
        if (files.size() > 4) files.resize(4);
        if (files.size() < 2) return Finish();
        m_pHashFolder = files.front()->parent;
        m_pHashVolume = pVolume;
        const QString known = m_strFolder + QStringLiteral("/.known.txt"), notable = m_strFolder + QStringLiteral("/.notable.txt");
        {
            std::ofstream knownList(known.toStdString()), notableList(notable.toStdString());
            for (size_t i = 0; i < files.size(); ++i) {
                Hasher hasher(kHashMd5 | kHashSha256);
                HashItemData(*pVolume, *files[i], hasher);
                const Digests digests = hasher.Finish();
                if (i + 1 < files.size()) knownList << digests.md5 << "  " << files[i]->name << "\n";
                else notableList << digests.sha256 << "\n";
            }
        }
        auto* pOptions = new OptionsDialog(m_ws.Workspace().Options(), nullptr, &m_frame);
        if (auto* pTabs = pOptions->findChild<QTabWidget*>(QStringLiteral("optionsTabs"))) pTabs->setCurrentIndex(1);
        HashSetPage* pPage = pOptions->HashSets();
        pPage->NameField()->setText(QCoreApplication::translate("ScreenshotTour", "系统文件"));
        pPage->ImportFile(known, true);
        pPage->NameField()->setText(QCoreApplication::translate("ScreenshotTour", "案件线索"));
        pPage->StatusBox()->setCurrentIndex(1);
        pPage->ImportFile(notable, true);
        pOptions->resize(720, 400);
        pOptions->show();
        Save(pOptions, m_strFolder + QStringLiteral("/options-hash-sets.png"));
        delete pOptions;
        QFile::remove(known);
        QFile::remove(notable);

        QTreeWidget* pTree = m_frame.Browse()->Tree();
        QTreeWidgetItem* pItem = pTree->topLevelItem(0);
        if (!pItem || !pItem->child(0)) return Finish();
        pTree->collapseAll();
        pTree->setCurrentItem(pItem->child(0));
        if (!m_frame.ComputeHashes()) return Finish();
        m_nPolls = 0;
        QTimer::singleShot(100, this, [this] { WaitForHashes(); });
    }

    void WaitForHashes() {
        if ((m_ws.Workspace().IsBusy() || m_ws.Workspace().WorkerRunning()) && ++m_nPolls < kMaxPolls) {
            QTimer::singleShot(100, this, [this] { WaitForHashes(); });
            return;
        }
        const auto windows = m_frame.DocumentArea()->subWindowList();
        if (!windows.isEmpty()) {
            m_frame.DocumentArea()->setActiveSubWindow(windows.front());
            windows.front()->showMaximized();
        }
        if (m_pHashFolder) m_frame.Views()->SetCurrentItem(m_pHashFolder, m_pHashVolume);
        QTimer::singleShot(300, this, [this] {
            Save(&m_frame, m_strFolder + QStringLiteral("/hash-column.png"));
            // The box of the file list in front: other list views have their own.
            const auto windows = m_frame.DocumentArea()->subWindowList();
            auto* pHide = windows.isEmpty() ? nullptr : windows.front()->findChild<QCheckBox*>(QStringLiteral("hideKnownFiles"));
            if (!pHide) return Finish();
            pHide->setChecked(true);
            QTimer::singleShot(300, this, [this, pHide] {
                Save(&m_frame, m_strFolder + QStringLiteral("/hash-hide-known.png"));
                pHide->setChecked(false);
                Finish();
            });
        });
    }

    void Finish() {
        SaveManual();
        QTimer::singleShot(0, &m_frame, &QWidget::close);
    }

    // The user manual as "帮助" shows it, when there is one to show.
    void SaveManual() {
        if (FindManual(CurrentManualLanguage(), ManualFolders()).isEmpty()) return;
        m_frame.Help();
        if (ManualWindow* pManual = m_frame.Manual()) {
            // A section with one of its pictures says more than the contents list.
            pManual->Browser()->scrollToAnchor(QStringLiteral("search"));
            Save(pManual, m_strFolder + QStringLiteral("/manual.png"));
            pManual->close();
        }
    }

private:
    Workstation& m_ws;
    MainFrame& m_frame;
    QString m_strFolder;
    std::unique_ptr<AddDataWizard> m_pWizard;
    int m_nPolls = 0;
    FileItem* m_pHashFolder = nullptr;  // the folder whose files the hash sets were made from
    Volume* m_pHashVolume = nullptr;
};

}  // namespace

void StartScreenshotTour(Workstation& workstation, MainFrame& frame, const QString& folder) {
    auto* pTour = new Tour(workstation, frame, folder);  // owned by the frame
    QTimer::singleShot(400, pTour, [pTour] { pTour->ShowVirtualPage(); });
    QTimer::singleShot(600, pTour, [pTour] { pTour->ShowRemotePage(); });
    QTimer::singleShot(700, pTour, [pTour] { pTour->ShowImagePage(); });
    QTimer::singleShot(800, pTour, [pTour] { pTour->ShowWizard(); });
}

}  // namespace delvora
