#include "app/hash_set_page.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/qt_text.h"
#include "ui/wait_cursor.h"
#include "hashset/hash_set_import.h"
#include "hashset/hash_set_store.h"

namespace delvora {
namespace {

QString KindsText(unsigned kinds) {
    QStringList names;
    if (kinds & kHashMd5) names << QStringLiteral("MD5");
    if (kinds & kHashSha1) names << QStringLiteral("SHA-1");
    if (kinds & kHashSha256) names << QStringLiteral("SHA-256");
    return names.join(QStringLiteral(","));
}

}  // namespace

HashSetPage::HashSetPage(std::string dbPath, QWidget* parent)
    : QWidget(parent), m_strDbPath(std::move(dbPath)), m_pList(new QTreeWidget(this)),
      m_pName(new QLineEdit(this)), m_pStatus(new QComboBox(this)) {
    setObjectName(QStringLiteral("hashSetPage"));
    m_pList->setObjectName(QStringLiteral("hashSetList"));
    m_pList->setRootIsDecorated(false);
    m_pList->setHeaderLabels({QCoreApplication::translate("HashSetPage", "名称"), QCoreApplication::translate("HashSetPage", "类别"), QCoreApplication::translate("HashSetPage", "哈希数"),
                              QCoreApplication::translate("HashSetPage", "算法"), QCoreApplication::translate("HashSetPage", "导入时间"), QCoreApplication::translate("HashSetPage", "来源")});
    m_pName->setObjectName(QStringLiteral("hashSetName"));
    m_pName->setPlaceholderText(QCoreApplication::translate("HashSetPage", "哈希集名称"));
    m_pStatus->setObjectName(QStringLiteral("hashSetStatus"));
    m_pStatus->addItems({QCoreApplication::translate("HashSetPage", "已知 (可忽略)"), QCoreApplication::translate("HashSetPage", "关注 (报警)")});
    auto* importButton = new QPushButton(QCoreApplication::translate("HashSetPage", "导入..."), this);
    importButton->setObjectName(QStringLiteral("hashSetImport"));
    auto* removeButton = new QPushButton(QCoreApplication::translate("HashSetPage", "删除"), this);
    removeButton->setObjectName(QStringLiteral("hashSetRemove"));
    connect(importButton, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QCoreApplication::translate("HashSetPage", "导入哈希集"));
        if (!file.isEmpty()) ImportFile(file);
    });
    connect(removeButton, &QPushButton::clicked, this, [this] { RemoveSelected(); });

    auto* row = new QHBoxLayout;
    row->addWidget(m_pName, 1);
    row->addWidget(m_pStatus);
    row->addWidget(importButton);
    row->addWidget(removeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addLayout(row);
    layout->addWidget(new QLabel(QCoreApplication::translate("HashSetPage", "NSRL RDS (SQLite 或 NSRLFile.txt)、hashdeep/md5deep 输出、每行一个 MD5/SHA-1/SHA-256 的列表"), this));
    Reload();
}

void HashSetPage::Tell(const QString& text, bool error, bool quiet) {
    if (quiet) return;
    if (error) QMessageBox::warning(this, QCoreApplication::translate("HashSetPage", "提示"), text);
    else QMessageBox::information(this, QCoreApplication::translate("HashSetPage", "提示"), text);
}

void HashSetPage::Reload() {
    m_pList->clear();
    HashSetStore store;
    std::vector<HashSetInfo> sets;
    if (!store.Open(m_strDbPath, false) || !store.List(sets)) return;
    for (const auto& set : sets) {
        auto* item = new QTreeWidgetItem(m_pList);
        item->setText(0, FromUtf8(set.name));
        item->setText(1, set.status == HashSetStatus::kNotable ? QCoreApplication::translate("HashSetPage", "关注") : QCoreApplication::translate("HashSetPage", "已知"));
        item->setText(2, QString::number(set.count));
        item->setText(3, KindsText(set.kinds));
        item->setText(4, FromUtf8(set.imported));
        item->setText(5, FromUtf8(set.source));
    }
    m_pList->resizeColumnToContents(0);
}

bool HashSetPage::ImportFile(const QString& file, bool quiet) {
    const QString name = m_pName->text().trimmed();
    if (name.isEmpty()) {
        Tell(QCoreApplication::translate("HashSetPage", "请输入哈希集名称!"), true, quiet);
        return false;
    }
    HashSetStore store;
    if (!store.Open(m_strDbPath, true)) {
        Tell(FromUtf8(store.Error()), true, quiet);
        return false;
    }
    HashImportReport report;
    std::string error;
    bool ok;
    {
        WaitCursor wait;
        ok = ImportHashSet(store, name.toStdString(),
                           m_pStatus->currentIndex() == 1 ? HashSetStatus::kNotable : HashSetStatus::kKnown,
                           file.toStdString(), report, error);
    }
    store.Close();
    Reload();
    if (!ok) {
        Tell(FromUtf8(error), true, quiet);
        return false;
    }
    Tell(QCoreApplication::translate("HashSetPage", "已导入 %1 个哈希到 \"%2\", 跳过 %3 行").arg(report.added).arg(name).arg(report.Skipped()), false,
         quiet);
    return true;
}

bool HashSetPage::RemoveSelected(bool quiet) {
    QTreeWidgetItem* item = m_pList->currentItem();
    if (!item) return false;
    HashSetStore store;
    const bool ok = store.Open(m_strDbPath, false) && store.Remove(item->text(0).toStdString());
    if (!ok) Tell(FromUtf8(store.Error()), true, quiet);
    store.Close();
    Reload();
    return ok;
}

}  // namespace delvora
