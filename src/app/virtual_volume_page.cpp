#include "app/virtual_volume_page.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/translation.h"
#include "ui/qt_text.h"
#include "ui/wait_cursor.h"
#include "common/reporting.h"
#include "disk/disk_device.h"

namespace delvora {

VirtualVolumePage::VirtualVolumePage(const CoreContext& context, Notifier& notifier, QWidget* parent)
    : QWizardPage(parent),
      m_context(context),
      m_notifier(notifier),
      m_pDevice(new QLineEdit(QStringLiteral("C:"), this)),
      m_pVolumeName(new QLineEdit(QStringLiteral("C:"), this)),
      m_pStart(new QLineEdit(QStringLiteral("0"), this)),
      m_pType(new QComboBox(this)),
      m_pPreRead(new QPushButton(QCoreApplication::translate("VirtualVolumePage", "预读"), this)),
      m_pMarkers(new QPushButton(QCoreApplication::translate("VirtualVolumePage", "搜索标志"), this)),
      m_pList(new QTreeWidget(this)) {
    setTitle(QCoreApplication::translate("VirtualVolumePage", "虚拟卷"));
    setObjectName(QStringLiteral("virtualVolumePage"));
    for (int i = 0; i < kVirtualTypeCount; ++i)
        m_pType->addItem(QString::fromLatin1(VirtualTypeName(static_cast<VirtualType>(i))));

    m_pList->setColumnCount(3);
    m_pList->setHeaderLabels({QCoreApplication::translate("VirtualVolumePage", "项"), QCoreApplication::translate("VirtualVolumePage", "值"), QCoreApplication::translate("VirtualVolumePage", "重要")});
    m_pList->setRootIsDecorated(false);
    m_pList->setColumnWidth(0, 170);
    m_pList->setColumnWidth(1, 140);
    m_pList->setColumnWidth(2, 40);
    // Only the value column is edited in place.
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        if (!m_bShowsMarkers) m_pList->editItem(item, 1);
    });

    auto* fields = new QGridLayout;
    const auto addField = [&](int row, int column, const char* label, QWidget* field) {
        fields->addWidget(new QLabel(QCoreApplication::translate("VirtualVolumePage", label), this), row, column);
        fields->addWidget(field, row, column + 1);
    };
    addField(0, 0, QT_TRANSLATE_NOOP("VirtualVolumePage", "驱动器"), m_pDevice);
    addField(0, 2, QT_TRANSLATE_NOOP("VirtualVolumePage", "卷名称"), m_pVolumeName);
    addField(1, 0, QT_TRANSLATE_NOOP("VirtualVolumePage", "开始扇区"), m_pStart);
    addField(1, 2, QT_TRANSLATE_NOOP("VirtualVolumePage", "卷类型"), m_pType);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pPreRead);
    buttons->addWidget(m_pMarkers);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(m_pList, 1);

    connect(m_pPreRead, &QPushButton::clicked, this, &VirtualVolumePage::PreRead);
    connect(m_pMarkers, &QPushButton::clicked, this, &VirtualVolumePage::SearchMarkers);
    connect(m_pType, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_bShowsMarkers) ShowParamRows();
    });
}

VirtualType VirtualVolumePage::Type() const {
    const int index = m_pType->currentIndex();
    return static_cast<VirtualType>(index >= 0 && index < kVirtualTypeCount ? index : 0);
}

uint32_t VirtualVolumePage::Start() const {
    // Text that is not a number counts as 0, as in the parameter rows.
    return m_pStart->text().trimmed().toUInt();
}

void VirtualVolumePage::initializePage() { PreRead(); }

void VirtualVolumePage::ShowParamRows() {
    m_pList->clear();
    m_bShowsMarkers = false;
    for (const ParamRow& row : ParamRows(Type(), m_blocks)) {
        auto* item = new QTreeWidgetItem(m_pList, {FromUtf8(row.label), FromUtf8(row.value), row.important ? QStringLiteral("*") : QString()});
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setToolTip(0, FromUtf8(row.field));
    }
}

void VirtualVolumePage::PreRead() {
    m_pList->clear();
    if (m_pDevice->text().isEmpty() || m_pVolumeName->text().isEmpty()) return;
    DiskDevice device(m_context);
    if (!OpenParamDevice(device, m_pDevice->text().toStdString())) {
        m_notifier.Message(Tr("VirtualVolumePage", "打不开设备!"), "提示", MessageIcon::Error);
        return;
    }
    if (!PreReadParams(device, Start(), m_blocks)) return;
    ShowParamRows();
}

void VirtualVolumePage::SearchMarkers() {
    if (m_pDevice->text().isEmpty()) return;
    WaitCursor wait;
    DiskDevice device(m_context);
    if (!OpenParamDevice(device, m_pDevice->text().toStdString())) return;
    const std::vector<uint64_t> marks = FindFatMarkers(device, Start());
    m_pList->clear();
    m_bShowsMarkers = true;
    for (size_t i = 0; i < marks.size(); ++i)
        new QTreeWidgetItem(m_pList, {FromUtf8(FatMarkerLabel(i)), QString::number(marks[i]), QString()});
}

bool VirtualVolumePage::validatePage() {
    const VirtualType type = Type();
    const std::string name = m_pDevice->text().toStdString();
    if (name.empty() || m_pVolumeName->text().isEmpty()) {
        m_notifier.Message(Tr("VirtualVolumePage", "卷或设备名不能空!"), "提示", MessageIcon::Error);
        return false;
    }
    DiskDevice device(m_context);
    std::vector<uint8_t> sector(512);
    if (!OpenParamDevice(device, name) || !device.Read(sector.data(), 512, Start())) return false;

    // With the marker rows shown there is nothing edited to read back.
    std::vector<std::string> values;
    if (m_bShowsMarkers) {
        for (const ParamRow& row : ParamRows(type, m_blocks)) values.push_back(row.value);
    } else {
        for (int i = 0; i < m_pList->topLevelItemCount(); ++i) values.push_back(m_pList->topLevelItem(i)->text(1).toStdString());
    }
    if (const std::string failed = ReadBackRows(type, values, m_blocks); !failed.empty()) {
        m_notifier.Message(failed, "提示", MessageIcon::Error);
        return false;
    }
    const uint64_t sectors = device.SizeBytes() / 512;
    FillMissingSize(type, sectors > Start() ? sectors - Start() : 0, m_blocks);

    m_choice.typeId = PartitionTypeOf(type);
    m_choice.deviceName = name;
    m_choice.startSector = Start();
    m_choice.fatParams = m_blocks.fat;
    m_choice.ntfsParams = m_blocks.ntfs;
    m_choice.ext2Params = m_blocks.ext2;
    return true;
}

}  // namespace delvora
