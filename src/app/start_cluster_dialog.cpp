#include "app/start_cluster_dialog.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <vector>

#include "ui/qt_text.h"
#include "common/reporting.h"
#include "common/text_format.h"
#include "fs/volume.h"
#include "recovery/placement.h"

namespace delvora {
namespace {

// Sixteen bytes a line: offset, hexadecimal cells, printable characters.
QString HexLines(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t line = 0; line < bytes.size(); line += 16) {
        text += Format("%08zX  ", line);
        std::string chars;
        for (size_t i = line; i < line + 16; ++i) {
            if (i < bytes.size()) {
                text += Format("%02X ", bytes[i]);
                chars.push_back(bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.');
            } else {
                text += "   ";
            }
        }
        text += " " + chars + "\n";
    }
    return FromUtf8(text);
}

// Text that is not a number reads as 0.
uint32_t NumberOf(const QLineEdit* edit) { return edit->text().trimmed().toUInt(); }

}  // namespace

StartClusterDialog::StartClusterDialog(Volume& volume, FileItem& item, Notifier& notifier, QWidget* parent)
    : QDialog(parent),
      m_volume(volume),
      m_item(item),
      m_notifier(notifier),
      m_savedCluster(item.startCluster),
      m_pName(new QLineEdit(FromUtf8(item.name ? item.name : ""), this)),
      m_pCluster(new QLineEdit(this)),
      m_pLow(new QLineEdit(this)),
      m_pHigh(new QLineEdit(this)),
      m_pKeep(new QCheckBox(QCoreApplication::translate("StartClusterDialog", "保存修改"), this)),
      m_pReferences(new QTreeWidget(this)),
      m_pPreview(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("startClusterDialog"));
    setWindowTitle(QCoreApplication::translate("StartClusterDialog", "修改文件开始簇号"));
    m_pName->setReadOnly(true);
    m_pCluster->setText(QString::number(m_savedCluster));
    m_pLow->setText(QString::number(m_savedCluster & 0xFFFF));
    m_pHigh->setText(QString::number(m_savedCluster >> 16));

    connect(m_pCluster, &QLineEdit::textEdited, this, [this] {
        const uint32_t cluster = NumberOf(m_pCluster);
        m_pLow->setText(QString::number(cluster & 0xFFFF));
        m_pHigh->setText(QString::number(cluster >> 16));
    });
    const auto join = [this] {
        m_pCluster->setText(QString::number((NumberOf(m_pLow) & 0xFFFF) | (NumberOf(m_pHigh) << 16)));
    };
    connect(m_pLow, &QLineEdit::textEdited, this, join);
    connect(m_pHigh, &QLineEdit::textEdited, this, join);

    m_pReferences->setColumnCount(4);
    m_pReferences->setHeaderLabels(
        {QCoreApplication::translate("StartClusterDialog", "名称"), QCoreApplication::translate("StartClusterDialog", "开始簇号"), QCoreApplication::translate("StartClusterDialog", "低16位"), QCoreApplication::translate("StartClusterDialog", "高16位")});
    m_pReferences->setRootIsDecorated(false);
    for (int column = 0; column < 4; ++column) m_pReferences->setColumnWidth(column, column == 0 ? 120 : 80);
    for (const ReferenceRow& row : StartClusterReferences(item))
        new QTreeWidgetItem(m_pReferences, {FromUtf8(row.name), QString::number(row.cluster),
                                            QString::number(row.cluster & 0xFFFF), QString::number(row.cluster >> 16)});

    m_pPreview->setReadOnly(true);
    m_pPreview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pPreview->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* fields = new QFormLayout;
    fields->addRow(QCoreApplication::translate("StartClusterDialog", "文件名"), m_pName);
    fields->addRow(QCoreApplication::translate("StartClusterDialog", "开始簇号"), m_pCluster);
    fields->addRow(QCoreApplication::translate("StartClusterDialog", "低16位"), m_pLow);
    fields->addRow(QCoreApplication::translate("StartClusterDialog", "高16位"), m_pHigh);
    auto* previewButton = new QPushButton(QCoreApplication::translate("StartClusterDialog", "预览"), this);
    connect(previewButton, &QPushButton::clicked, this, &StartClusterDialog::Preview);
    auto* checks = new QHBoxLayout;
    checks->addWidget(m_pKeep);
    checks->addStretch(1);
    checks->addWidget(previewButton);

    auto* referenceBox = new QGroupBox(QCoreApplication::translate("StartClusterDialog", "参考簇号"), this);
    (new QVBoxLayout(referenceBox))->addWidget(m_pReferences);
    auto* previewBox = new QGroupBox(QCoreApplication::translate("StartClusterDialog", "预览"), this);
    (new QVBoxLayout(previewBox))->addWidget(m_pPreview);
    auto* panes = new QHBoxLayout;
    panes->addWidget(referenceBox, 1);
    panes->addWidget(previewBox, 2);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QCoreApplication::translate("StartClusterDialog", "确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QCoreApplication::translate("StartClusterDialog", "取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(checks);
    layout->addLayout(panes, 1);
    layout->addWidget(buttons);
    resize(900, 480);
}

uint32_t StartClusterDialog::Edited() const { return NumberOf(m_pCluster); }

void StartClusterDialog::Preview() {
    if (m_item.size == 0) return;
    const uint32_t cluster = Edited();
    if (const std::string refused = CheckStartCluster(m_volume, cluster); !refused.empty()) {
        m_notifier.Message(refused, "提示", MessageIcon::Error);
        return;
    }
    m_pPreview->clear();
    std::vector<uint8_t> bytes;
    // The item holds the trial cluster until OK or Cancel decides.
    if (PreviewStartCluster(m_volume, m_item, cluster, bytes)) m_pPreview->setPlainText(HexLines(bytes));
}

void StartClusterDialog::done(int result) {
    uint32_t cluster = m_savedCluster;
    if (result == QDialog::Accepted && m_pKeep->isChecked()) {
        if (const std::string refused = CheckStartCluster(m_volume, Edited()); !refused.empty()) {
            m_notifier.Message(refused, "提示", MessageIcon::Error);
            return;
        }
        cluster = Edited();
    }
    m_item.startCluster = cluster;
    QDialog::done(result);
}

}  // namespace delvora
