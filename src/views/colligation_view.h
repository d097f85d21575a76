#pragma once
// The combined view: the hits of the result folder chosen in the browse bar,
// and the text and hexadecimal panes of the file the selected hit lies in.
#include "views/delvora_view.h"

class QTabWidget;

namespace delvora {

class PagedDataCtrl;
class SearchResultsView;

class ColligationView : public DelvoraView {
    Q_OBJECT
public:
    ColligationView(ViewSet& views, QString title, QWidget* parent = nullptr);
    void RefreshView() override;
    SearchResultsView* Results() const { return m_pResults; }
    PagedDataCtrl* Text() const { return m_pText; }
    PagedDataCtrl* Hex() const { return m_pHex; }

protected:
    bool CreateControls() override;

private:
    void ShowHit(int row);

    SearchResultsView* m_pResults = nullptr;
    QTabWidget* m_pTabs = nullptr;
    PagedDataCtrl* m_pText = nullptr;
    PagedDataCtrl* m_pHex = nullptr;
};

}  // namespace delvora
