#pragma once
// The disk-browse form: block size, rows, columns, bytes per sector, the
// device (a name of the device map or a path) and the first sector; "显示"
// reads the block and shows it in the sector viewer below the form.
#include <QWidget>

#include <cstdint>

class QComboBox;
class QLineEdit;

namespace delvora {

struct CoreContext;
class HexGridCtrl;

class DiskBrowseForm : public QWidget {
    Q_OBJECT
public:
    explicit DiskBrowseForm(const CoreContext& context, QWidget* parent = nullptr);

    HexGridCtrl* Viewer() const { return m_pViewer; }
    QComboBox* Device() const { return m_pDevice; }
    /// The form's fields as text (tests and the disk view fill them).
    void SetFields(uint64_t blockSize, int rows, int columns, uint64_t sectorSize, const QString& device,
                   uint64_t firstSector);
    /// The show button: checks the fields, reads the block and renders it.
    /// False after a message.
    bool Show();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Message(const QString& text);
    void ChooseColor(bool text);

    const CoreContext& m_context;
    QLineEdit* m_pSize = nullptr;
    QLineEdit* m_pRows = nullptr;
    QLineEdit* m_pColumns = nullptr;
    QLineEdit* m_pSectorSize = nullptr;
    QComboBox* m_pDevice = nullptr;
    QLineEdit* m_pSector = nullptr;
    HexGridCtrl* m_pViewer = nullptr;
};

}  // namespace delvora
