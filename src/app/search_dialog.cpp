#include "app/search_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/translation.h"
#include "ui/qt_text.h"
#include "case/case_workspace.h"
#include "fs/volume.h"

namespace delvora {
namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

QTreeWidget* MakeList(const QStringList& headings, const QList<int>& widths, QWidget* parent) {
    auto* pList = new QTreeWidget(parent);
    pList->setRootIsDecorated(false);
    pList->setUniformRowHeights(true);
    pList->setAllColumnsShowFocus(true);
    pList->setHeaderLabels(headings);
    for (int i = 0; i < widths.size(); ++i) pList->setColumnWidth(i, widths[i]);
    return pList;
}

QGroupBox* Boxed(const QString& title, QWidget* content, QWidget* parent) {
    auto* pBox = new QGroupBox(title, parent);
    (new QVBoxLayout(pBox))->addWidget(content);
    return pBox;
}

}  // namespace

SearchDialog::SearchDialog(CaseWorkspace& workspace, Notifier& notifier, QWidget* parent)
    : QDialog(parent), m_notifier(notifier) {
    setObjectName(QStringLiteral("searchDialog"));
    setWindowTitle(QCoreApplication::translate("SearchDialog", "查找关键字"));
    m_pKeywords = MakeList({QCoreApplication::translate("SearchDialog", "关键字"), QCoreApplication::translate("SearchDialog", "内容")}, {100, 200}, this);
    m_pKeywords->setObjectName(QStringLiteral("searchKeywords"));
    m_pDevices = MakeList({QCoreApplication::translate("SearchDialog", "设备名"), QCoreApplication::translate("SearchDialog", "卷名"), QCoreApplication::translate("SearchDialog", "起始扇区"),
                           QCoreApplication::translate("SearchDialog", "结束扇区"), QCoreApplication::translate("SearchDialog", "扇区范围")},
                          {100, 100, 100, 100, 150}, this);
    m_pDevices->setObjectName(QStringLiteral("searchDevices"));
    // Only the two sector cells are edited, and only on purpose.
    m_pDevices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_pDevices, &QTreeWidget::itemDoubleClicked, this, &SearchDialog::OnDeviceDoubleClicked);

    for (const auto& pKeyword : workspace.Keywords().children) {
        auto* pRow = new QTreeWidgetItem(m_pKeywords, {QCoreApplication::translate("CaseItem", pKeyword->name.c_str()), FromUtf8(pKeyword->text)});
        pRow->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(pKeyword.get())));
    }
    for (const auto& pItem : workspace.Items()) {
        for (const auto& pVolume : pItem->volumes) {
            if (!pVolume) continue;
            const qulonglong first = pVolume->StartSector(), end = first + pVolume->TotalSectors();
            auto* pRow = new QTreeWidgetItem(m_pDevices, {FromUtf8(pItem->name), FromUtf8(pVolume->Description()),
                                                          QString::number(first), QString::number(end),
                                                          QStringLiteral("%1-%2").arg(first).arg(end)});
            pRow->setFlags(pRow->flags() | Qt::ItemIsEditable);
            pRow->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(pVolume.get())));
        }
    }

    auto* pButtons = new QDialogButtonBox(this);
    pButtons->addButton(QCoreApplication::translate("SearchDialog", "确定"), QDialogButtonBox::AcceptRole);
    pButtons->addButton(QCoreApplication::translate("SearchDialog", "取消"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &SearchDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &SearchDialog::reject);
    auto* pLists = new QHBoxLayout;
    pLists->addWidget(Boxed(QCoreApplication::translate("SearchDialog", "关键字"), m_pKeywords, this), 2);
    pLists->addWidget(Boxed(QCoreApplication::translate("SearchDialog", "设备"), m_pDevices, this), 4);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pLists, 1);
    pLayout->addWidget(pButtons);
    resize(900, 320);
}

void SearchDialog::OnDeviceDoubleClicked(QTreeWidgetItem* item, int column) {
    if (column == kStartSector || column == kEndSector) m_pDevices->editItem(item, column);
}

void SearchDialog::accept() {
    QTreeWidgetItem* pKeywordRow = m_pKeywords->currentItem();
    QTreeWidgetItem* pDeviceRow = m_pDevices->currentItem();
    if (!pKeywordRow) {
        m_notifier.Message(Tr("SearchDialog", "请选择关键字!"), "提示", MessageIcon::Error);
        return;
    }
    if (!pDeviceRow) {
        m_notifier.Message(Tr("SearchDialog", "请选择设备!"), "提示", MessageIcon::Error);
        return;
    }
    const auto* pKeyword = reinterpret_cast<const CaseItem*>(pKeywordRow->data(0, kNodeRole).value<quintptr>());
    auto* pVolume = reinterpret_cast<Volume*>(pDeviceRow->data(0, kNodeRole).value<quintptr>());
    if (!pKeyword) {
        m_notifier.Message(Tr("SearchDialog", "没有选择关键字!"), "提示", MessageIcon::Error);
        return;
    }
    if (!pVolume) {
        m_notifier.Message(Tr("SearchDialog", "没有选择设备!"), "提示", MessageIcon::Error);
        return;
    }
    // Text that is no number counts as 0 and fails the range check.
    const qulonglong start = pDeviceRow->text(kStartSector).trimmed().toULongLong();
    const qulonglong end = pDeviceRow->text(kEndSector).trimmed().toULongLong();
    if (start < pVolume->StartSector() || end < start || end - start > pVolume->TotalSectors()) {
        m_notifier.Message(Tr("SearchDialog", "搜索范围设置错误!"), "提示", MessageIcon::Error);
        return;
    }
    m_request = SearchRequest{pKeyword, pVolume, start, end - start};
    QDialog::accept();
}

}  // namespace delvora
