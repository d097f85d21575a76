#pragma once
// The add-data wizard ("数据来源"): the kind of source on the first page,
// then either the partition list of the machine (or of the device map) or
// the virtual-volume page. It only collects the choice; the case adds it.
#include <QWizard>
#include <QWizardPage>

#include <memory>
#include <optional>

#include "app/virtual_volume_page.h"
#include "case/add_data.h"
#include "disk/disk_scan.h"
#include "disk/remote_disk.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace delvora {

struct CoreContext;
class Notifier;

class SourceKindPage : public QWizardPage {
    Q_OBJECT
public:
    SourceKindPage(const CoreContext& context, Notifier& notifier, QWidget* parent = nullptr);

    bool validatePage() override;
    int nextId() const override;

    QRadioButton* Local() const { return m_pLocal; }
    QRadioButton* Remote() const { return m_pRemote; }
    QRadioButton* Image() const { return m_pImage; }
    QLineEdit* ImagePath() const { return m_pImagePath; }
    /// The image file chosen with "镜像文件" (E01, VMDK, raw …); empty otherwise.
    std::string ChosenImage() const;
    QCheckBox* Floppy() const { return m_pFloppy; }
    QCheckBox* Partitions() const { return m_pPartitions; }
    QCheckBox* WholeDisks() const { return m_pWholeDisks; }
    QCheckBox* Virtual() const { return m_pVirtual; }
    QLineEdit* Server() const { return m_pServer; }
    QLineEdit* User() const { return m_pUser; }
    QLineEdit* Password() const { return m_pPassword; }
    QPushButton* ConnectButton() const { return m_pConnect; }
    QPushButton* DisconnectButton() const { return m_pDisconnect; }
    /// True once a remote disk service is connected.
    bool IsConnected() const { return m_pRemoteDisk != nullptr; }
    /// The connection and the address as typed, while connected.
    std::optional<RemoteChoice> Connection() const;

    /// "连接": connects to the address with the user name and password as
    /// TLS-PSK credentials (both empty: plainly), showing why it failed.
    void Connect();
    /// "断开": releases the connection; items already added keep theirs.
    void Disconnect();

private:
    void ShowRemoteControls(bool remote);

    const CoreContext& m_context;
    Notifier& m_notifier;
    QRadioButton* m_pLocal;
    QRadioButton* m_pRemote;
    QLineEdit* m_pServer;
    QLineEdit* m_pUser;
    QLineEdit* m_pPassword;
    QPushButton* m_pConnect;
    QPushButton* m_pDisconnect;
    QRadioButton* m_pImage;
    QLineEdit* m_pImagePath;
    QPushButton* m_pBrowse;
    std::shared_ptr<RemoteDisk> m_pRemoteDisk;
    std::string m_strAddress;
    QCheckBox* m_pFloppy;
    QCheckBox* m_pPartitions;
    QCheckBox* m_pWholeDisks;
    QCheckBox* m_pVirtual;
};

class PartitionListPage : public QWizardPage {
    Q_OBJECT
public:
    PartitionListPage(const CoreContext& context, Notifier& notifier, QWidget* parent = nullptr);

    /// Scans again with the first page's check boxes, every time the page is shown.
    void initializePage() override;
    bool validatePage() override;
    int nextId() const override { return -1; }

    QTreeWidget* List() const { return m_pList; }
    /// The row taken when the page was accepted.
    const ChosenRow& Chosen() const { return m_chosen; }

private:
    void ShowWholeSources();
    /// The rows of one image file: its partitions, or the image itself
    /// when it holds a bare volume.
    void ListImage(const std::string& path);

    const CoreContext& m_context;
    Notifier& m_notifier;
    QTreeWidget* m_pList;
    ChosenRow m_chosen;
    std::vector<PartitionEntry> m_entries;  // the list's rows, in list order
};

class AddDataWizard : public QWizard {
    Q_OBJECT
public:
    enum PageId : int { kSourcePage = 0, kListPage = 1, kVirtualPage = 2 };

    AddDataWizard(const CoreContext& context, Notifier& notifier, QWidget* parent = nullptr);

    SourceKindPage* SourcePage() const { return m_pSource; }
    PartitionListPage* ListPage() const { return m_pList; }
    VirtualVolumePage* VirtualPage() const { return m_pVirtual; }
    bool VirtualChosen() const;
    const ChosenRow& Chosen() const { return m_pList->Chosen(); }
    /// The remote machine the chosen row is on, when connected.
    std::optional<RemoteChoice> RemoteChosen() const { return m_pSource->Connection(); }

private:
    SourceKindPage* m_pSource;
    PartitionListPage* m_pList;
    VirtualVolumePage* m_pVirtual;
};

}  // namespace delvora
