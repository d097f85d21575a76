#pragma once
// The text and hexadecimal views: the current file's data in a paged
// control (only what is on screen is read); a folder or nothing empties them.
#include "views/delvora_view.h"
#include "views/paged_data_ctrl.h"

namespace delvora {

class DataView : public DelvoraView {
    Q_OBJECT
public:
    DataView(ViewSet& views, QString title, PagedDataCtrl::Form form, QWidget* parent = nullptr);

    void RefreshView() override;
    void CopySelection() override;
    void HexCopySelection() override;
    QStringList PrintRows(int maxRows) override { return m_pControl->RowsFrom(0, maxRows); }
    PagedDataCtrl* Control() const { return m_pControl; }

protected:
    bool CreateControls() override;

private:
    PagedDataCtrl::Form m_form;
    PagedDataCtrl* m_pControl = nullptr;
};

/// Shows the current file of views in control (emptied for a folder or nothing).
void ShowCurrentFile(ViewSet& views, PagedDataCtrl& control);

}  // namespace delvora
