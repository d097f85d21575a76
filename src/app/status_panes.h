#pragma once
// The main frame's status bar: the message pane, the progress pane and three
// indicator cells, in that order. Cells are addressed by index as the core's
// progress sink and the views do.
#include <QStatusBar>

class QLabel;

namespace delvora {

class ProgressPane;

class StatusPanes : public QStatusBar {
    Q_OBJECT
public:
    enum Pane : int { kMessage = 0, kProgress = 1, kFound = 2, kNumber = 3, kCounts = 4, kPaneCount = 5 };

    explicit StatusPanes(QWidget* parent = nullptr);

    ProgressPane* Progress() const { return m_pProgress; }
    /// Sets the text of a cell by index; out-of-range indexes are ignored.
    void SetPaneText(int index, const QString& text);
    QString PaneText(int index) const;
    /// The widget of a cell, for layout checks.
    QWidget* PaneWidget(int index) const;

private:
    QLabel* m_pMessage;
    ProgressPane* m_pProgress;
    QLabel* m_pFound;
    QLabel* m_pNumber;
    QLabel* m_pCounts;
};

}  // namespace delvora
