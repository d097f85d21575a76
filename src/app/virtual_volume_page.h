#pragma once
// The virtual-volume page of the add-data wizard: a device, a start sector
// and a type, the boot parameters read there ("预读") as editable rows, and
// the search for sectors where a FAT may begin ("搜索标志").
#include <QWizardPage>

#include "case/add_data.h"
#include "disk/volume_params.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace delvora {

struct CoreContext;
class Notifier;

class VirtualVolumePage : public QWizardPage {
    Q_OBJECT
public:
    VirtualVolumePage(const CoreContext& context, Notifier& notifier, QWidget* parent = nullptr);

    /// Pre-reads by itself, as if the examiner pressed "预读".
    void initializePage() override;
    /// Reads the rows back and checks them; stays on the page with the
    /// failed check's message.
    bool validatePage() override;
    int nextId() const override { return -1; }

    void PreRead();
    void SearchMarkers();

    QLineEdit* Device() const { return m_pDevice; }
    QLineEdit* VolumeName() const { return m_pVolumeName; }
    QLineEdit* StartSector() const { return m_pStart; }
    QComboBox* VolumeType() const { return m_pType; }
    QTreeWidget* List() const { return m_pList; }
    /// What finishing collected.
    const VirtualVolumeChoice& Choice() const { return m_choice; }

private:
    VirtualType Type() const;
    uint32_t Start() const;
    void ShowParamRows();

    const CoreContext& m_context;
    Notifier& m_notifier;
    QLineEdit* m_pDevice;
    QLineEdit* m_pVolumeName;
    QLineEdit* m_pStart;
    QComboBox* m_pType;
    QPushButton* m_pPreRead;
    QPushButton* m_pMarkers;
    QTreeWidget* m_pList;
    VolumeParamBlocks m_blocks;
    bool m_bShowsMarkers = false;
    VirtualVolumeChoice m_choice;
};

}  // namespace delvora
