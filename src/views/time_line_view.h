#pragma once
// The time line view: the time line of the current folder (or of the file's
// folder) with the time query, the switches of the three time kinds and the
// sub-folder switch. A file picked on it becomes the current item.
#include "views/delvora_view.h"

namespace delvora {

class TimeLineWidget;
struct FileItem;

class TimeLineView : public DelvoraView {
    Q_OBJECT
public:
    TimeLineView(ViewSet& views, QString title, QWidget* parent = nullptr);

    void RefreshView() override;
    bool HasSkipFlag() const override { return true; }
    TimeLineWidget* TimeLine() const { return m_pTimeLine; }

protected:
    bool CreateControls() override;

private:
    void Show();

    TimeLineWidget* m_pTimeLine = nullptr;
    FileItem* m_pFolder = nullptr;  // what the time line shows
    bool m_bRecurse = false;
};

}  // namespace delvora
