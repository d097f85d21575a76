#include "views/disk_browse_form.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

#include "common/reporting.h"
#include "disk/device_map.h"
#include "disk/disk_device.h"
#include "views/hex_grid_ctrl.h"

namespace delvora {
namespace {

QLineEdit* NumberEdit(const QString& name, const QString& value, QWidget* parent) {
    auto* edit = new QLineEdit(value, parent);
    edit->setObjectName(name);
    edit->setMaximumWidth(90);
    return edit;
}

/// The number in an edit; fields that hold none read as 0, as an empty
/// number field of a dialog does.
uint64_t Number(const QLineEdit* edit) {
    bool ok = false;
    const qulonglong v = edit->text().trimmed().toULongLong(&ok);
    return ok ? v : 0;
}

constexpr int kFormHeight = 90;  // the viewer starts below the form's fields

}  // namespace

DiskBrowseForm::DiskBrowseForm(const CoreContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
    setObjectName(QStringLiteral("diskBrowseForm"));
    auto* fields = new QWidget(this);
    fields->setGeometry(0, 0, 900, kFormHeight);
    auto* grid = new QGridLayout(fields);
    m_pSize = NumberEdit(QStringLiteral("blockSize"), QStringLiteral("512"), fields);
    m_pRows = NumberEdit(QStringLiteral("rows"), QStringLiteral("32"), fields);
    m_pColumns = NumberEdit(QStringLiteral("columns"), QStringLiteral("16"), fields);
    m_pSectorSize = NumberEdit(QStringLiteral("sectorSize"), QStringLiteral("512"), fields);
    m_pSector = NumberEdit(QStringLiteral("firstSector"), QStringLiteral("0"), fields);
    m_pDevice = new QComboBox(fields);
    m_pDevice->setObjectName(QStringLiteral("device"));
    m_pDevice->setEditable(true);
    m_pDevice->setMinimumWidth(160);
    for (const std::string& name : DevicesOf(m_context).Names()) m_pDevice->addItem(QString::fromStdString(name));
    grid->addWidget(new QLabel(QCoreApplication::translate("DiskBrowseForm", "数据大小"), fields), 0, 0);
    grid->addWidget(m_pSize, 0, 1);
    grid->addWidget(new QLabel(QCoreApplication::translate("DiskBrowseForm", "行 "), fields), 0, 2);
    grid->addWidget(m_pRows, 0, 3);
    grid->addWidget(new QLabel(QCoreApplication::translate("DiskBrowseForm", "列"), fields), 0, 4);
    grid->addWidget(m_pColumns, 0, 5);
    grid->addWidget(new QLabel(QCoreApplication::translate("DiskBrowseForm", "每扇区字节数"), fields), 0, 6);
    grid->addWidget(m_pSectorSize, 0, 7);
    grid->addWidget(new QLabel(QCoreApplication::translate("DiskBrowseForm", "逻辑分区"), fields), 1, 0);
    grid->addWidget(m_pDevice, 1, 1, 1, 3);
    grid->addWidget(new QLabel(QCoreApplication::translate("DiskBrowseForm", "扇区位置"), fields), 1, 4);
    grid->addWidget(m_pSector, 1, 5);
    auto* show = new QPushButton(QCoreApplication::translate("DiskBrowseForm", "  显示"), fields);
    show->setObjectName(QStringLiteral("show"));
    auto* fore = new QPushButton(QCoreApplication::translate("DiskBrowseForm", " 前景色"), fields);
    auto* back = new QPushButton(QCoreApplication::translate("DiskBrowseForm", " 背景色"), fields);
    grid->addWidget(show, 1, 6);
    grid->addWidget(fore, 1, 7);
    grid->addWidget(back, 1, 8);
    connect(show, &QPushButton::clicked, this, [this] { Show(); });
    connect(fore, &QPushButton::clicked, this, [this] { ChooseColor(true); });
    connect(back, &QPushButton::clicked, this, [this] { ChooseColor(false); });
    m_pViewer = new HexGridCtrl(m_context.Notify(), this);
    resize(900, 600);
}

void DiskBrowseForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // 10 pixels from the sides, from y 90 to 5 pixels above the bottom.
    m_pViewer->setGeometry(10, kFormHeight, std::max(0, width() - 20), std::max(0, height() - kFormHeight - 5));
}

void DiskBrowseForm::Message(const QString& text) {
    const QString caption = QApplication::applicationDisplayName();
    m_context.Notify().Message(text.toStdString(), caption.isEmpty() ? "提示" : caption.toStdString());
}

void DiskBrowseForm::SetFields(uint64_t blockSize, int rows, int columns, uint64_t sectorSize, const QString& device,
                               uint64_t firstSector) {
    m_pSize->setText(QString::number(blockSize));
    m_pRows->setText(QString::number(rows));
    m_pColumns->setText(QString::number(columns));
    m_pSectorSize->setText(QString::number(sectorSize));
    m_pDevice->setCurrentText(device);
    m_pSector->setText(QString::number(firstSector));
}

bool DiskBrowseForm::Show() {
    const uint64_t size = Number(m_pSize), rows = Number(m_pRows), columns = Number(m_pColumns),
                   sectorSize = Number(m_pSectorSize), sector = Number(m_pSector);
    const QString device = m_pDevice->currentText().trimmed();
    if (size == 0) Message(QCoreApplication::translate("DiskBrowseForm", "请设好扇区大小!"));
    if (sectorSize < 1 || sectorSize % 512 != 0 || sectorSize > UINT32_MAX) {
        Message(QCoreApplication::translate("DiskBrowseForm", "每扇区字节数一般只能为 512 的倍数!"));
        return false;
    }
    // 64-bit products: typed-in counts must not wrap into a match.
    if (rows > INT32_MAX || columns > INT32_MAX || rows * columns != size) {
        Message(QCoreApplication::translate("DiskBrowseForm", "扇区大小 != 行数*列数"));
        return false;
    }
    if (size == 0) return false;
    // The picture bounds the block long before this; a read buffer of the
    // typed-in size must not be tried first.
    if (size > static_cast<uint64_t>(HexGridCtrl::kMaxPictureBytes)) {
        Message(QCoreApplication::translate("DiskBrowseForm", "创建内存位图失败!"));
        return false;
    }
    DiskDevice disk(m_context);
    disk.SetName(device.toStdString());
    disk.SetSectorSize(static_cast<uint32_t>(sectorSize));
    disk.SetReportErrors(0);  // the form says what failed
    if (!disk.Open()) {
        Message(QCoreApplication::translate("DiskBrowseForm", "打不开磁盘文件!"));
        return false;
    }
    std::vector<uint8_t> buffer(size);
    if (!disk.Read(buffer.data(), static_cast<uint32_t>(size), sector)) {
        Message(QCoreApplication::translate("DiskBrowseForm", "读取数据出错!"));
        return false;
    }
    disk.Close();
    m_pViewer->SetRows(static_cast<int>(rows));
    m_pViewer->SetColumns(static_cast<int>(columns));
    m_pViewer->SetData(buffer.data(), buffer.size());
    const bool rendered = m_pViewer->Render();
    m_pViewer->viewport()->update();
    return rendered;
}

void DiskBrowseForm::ChooseColor(bool text) {
    const QColor start = text ? m_pViewer->TextColor() : m_pViewer->BackColor();
    const QColor chosen = QColorDialog::getColor(start, this);
    if (!chosen.isValid()) return;
    if (text) m_pViewer->SetTextColor(chosen);
    else m_pViewer->SetBackColor(chosen);
}

}  // namespace delvora
