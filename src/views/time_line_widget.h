#pragma once
// The time line control: the files of a folder on a calendar grid by their
// created, modified and accessed times, at five zoom levels (months × days,
// days × hours, hours, minutes, seconds), with a cell size the examiner can
// grow and shrink, a typed time to jump to, and a click that picks a file.
#include <QAbstractScrollArea>
#include <QString>

#include <cstdint>

#include "chart/time_index.h"

class QMenu;

namespace delvora {

struct FileItem;

class TimeLineWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kMinCellValue = 40;
    static constexpr int kMaxCellValue = 160;
    static constexpr int kLabelWidth = 64;
    static constexpr int kHeaderHeight = 40;

    explicit TimeLineWidget(QWidget* parent = nullptr);

    /// Indexes the item (a file directly, a folder's files, with recurse
    /// those below it too), lays out and repaints.
    void ShowItem(FileItem* item, bool recurse);
    TimeIndex& Index() { return m_index; }

    int Level() const { return m_nLevel; }
    int CellValue() const { return m_nCellValue; }
    bool ZoomIn();
    bool ZoomOut();
    bool GrowCells();
    bool ShrinkCells();
    /// The context menu "时间线菜单" with its entries greyed where refused.
    QMenu* MakeMenu(QWidget* parent);

    /// Scrolls to a typed time ("2003-06-29 04:14:26"); false when the text
    /// is not 19 characters or no file has its year.
    bool Query(const QString& text);

    int ColumnWidth() const;
    int RowHeight() const;
    /// The cell of a level's column and row in the viewport.
    QRect CellRect(uint64_t column, int row) const;
    const TimeNode* SelectedNode() const { return m_pSelected; }
    /// Clicks a point: selects its node and picks a file. Answers the file.
    FileItem* ClickAt(const QPoint& point);

signals:
    /// A click chose a file.
    void ItemChosen(FileItem* item);
    /// The date of the clicked node, "%d-%0.2d-%0.2d %0.2d:%0.2d:%0.2d".
    void TimeText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Relayout();
    /// Rows drawn at this level and their height (one band below level 1).
    int RowCount() const;
    int BandHeight() const;
    int MarksPerRow() const;
    QString ColumnLabel(uint64_t column) const;

    TimeIndex m_index;
    int m_nLevel = 0;
    int m_nCellValue = 80;
    const TimeNode* m_pSelected = nullptr;
};

/// Colour of a time kind's marks (creation, modification, access).
QColor TimeKindColor(uint8_t kind);

}  // namespace delvora
