#include "app/browse_bar.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <cstring>
#include <string_view>
#include <vector>

#include "ui/qt_text.h"
#include "case/case_workspace.h"
#include "case/data_item.h"
#include "case/keyword_search_worker.h"
#include "fs/file_item.h"
#include "fs/volume.h"

namespace delvora {
namespace {

void Attach(QTreeWidgetItem* node, int kind, const void* caseNode, const Volume* volume = nullptr) {
    node->setData(0, BrowseBar::kKindRole, kind);
    node->setData(0, BrowseBar::kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(caseNode)));
    node->setData(0, BrowseBar::kVolumeRole, QVariant::fromValue(reinterpret_cast<quintptr>(volume)));
}

template <typename T>
T* NodeOf(const QTreeWidgetItem* node, int role) {
    return reinterpret_cast<T*>(node->data(0, role).value<quintptr>());
}

}  // namespace

BrowseBar::BrowseBar(CaseWorkspace& workspace, QWidget* parent)
    : QWidget(parent),
      m_workspace(workspace),
      m_pTree(new QTreeWidget(this)),
      m_pShowFiles(new QCheckBox(QCoreApplication::translate("BrowseBar", "显示文件"), this)) {
    setObjectName(QStringLiteral("browseBar"));
    m_pTree->setObjectName(QStringLiteral("caseTree"));
    m_pTree->setHeaderHidden(true);
    m_pTree->setColumnCount(1);
    m_pTree->setUniformRowHeights(true);
    m_pShowFiles->setObjectName(QStringLiteral("showFilesBox"));
    m_pShowFiles->setChecked(m_workspace.ShowFiles() != 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_pShowFiles);
    layout->addWidget(m_pTree, 1);

    connect(m_pTree, &QTreeWidget::currentItemChanged, this, &BrowseBar::OnCurrentChanged);
    connect(m_pShowFiles, &QCheckBox::toggled, this, &BrowseBar::OnShowFilesToggled);
    connect(m_pTree, &QTreeWidget::itemExpanded, this, &BrowseBar::OnExpanded);
}

bool BrowseBar::IsInCase(const DataItem* item) const {
    for (const auto& pItem : m_workspace.Items())
        if (pItem.get() == item) return true;
    return false;
}

void BrowseBar::RebuildCaseTree() {
    const QSignalBlocker blocker(m_pTree);
    m_pTree->clear();
    // With no worker running every tree is complete, including those of items
    // that a case file brought in.
    const bool bIdle = !m_workspace.WorkerRunning() && !m_workspace.IsBusy();
    for (const auto& pItem : m_workspace.Items()) {
        if (bIdle) m_readyItems.insert(pItem.get());
        m_pTree->addTopLevelItem(MakeDataItemNode(*pItem, m_readyItems.contains(pItem.get())));
    }
    for (const auto& pGroup : m_workspace.Root().children) InsertGroup(*pGroup, nullptr);
    m_pTree->setCurrentItem(nullptr);
    m_pTree->clearSelection();
}

void BrowseBar::BuildCaseTree(DataItem* item) {
    if (!item || !IsInCase(item)) return;
    m_readyItems.insert(item);
    const QSignalBlocker blocker(m_pTree);
    QTreeWidgetItem* pNew = MakeDataItemNode(*item, true);
    if (QTreeWidgetItem* pOld = FindTopLevelNode(item)) {
        const int nIndex = m_pTree->indexOfTopLevelItem(pOld);
        delete m_pTree->takeTopLevelItem(nIndex);
        m_pTree->insertTopLevelItem(nIndex, pNew);
    } else {
        // Data items come before the groups, in the case's order.
        int nIndex = 0;
        for (const auto& pItem : m_workspace.Items()) {
            if (pItem.get() == item) break;
            if (FindTopLevelNode(pItem.get())) ++nIndex;
        }
        m_pTree->insertTopLevelItem(nIndex, pNew);
    }
    pNew->setExpanded(true);
    m_pTree->setCurrentItem(nullptr);
    m_pTree->clearSelection();
}

QTreeWidgetItem* BrowseBar::MakeDataItemNode(DataItem& item, bool withVolumes) {
    auto* pNode = new QTreeWidgetItem(QStringList{FromUtf8(item.name)});
    pNode->setIcon(0, m_icons.Drive());
    Attach(pNode, item.NodeKind(), &item);
    if (!withVolumes) return pNode;
    for (const auto& pVolume : item.volumes)
        if (pVolume) InsertVolume(*pVolume, pNode);
    return pNode;
}

void BrowseBar::InsertVolume(Volume& volume, QTreeWidgetItem* itemNode) {
    FileItem* pRoot = volume.RootItem();
    if (!pRoot) return;
    auto* pNode = new QTreeWidgetItem(itemNode, QStringList{FromUtf8(volume.Description())});
    pNode->setIcon(0, m_icons.Drive());
    Attach(pNode, volume.NodeKind(), &volume);
    InsertItemTree(*pRoot, &volume, pNode);
    FileItem* pRecycle = volume.RecycleItem();
    if (pRecycle && pRecycle->childCount > 0) {
        auto* pBin = new QTreeWidgetItem(pNode, QStringList{QCoreApplication::translate("BrowseBar", "回收站")});
        pBin->setIcon(0, m_icons.Recycle());
        Attach(pBin, kFileItemNode, pRecycle, &volume);
        InsertItemTree(*pRecycle, &volume, pBin);
    }
}

