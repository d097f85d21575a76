#pragma once
// Drawing of the disk map and its legend, shared by the map widget and the
// picture the command line writes: cells coloured by region type with their
// letters, row labels, marks and the current cell.
#include <QColor>
#include <QFont>
#include <QPainter>

#include <cstdint>

#include "chart/disk_map.h"

namespace delvora {

/// Cell colour of a region type.
QColor RegionColor(uint8_t type);

/// The grid: square cells of cellSize pixels, as many a row as fit beside
/// the label column.
struct DiskMapGrid {
    int cellSize = 10;
    int labelWidth = 0;   // the largest row label (a sector number) printed with "%d"
    uint64_t cellsPerRow = 0;
    uint64_t rowCount = 0;
    bool Valid() const { return cellSize > 0 && cellsPerRow > 0 && rowCount > 0; }
};

/// Lays out cellCount cells in a width, with a label column wide enough for
/// labelMax; invalid when nothing fits.
DiskMapGrid LayoutDiskMap(uint64_t cellCount, uint64_t labelMax, int width, int cellSize, const QFontMetrics& metrics);

/// Paints rows [firstRow, firstRow + rows) at y = top with the row labels;
/// the current cell is drawn framed, other marked cells with a red square.
void PaintDiskMapRows(QPainter& painter, const DiskMap& map, const DiskMapGrid& grid, uint64_t firstRow,
                      uint64_t rows, int top, int width);

/// The picture of an empty map (no regions or no room): the left seventh
/// shaded and lined off.
void PaintEmptyDiskMap(QPainter& painter, const QRect& area);

/// The legend: a sample cell and the label of each labelled type, 15 pixels
/// a line from y 4.
void PaintDiskMapLegend(QPainter& painter, const QRect& area);
/// Height the legend needs.
inline constexpr int kLegendLineHeight = 15;
int DiskMapLegendHeight();

/// The font of cell letters and labels.
QFont DiskMapFont();

}  // namespace delvora
