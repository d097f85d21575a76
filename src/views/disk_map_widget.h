#pragma once
// The disk map control: a volume as a grid of cells coloured by region
// type. Selecting a file marks its sectors and scrolls to the first; a
// click makes a cell current and announces its first sector (the disk view
// shows it in the sector viewer).
#include <QAbstractScrollArea>

#include <cstdint>

#include "chart/disk_map.h"
#include "draw/disk_map_painter.h"

namespace delvora {

class Volume;
struct FileItem;

class DiskMapWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kCellSize = 10;

    explicit DiskMapWidget(QWidget* parent = nullptr);

    /// Loads the volume's regions (null: an empty map).
    void ShowVolume(Volume* volume);
    /// Marks the item's sectors and makes the lowest the current cell.
    void ShowItem(FileItem* item);
    /// Ignored beyond the cell count; scrolls so that the cell's row shows.
    void SetCurrentCell(uint64_t cell);
    const DiskMap& Map() const { return m_map; }
    Volume* CurrentVolume() const { return m_pVolume; }
    const DiskMapGrid& Grid() const { return m_grid; }
    /// The cell under a point of the viewport, or UINT64_MAX.
    uint64_t CellAt(const QPoint& point) const;
    /// Where a cell is drawn in the viewport (for tests and tool tips).
    QRect CellRect(uint64_t cell) const;

signals:
    /// The current cell changed; sector is volume-relative.
    void SectorChosen(uint64_t sector);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    /// A tool tip names the cell's sectors and region.
    bool viewportEvent(QEvent* event) override;

private:
    void Relayout();

    DiskMap m_map;
    DiskMapGrid m_grid;
    Volume* m_pVolume = nullptr;
};

/// The legend pane beside the map.
class DiskMapLegend : public QWidget {
    Q_OBJECT
public:
    explicit DiskMapLegend(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace delvora