void BrowseBar::InsertItemTree(const FileItem& folder, Volume* volume, QTreeWidgetItem* parent) {
    const bool bShowFiles = m_workspace.ShowFiles() != 0;
    // Depth-first with an explicit stack: a deep folder chain on a damaged
    // volume must not exhaust the call stack. Children arrays are owned by
    // their parent, so every record is visited once and the loop ends.
    std::vector<std::pair<const FileItem*, QTreeWidgetItem*>> stack{{&folder, parent}};
    while (!stack.empty()) {
        auto [pFolder, pParentNode] = stack.back();
        stack.pop_back();
        if (!pFolder->children) continue;
        for (uint32_t i = 0; i < pFolder->childCount; ++i) {
            const FileItem& child = pFolder->children[i];
            const bool bFolder = child.IsDirectory();
            if (!bFolder && !bShowFiles) continue;
            const QString strName = QString::fromUtf8(child.name ? child.name : "");
            auto* pNode = new QTreeWidgetItem(pParentNode, QStringList{strName});
            pNode->setIcon(0, bFolder ? m_icons.Folder() : m_icons.ForFile(strName));
            Attach(pNode, kFileItemNode, &child, volume);
            if (child.childCount > 0) stack.emplace_back(&child, pNode);
        }
    }
}

void BrowseBar::InsertGroup(CaseItem& group, QTreeWidgetItem* parent) {
    // Groups are a few levels deep (group, folder, hit), made by this program.
    // The fixed groups show in the reader's language; other names have no translation and stay.
    QString strName = QCoreApplication::translate("CaseItem", group.name.c_str());
    // A result folder is named after its keyword, which may be the new case's "关键字1".
    if (group.kind == node_kinds::kSearchFolder && group.name.ends_with(kResultFolderSuffix))
        strName = QCoreApplication::translate("CaseItem", group.name.substr(0, group.name.size() - std::strlen(kResultFolderSuffix)).c_str()) +
                  QCoreApplication::translate("KeywordSearchWorker", kResultFolderSuffix);
    auto* pNode = parent ? new QTreeWidgetItem(parent, QStringList{strName}) : new QTreeWidgetItem(m_pTree, QStringList{strName});
    pNode->setIcon(0, m_icons.ForGroup(group.image, group.selectedImage));
    Attach(pNode, group.NodeKind(), &group);
    if (group.kind == node_kinds::kSearchFolder && parent && !group.children.empty()) {
        // A result folder may hold a hundred thousand hits: they join the
        // tree when the folder is opened.
        pNode->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        return;
    }
    for (const auto& pChild : group.children)
        if (pChild) InsertGroup(*pChild, pNode);
}

void BrowseBar::OnExpanded(QTreeWidgetItem* node) {
    if (!node || node->childCount() > 0 || node->data(0, kKindRole).toInt() != node_kinds::kSearchFolder) return;
    auto* pFolder = NodeOf<CaseItem>(node, kNodeRole);
    if (!pFolder || m_workspace.IsBusy()) return;
    QList<QTreeWidgetItem*> hits;
    hits.reserve(static_cast<qsizetype>(pFolder->children.size()));
    for (const auto& pHit : pFolder->children) {
        auto* pNode = new QTreeWidgetItem(QStringList{FromUtf8(pHit->name)});
        pNode->setIcon(0, m_icons.ForGroup(pHit->image, pHit->selectedImage));
        Attach(pNode, pHit->NodeKind(), pHit.get());
        hits << pNode;
    }
    node->addChildren(hits);
}

QTreeWidgetItem* BrowseBar::FindNode(const void* node) const {
    const quintptr key = reinterpret_cast<quintptr>(node);
    for (QTreeWidgetItemIterator it(m_pTree); *it; ++it)
        if ((*it)->data(0, kNodeRole).value<quintptr>() == key) return *it;
    return nullptr;
}

QTreeWidgetItem* BrowseBar::FindTopLevelNode(const void* node) const {
    const quintptr key = reinterpret_cast<quintptr>(node);
    for (int i = 0; i < m_pTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* pNode = m_pTree->topLevelItem(i);
        if (pNode->data(0, kNodeRole).value<quintptr>() == key) return pNode;
    }
    return nullptr;
}

void BrowseBar::OnCurrentChanged(QTreeWidgetItem* current) {
    if (!current) return;
    const int nKind = current->data(0, kKindRole).toInt();
    void* pNode = NodeOf<void>(current, kNodeRole);
    Volume* pVolume = NodeOf<Volume>(current, kVolumeRole);
    if (nKind == kFileItemNode && pVolume) pVolume->Tree().MarkCurrent(static_cast<FileItem*>(pNode));
    emit NodeSelected(nKind, pNode, pVolume);
}

void BrowseBar::OnShowFilesToggled(bool checked) {
    // The case asks its front end to rebuild the tree through its events.
    m_workspace.SetShowFiles(checked ? 1 : 0);
}

}  // namespace delvora
