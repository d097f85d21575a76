#include "app/properties_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt_text.h"
#include "common/reporting.h"
#include "disk/data_source.h"
#include "disk/media_info.h"
#include "fs/file_list_row.h"
#include "fs/volume.h"
#include "recovery/placement.h"
#include "views/property_grid.h"

namespace delvora {

PropertiesDialog::PropertiesDialog(const std::string& deviceName, Volume* volume, FileItem* item, Notifier& notifier,
                                   QWidget* parent)
    : QDialog(parent), m_pVolume(volume), m_pItem(item), m_notifier(notifier), m_pGrid(new PropertyGrid(this)) {
    setObjectName(QStringLiteral("propertiesDialog"));
    setWindowTitle(QCoreApplication::translate("PropertiesDialog", "属性"));
    const auto number = [](uint64_t value) { return QString::number(value); };

    QTreeWidgetItem* device = m_pGrid->AddGroup(QCoreApplication::translate("PropertiesDialog", "设备信息"));
    m_pGrid->AddText(device, QCoreApplication::translate("PropertiesDialog", "设备名称"), FromUtf8(deviceName), false);
    // What the source's container records (an E01's acquisition above all);
    // a remote disk or an unreadable source shows its name only.
    ContainerInfo facts;
    std::string scheme, error;
    const DataSource* source = volume ? volume->GetDataSource() : nullptr;
    const bool described = source && source->IsLocal() && DescribeSource(source->Context(), deviceName, facts, scheme, error);
    m_pGrid->AddText(device, QCoreApplication::translate("PropertiesDialog", "大小"), described ? number(facts.mediaSize) : QString(), false);
    if (described) {
        m_pGrid->AddText(device, QCoreApplication::translate("PropertiesDialog", "镜像格式"), FromUtf8(ContainerKindName(facts.kind)), false);
        m_pGrid->AddText(device, QCoreApplication::translate("PropertiesDialog", "每扇区字节数"), number(facts.bytesPerSector ? facts.bytesPerSector : 512),
                         false);
        m_pGrid->AddText(device, QCoreApplication::translate("PropertiesDialog", "分区方案"), FromUtf8(scheme), false);
        const std::pair<const char*, const std::string*> rows[] = {
            {QT_TRANSLATE_NOOP("PropertiesDialog", "案件编号"), &facts.caseNumber},     {QT_TRANSLATE_NOOP("PropertiesDialog", "证据编号"), &facts.evidenceNumber},
            {QT_TRANSLATE_NOOP("PropertiesDialog", "检验人"), &facts.examiner},         {QT_TRANSLATE_NOOP("PropertiesDialog", "描述"), &facts.description},
            {QT_TRANSLATE_NOOP("PropertiesDialog", "备注"), &facts.notes},              {QT_TRANSLATE_NOOP("PropertiesDialog", "获取日期"), &facts.acquiredDate},
            {QT_TRANSLATE_NOOP("PropertiesDialog", "获取软件"), &facts.acquiredSoftware}, {"MD5", &facts.storedMd5},
            {"SHA-1", &facts.storedSha1}};
        for (const auto& [label, value] : rows)
            if (!value->empty()) m_pGrid->AddText(device, QCoreApplication::translate("PropertiesDialog", label), FromUtf8(*value), false);
    }
    if (volume) {
        QTreeWidgetItem* group = m_pGrid->AddGroup(QCoreApplication::translate("PropertiesDialog", "卷信息"));
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "卷类型"), FromUtf8(volume->Description()), false);
        m_pStartSector = m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "开始扇区数"), number(volume->StartSector()), true);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "扇区数"), number(volume->TotalSectors()), false);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "每扇区字节数"), number(volume->BytesPerSector()), false);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "每簇扇区数"), number(volume->SectorsPerCluster()), false);
    }
    if (volume && item) {
        QTreeWidgetItem* group = m_pGrid->AddGroup(QCoreApplication::translate("PropertiesDialog", "文件信息"));
        const auto cells = FileListRowTexts(*item, volume);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "文件名称"), FromUtf8(item->name ? item->name : ""), false);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "文件类型"),
                         item->IsDirectory() ? QCoreApplication::translate("PropertiesDialog", "文件夹") : QCoreApplication::translate("PropertiesDialog", "文件"), false);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "大小"), number(item->size), false);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "创建时间"), FromUtf8(cells[1]), false);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "修改时间"), FromUtf8(cells[2]), false);
        m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "访问时间"), FromUtf8(cells[3]), false);
        m_pLocation = m_pGrid->AddText(group, QCoreApplication::translate("PropertiesDialog", "文件位置"), number(item->startCluster), true);
    }

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QCoreApplication::translate("PropertiesDialog", "确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QCoreApplication::translate("PropertiesDialog", "取消"), QDialogButtonBox::RejectRole);
    QPushButton* apply = buttons->addButton(QCoreApplication::translate("PropertiesDialog", "应用"), QDialogButtonBox::ApplyRole);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Apply()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply, &QPushButton::clicked, this, &PropertiesDialog::Apply);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pGrid, 1);
    layout->addWidget(buttons);
    resize(420, 420);
}

bool PropertiesDialog::Apply() {
    if (!m_pVolume) return true;
    const uint64_t sector = PropertyGrid::Number(m_pStartSector);
    if (sector != m_pVolume->StartSector()) {
        if (const std::string refused = MoveVolumeStart(*m_pVolume, sector); !refused.empty()) {
            m_notifier.Message(refused, "提示", MessageIcon::Error);
            return false;
        }
    }
    if (!m_pItem || !m_pLocation) return true;
    const uint64_t cluster = PropertyGrid::Number(m_pLocation);
    if (const std::string refused = CheckStartCluster(*m_pVolume, cluster); !refused.empty()) {
        m_notifier.Message(refused, "提示", MessageIcon::Error);
        return false;
    }
    m_pItem->startCluster = static_cast<uint32_t>(cluster);
    return true;
}

}  // namespace delvora
