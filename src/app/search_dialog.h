#pragma once
// "查找关键字": the keyword (a child of the "关键字" group) and the volume to
// search, with the sector range that can be edited in the volume's row.
#include <QDialog>

#include "case/keyword_search_worker.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace delvora {

class CaseWorkspace;
class Notifier;

class SearchDialog : public QDialog {
    Q_OBJECT
public:
    enum DeviceColumn : int { kDevice, kVolumeName, kStartSector, kEndSector, kRange };

    SearchDialog(CaseWorkspace& workspace, Notifier& notifier, QWidget* parent = nullptr);

    QTreeWidget* Keywords() const { return m_pKeywords; }
    QTreeWidget* Devices() const { return m_pDevices; }
    /// What OK took (valid after accept).
    const SearchRequest& Request() const { return m_request; }

    /// Checks the rows as OK does; closes with OK when they pass.
    void accept() override;

private:
    void OnDeviceDoubleClicked(QTreeWidgetItem* item, int column);

    Notifier& m_notifier;
    QTreeWidget* m_pKeywords;
    QTreeWidget* m_pDevices;
    SearchRequest m_request;
};

}  // namespace delvora
