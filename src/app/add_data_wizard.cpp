#include "app/add_data_wizard.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/translation.h"
#include "ui/qt_text.h"
#include "ui/wait_cursor.h"
#include "common/reporting.h"
#include "disk/partition_types.h"
#include "disk/remote_connect.h"
#include "fs/volume_registry.h"

namespace delvora {

namespace {

// The address the remote choice starts with.
constexpr const char* kDefaultServer = "localhost";

}  // namespace

SourceKindPage::SourceKindPage(const CoreContext& context, Notifier& notifier, QWidget* parent)
    : QWizardPage(parent),
      m_context(context),
      m_notifier(notifier),
      m_pLocal(new QRadioButton(QCoreApplication::translate("AddDataWizard", "本地驱动器"), this)),
      m_pRemote(new QRadioButton(QCoreApplication::translate("AddDataWizard", "远程驱动器"), this)),
      m_pServer(new QLineEdit(this)),
      m_pUser(new QLineEdit(this)),
      m_pPassword(new QLineEdit(this)),
      m_pConnect(new QPushButton(QCoreApplication::translate("AddDataWizard", "连接"), this)),
      m_pDisconnect(new QPushButton(QCoreApplication::translate("AddDataWizard", "断开"), this)),
      m_pImage(new QRadioButton(QCoreApplication::translate("AddDataWizard", "镜像文件"), this)),
      m_pImagePath(new QLineEdit(this)),
      m_pBrowse(new QPushButton(QCoreApplication::translate("AddDataWizard", "浏览..."), this)),
      m_pFloppy(new QCheckBox(QCoreApplication::translate("AddDataWizard", "软盘"), this)),
      m_pPartitions(new QCheckBox(QCoreApplication::translate("AddDataWizard", "逻辑卷"), this)),
      m_pWholeDisks(new QCheckBox(QCoreApplication::translate("AddDataWizard", "硬盘"), this)),
      m_pVirtual(new QCheckBox(QCoreApplication::translate("AddDataWizard", "虚拟卷"), this)) {
    setTitle(QCoreApplication::translate("AddDataWizard", "选择数据来源"));
    m_pLocal->setObjectName(QStringLiteral("localRadio"));
    m_pRemote->setObjectName(QStringLiteral("remoteRadio"));
    m_pFloppy->setObjectName(QStringLiteral("floppyBox"));
    m_pPartitions->setObjectName(QStringLiteral("partitionsBox"));
    m_pWholeDisks->setObjectName(QStringLiteral("wholeDisksBox"));
    m_pVirtual->setObjectName(QStringLiteral("virtualBox"));
    m_pServer->setObjectName(QStringLiteral("serverEdit"));
    m_pUser->setObjectName(QStringLiteral("userEdit"));
    m_pPassword->setObjectName(QStringLiteral("passwordEdit"));
    m_pConnect->setObjectName(QStringLiteral("connectButton"));
    m_pDisconnect->setObjectName(QStringLiteral("disconnectButton"));
    m_pImage->setObjectName(QStringLiteral("imageRadio"));
    m_pImagePath->setObjectName(QStringLiteral("imagePathEdit"));
    m_pBrowse->setObjectName(QStringLiteral("browseImageButton"));
    m_pImagePath->setPlaceholderText(QCoreApplication::translate("AddDataWizard", "E01, VHD/VHDX, VMDK, QCOW2, 分卷或原始镜像"));
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pServer->setPlaceholderText(QCoreApplication::translate("AddDataWizard", "主机[:端口]"));
    m_pPassword->setPlaceholderText(QCoreApplication::translate("AddDataWizard", "十六进制密钥; 空: 不加密"));
    m_pLocal->setChecked(true);
    ShowRemoteControls(false);
    connect(m_pRemote, &QRadioButton::toggled, this, [this](bool remote) {
        if (!remote) Disconnect();
        ShowRemoteControls(remote);
    });
    connect(m_pImage, &QRadioButton::toggled, this, [this](bool image) {
        m_pImagePath->setEnabled(image);
        m_pBrowse->setEnabled(image);
    });
    m_pImagePath->setEnabled(false);
    m_pBrowse->setEnabled(false);
    connect(m_pBrowse, &QPushButton::clicked, this, [this] {
        // Containers are told apart by their content, so every file is offered.
        const QString path = QFileDialog::getOpenFileName(this, QCoreApplication::translate("AddDataWizard", "打开镜像文件"), m_pImagePath->text(),
                                                          QCoreApplication::translate("AddDataWizard", "所有文件 (*)"));
        if (!path.isEmpty()) m_pImagePath->setText(path);
    });
    connect(m_pConnect, &QPushButton::clicked, this, [this] { Connect(); });
    connect(m_pDisconnect, &QPushButton::clicked, this, [this] { Disconnect(); });

    auto* where = new QGroupBox(QCoreApplication::translate("AddDataWizard", "驱动器位置"), this);
    auto* whereLayout = new QGridLayout(where);
    whereLayout->addWidget(m_pLocal, 0, 0, 1, 4);
    whereLayout->addWidget(m_pRemote, 1, 0, 1, 4);
    whereLayout->addWidget(new QLabel(QCoreApplication::translate("AddDataWizard", "地  址"), this), 2, 0);
    whereLayout->addWidget(m_pServer, 2, 1);
    whereLayout->addWidget(m_pConnect, 2, 2);
    whereLayout->addWidget(new QLabel(QCoreApplication::translate("AddDataWizard", "用户名"), this), 3, 0);
    whereLayout->addWidget(m_pUser, 3, 1);
    whereLayout->addWidget(m_pDisconnect, 3, 2);
    whereLayout->addWidget(new QLabel(QCoreApplication::translate("AddDataWizard", "密  码"), this), 4, 0);
    whereLayout->addWidget(m_pPassword, 4, 1);
    whereLayout->addWidget(m_pImage, 5, 0, 1, 4);
    whereLayout->addWidget(new QLabel(QCoreApplication::translate("AddDataWizard", "文  件"), this), 6, 0);
    whereLayout->addWidget(m_pImagePath, 6, 1);
    whereLayout->addWidget(m_pBrowse, 6, 2);
    whereLayout->setColumnStretch(1, 1);

    auto* kinds = new QGroupBox(QCoreApplication::translate("AddDataWizard", "驱动器类型"), this);
    auto* kindsLayout = new QHBoxLayout(kinds);
    for (QCheckBox* box : {m_pFloppy, m_pPartitions, m_pWholeDisks, m_pVirtual}) kindsLayout->addWidget(box);
    kindsLayout->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addWidget(kinds);
    layout->addStretch(1);
}

void SourceKindPage::ShowRemoteControls(bool remote) {
    // Choosing remote drives starts from the default server name.
    if (remote) m_pServer->setText(QString::fromLatin1(kDefaultServer));
    for (QWidget* w : std::initializer_list<QWidget*>{m_pServer, m_pUser, m_pPassword, m_pConnect})
        w->setEnabled(remote);
    m_pDisconnect->setEnabled(remote && IsConnected());
}

void SourceKindPage::Connect() {
    Disconnect();
    const std::string address = m_pServer->text().trimmed().toStdString();
    {
        WaitCursor wait;
        m_pRemoteDisk = ConnectRemote(address, m_pUser->text().trimmed().toStdString(),
                                      m_pPassword->text().trimmed().toStdString(), m_context);
    }
    if (!m_pRemoteDisk) return;
    m_strAddress = address;
    m_pDisconnect->setEnabled(true);
}

void SourceKindPage::Disconnect() {
    m_pRemoteDisk.reset();
    m_strAddress.clear();
    m_pDisconnect->setEnabled(false);
}

std::string SourceKindPage::ChosenImage() const {
    return m_pImage->isChecked() ? m_pImagePath->text().trimmed().toStdString() : std::string();
}

std::optional<RemoteChoice> SourceKindPage::Connection() const {
    if (!m_pRemoteDisk) return std::nullopt;
    return RemoteChoice{m_pRemoteDisk, m_strAddress};
}

bool SourceKindPage::validatePage() {
    // A virtual volume needs neither a connection nor a drive type.
    if (m_pVirtual->isChecked()) return true;
    if (m_pRemote->isChecked() && !IsConnected()) {
        m_notifier.Message(Tr("AddDataWizard", "没有连接到服务器!"), "提示", MessageIcon::Error);
        return false;
    }
    if (m_pImage->isChecked()) {
        if (ChosenImage().empty()) {
            m_notifier.Message(Tr("AddDataWizard", "请选择镜像文件!"), "提示", MessageIcon::Error);
            return false;
        }
        // An image lists its own partitions whatever the drive types say.
        return true;
    }
    // Whole disks alone hold no volume to load.
    if (!m_pFloppy->isChecked() && !m_pPartitions->isChecked()) {
        m_notifier.Message(Tr("AddDataWizard", "请选择驱动器类型!"), "提示", MessageIcon::Error);
        return false;
    }
    return true;
}

int SourceKindPage::nextId() const {
    return m_pVirtual->isChecked() ? AddDataWizard::kVirtualPage : AddDataWizard::kListPage;
}

PartitionListPage::PartitionListPage(const CoreContext& context, Notifier& notifier, QWidget* parent)
    : QWizardPage(parent), m_context(context), m_notifier(notifier), m_pList(new QTreeWidget(this)) {
    setTitle(QCoreApplication::translate("AddDataWizard", "选择分区"));
    m_pList->setObjectName(QStringLiteral("partitionList"));
    m_pList->setRootIsDecorated(false);
    m_pList->setItemsExpandable(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->setTextElideMode(Qt::ElideMiddle);
    const auto& titles = DiskScan::ColumnTitles();
    const auto& widths = DiskScan::ColumnWidths();
    QStringList headers;
    for (const auto& title : titles) headers << FromUtf8(Tr("DiskScan", title.c_str()));
    m_pList->setColumnCount(static_cast<int>(headers.size()));
    m_pList->setHeaderLabels(headers);
    m_pList->header()->setStretchLastSection(false);
    for (size_t i = 0; i < widths.size(); ++i) m_pList->setColumnWidth(static_cast<int>(i), widths[i]);
    // Whole rows are meant; a double click takes the row like the finish button.
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (wizard()) wizard()->button(QWizard::FinishButton)->click();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pList);
}

void PartitionListPage::initializePage() {
    m_pList->clear();
    // Only a remote list asks for more room (ShowWholeSources).
    m_pList->setMinimumWidth(0);
    m_entries.clear();
    m_chosen = ChosenRow{};
    const auto* owner = qobject_cast<AddDataWizard*>(wizard());
    if (!owner) return;
    const SourceKindPage* source = owner->SourcePage();
    WaitCursor wait;
    if (const std::string image = source->ChosenImage(); !image.empty()) {
        ListImage(image);
        return;
    }
    DiskScan scan(m_context);
    scan.SetOptions(source->Floppy()->isChecked(), source->Partitions()->isChecked(),
                    source->WholeDisks()->isChecked());
    // Connected: the remote machine's disks, each row naming the machine.
    const std::optional<RemoteChoice> remote = source->Connection();
    if (remote) scan.SetRemote(remote->disk);
    if (!scan.Scan()) return;
    m_entries = scan.Entries();
    for (const PartitionEntry& entry : m_entries) {
        QStringList texts;
        for (const std::string& text : DiskScan::RowTexts(entry, remote ? remote->address : std::string()))
            texts << FromUtf8(text);
        m_pList->addTopLevelItem(new QTreeWidgetItem(texts));
    }
    if (remote) ShowWholeSources();
}

void PartitionListPage::ListImage(const std::string& path) {
    DataSource probe(m_context);
    probe.SetPath(path);
    probe.SetReportErrors(0);
    if (!probe.Open()) {
        m_notifier.Message(probe.LastErrorText(), "提示", MessageIcon::Error);
        return;
    }
    DiskScan scan(m_context);
    scan.WalkDisk(path);
    m_entries = scan.Entries();
    if (m_entries.empty()) {
        std::vector<uint8_t> head(65536);
        const uint8_t type =
            probe.GetData(head.data(), static_cast<uint32_t>(head.size()), 0) ? RecogniseVolume(head) : 0;
        if (type == 0) {
            m_notifier.Message(Tr("AddDataWizard", "未识别出分区或 FAT、NTFS、EXT2 卷: ") + path, "提示", MessageIcon::Error);
            return;
        }
        PartitionEntry bare;
        bare.source = path;
        bare.letter = "C:";
        bare.fsName = TypeName(type);
        bare.typeId = type;
        bare.sizeBytes = probe.SizeBytes();
        bare.totalSectors = static_cast<uint32_t>(std::min<uint64_t>(bare.sizeBytes / 512, UINT32_MAX));
        m_entries.push_back(bare);
    }
    for (const PartitionEntry& entry : m_entries) {
        QStringList texts;
        for (const std::string& text : DiskScan::RowTexts(entry)) texts << FromUtf8(text);
        m_pList->addTopLevelItem(new QTreeWidgetItem(texts));
    }
    // The source column shows the image's path: as wide as it needs.
    ShowWholeSources();
}

void PartitionListPage::ShowWholeSources() {
    // The source names the machine ("(\\address)" after the device): its
    // column takes the width of its longest text, and the list asks for the
    // width that shows every column, which widens the wizard. On a screen too
    // narrow for that the column takes what is left and its text is cut in
    // the middle, so that the address at its end stays readable.
    const int source = m_pList->columnCount() - 1;
    m_pList->resizeColumnToContents(source);
    const int least = DiskScan::ColumnWidths().back();
    const int before = m_pList->header()->sectionPosition(source);
    const int border = 2 * m_pList->frameWidth() + m_pList->verticalScrollBar()->sizeHint().width();
    int width = before + std::max(m_pList->columnWidth(source), least) + border;
    // Room for the wizard's own border and margins beside the list.
    constexpr int kBeside = 80;
    if (const QScreen* screen = this->screen(); screen && width > screen->availableGeometry().width() - kBeside) {
        width = screen->availableGeometry().width() - kBeside;
        m_pList->setColumnWidth(source, std::max(least, width - before - border));
    }
    m_pList->setMinimumWidth(width);
}

bool PartitionListPage::validatePage() {
    const QList<QTreeWidgetItem*> selected = m_pList->selectedItems();
    if (selected.isEmpty()) {
        m_notifier.Message(Tr("AddDataWizard", "请选择一项!"), "提示", MessageIcon::Error);
        return false;
    }
    const int index = m_pList->indexOfTopLevelItem(selected.first());
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) return false;
    m_chosen = ChosenRowOf(m_entries[static_cast<size_t>(index)]);
    return true;
}

AddDataWizard::AddDataWizard(const CoreContext& context, Notifier& notifier, QWidget* parent)
    : QWizard(parent),
      m_pSource(new SourceKindPage(context, notifier, this)),
      m_pList(new PartitionListPage(context, notifier, this)),
      m_pVirtual(new VirtualVolumePage(context, notifier, this)) {
    setObjectName(QStringLiteral("addDataWizard"));
    setWindowTitle(QCoreApplication::translate("AddDataWizard", "数据来源"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage, false);
    setButtonText(QWizard::BackButton, QCoreApplication::translate("AddDataWizard", "< 上一步"));
    setButtonText(QWizard::NextButton, QCoreApplication::translate("AddDataWizard", "下一步 >"));
    setButtonText(QWizard::FinishButton, QCoreApplication::translate("AddDataWizard", "完成"));
    setButtonText(QWizard::CancelButton, QCoreApplication::translate("AddDataWizard", "取消"));
    setPage(kSourcePage, m_pSource);
    setPage(kListPage, m_pList);
    setPage(kVirtualPage, m_pVirtual);
    setStartId(kSourcePage);
    resize(720, 420);
}

bool AddDataWizard::VirtualChosen() const { return m_pSource->Virtual()->isChecked(); }

}  // namespace delvora
