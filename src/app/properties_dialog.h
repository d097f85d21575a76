#pragma once
// The properties page ("属性"): the current data source, volume and item,
// with the volume's start sector and the item's start cluster editable.
// Applying changes the loaded volume and item in memory only.
#include <QDialog>

#include <string>

class QTreeWidgetItem;

namespace delvora {

class Notifier;
class PropertyGrid;
class Volume;
struct FileItem;

class PropertiesDialog : public QDialog {
    Q_OBJECT
public:
    /// volume and item may be null: their groups are then left out.
    PropertiesDialog(const std::string& deviceName, Volume* volume, FileItem* item, Notifier& notifier,
                     QWidget* parent = nullptr);

    /// Reads the two editable rows back; false (with a message) when a value
    /// lies outside the source or the volume, which then stay as they were.
    bool Apply();
    PropertyGrid* Grid() const { return m_pGrid; }

private:
    Volume* m_pVolume;
    FileItem* m_pItem;
    Notifier& m_notifier;
    PropertyGrid* m_pGrid;
    QTreeWidgetItem* m_pStartSector = nullptr;
    QTreeWidgetItem* m_pLocation = nullptr;
};

}  // namespace delvora
