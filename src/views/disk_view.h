#pragma once
// The disk (sector) view: the disk-browse form with its sector viewer, the
// disk map of the current item's volume with its legend and a viewer of the
// sector chosen on it, and a description pane naming what is shown.
#include <QPointer>

#include <cstdint>

#include "views/delvora_view.h"

class QPlainTextEdit;
class QTabWidget;

namespace delvora {

class DiskBrowseForm;
class DiskMapWidget;
class HexGridCtrl;
class PagedDataCtrl;

class DiskView : public DelvoraView {
    Q_OBJECT
public:
    DiskView(ViewSet& views, QString title, QWidget* parent = nullptr);

    void RefreshView() override;
    /// Shows the first sector of the map's volume in the form.
    void AuxiliaryCommand() override;

    DiskBrowseForm* Browse() const { return m_pBrowse; }
    DiskMapWidget* Map() const { return m_pMap; }
    QTabWidget* Tabs() const { return m_pTabs; }

protected:
    bool CreateControls() override;

private:
    void ShowSector(uint64_t sector);

    DiskBrowseForm* m_pBrowse = nullptr;
    DiskMapWidget* m_pMap = nullptr;
    HexGridCtrl* m_pSectorViewer = nullptr;
    PagedDataCtrl* m_pHex = nullptr;  // the current file's data
    QPlainTextEdit* m_pDescription = nullptr;
    QTabWidget* m_pTabs = nullptr;
};

}  // namespace delvora
