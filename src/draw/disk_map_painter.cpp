#include "draw/disk_map_painter.h"

#include <QFontDatabase>

#include <algorithm>

#include "common/translation.h"

namespace delvora {
namespace {

const QColor kGridBackground(255, 255, 255);
const QColor kLabelColumn(212, 208, 200);  // the classic scroll-bar colour
const QColor kLegendBackground(240, 230, 220);
const QColor kMarkColor(200, 0, 0);

int Digits(uint64_t n) { return static_cast<int>(std::to_string(n).size()); }

void PaintCell(QPainter& painter, const QRect& r, uint8_t type) {
    const RegionStyle& style = StyleOfRegion(type);
    if (!style.drawn) return;
    const QColor color = RegionColor(type);
    painter.fillRect(r, color);
    if (r.width() >= 5) {
        // A raised bevel, as the cells of a classic defragmenter map.
        painter.setPen(color.lighter(150));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(color.darker(160));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    }
    if (style.ellipse) {
        painter.setPen(Qt::black);
        painter.drawEllipse(r.adjusted(2, 2, -2, -2));
    }
    if (style.letter && r.width() >= 8) {
        painter.setPen(color.lightness() > 110 ? Qt::black : Qt::white);
        painter.drawText(r, Qt::AlignCenter, QString(QChar(style.letter)));
    }
}

}  // namespace

QColor RegionColor(uint8_t type) {
    const uint32_t rgb = StyleOfRegion(type).rgb;
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

QFont DiskMapFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    return font;
}

DiskMapGrid LayoutDiskMap(uint64_t cellCount, uint64_t labelMax, int width, int cellSize, const QFontMetrics& metrics) {
    DiskMapGrid grid;
    grid.cellSize = std::max(cellSize, 1);
    grid.labelWidth = metrics.horizontalAdvance(QString(Digits(labelMax), QChar('0'))) + 8;
    if (cellCount == 0 || width <= grid.labelWidth + grid.cellSize) return grid;
    grid.cellsPerRow = static_cast<uint64_t>((width - grid.labelWidth - 1) / grid.cellSize);
    grid.rowCount = (cellCount + grid.cellsPerRow - 1) / grid.cellsPerRow;
    return grid;
}

void PaintDiskMapRows(QPainter& painter, const DiskMap& map, const DiskMapGrid& grid, uint64_t firstRow,
                      uint64_t rows, int top, int width) {
    if (!grid.Valid()) return;
    const int c = grid.cellSize;
    // Rows are labelled with their first sector: the cell number when a
    // cell is one sector, and still the place on the disk when scaled.
    const int digits = Digits(map.FirstSectorOfCell(map.CellCount()));
    painter.fillRect(QRect(0, top, grid.labelWidth, static_cast<int>(rows) * c), kLabelColumn);
    painter.fillRect(QRect(grid.labelWidth, top, width - grid.labelWidth, static_cast<int>(rows) * c),
                     kGridBackground);
    painter.setFont(DiskMapFont());
    const uint64_t lastRow = std::min(firstRow + rows, grid.rowCount);
    // Rows and cells are bounded by the grid, which the caller sized.
    for (uint64_t r = firstRow; r < lastRow; ++r) {
        const int y = top + static_cast<int>(r - firstRow) * c;
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, y, grid.labelWidth, c), Qt::AlignCenter,
                         QString::number(map.FirstSectorOfCell(grid.cellsPerRow * r)).rightJustified(digits, QChar('0')));
        for (uint64_t i = 0; i < grid.cellsPerRow; ++i) {
            const uint64_t cell = i + grid.cellsPerRow * r;
            if (cell >= map.CellCount()) break;
            const QRect rect(grid.labelWidth + static_cast<int>(i) * c, y, c - 1, c - 1);
            if (const auto type = map.CellType(cell)) PaintCell(painter, rect, *type);
            if (cell == map.CurrentCell()) {
                painter.setPen(QPen(Qt::black, 2));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(rect.adjusted(1, 1, -1, -1));
            } else if (map.CellMarked(cell)) {
                painter.fillRect(rect.adjusted(c / 4, c / 4, -c / 4, -c / 4), kMarkColor);
            }
        }
    }
    painter.setPen(Qt::black);
    const int right = grid.labelWidth + static_cast<int>(grid.cellsPerRow) * c;
    painter.drawLine(right, top, right, top + static_cast<int>(rows) * c);
}

void PaintEmptyDiskMap(QPainter& painter, const QRect& area) {
    const int seventh = area.width() / 7;
    painter.fillRect(QRect(area.left(), area.top(), seventh, area.height()), QColor(220, 200, 200));
    painter.setPen(Qt::black);
    painter.drawLine(area.left() + seventh, area.top(), area.left() + seventh, area.bottom());
    painter.fillRect(QRect(area.left() + seventh + 1, area.top(), area.width() - seventh - 1, area.height()),
                     QColor(240, 250, 240));
}

int DiskMapLegendHeight() { return 4 + static_cast<int>(LegendTypes().size()) * kLegendLineHeight + 4; }

void PaintDiskMapLegend(QPainter& painter, const QRect& area) {
    painter.fillRect(area, kLegendBackground);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    int y = area.top() + 4;
    for (uint8_t type : LegendTypes()) {
        const QRect sample(area.left() + 4, y + 2, 11, 11);
        painter.fillRect(sample, RegionColor(type));
        painter.setPen(Qt::black);
        painter.drawRect(sample.adjusted(0, 0, -1, -1));
        const std::string_view label = Tr("DiskMap", StyleOfRegion(type).label.data());
        painter.drawText(QRect(area.left() + 19, y, area.width() - 19, kLegendLineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())));
        y += kLegendLineHeight;
    }
}

}  // namespace delvora
