#include "views/disk_map_widget.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QPainter>
#include <QScrollBar>

#include "common/translation.h"
#include "fs/volume.h"

namespace delvora {

DiskMapWidget::DiskMapWidget(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("diskMap"));
    verticalScrollBar()->setSingleStep(kCellSize);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

void DiskMapWidget::ShowVolume(Volume* volume) {
    m_pVolume = volume;
    m_map.ClearMarks();
    if (volume) LoadVolumeRegions(*volume, m_map);
    else m_map.ClearRegions();
    Relayout();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void DiskMapWidget::ShowItem(FileItem* item) {
    if (!m_pVolume) return;
    if (MarkItemSectors(*m_pVolume, item, m_map)) {
        const uint64_t sector = m_map.CurrentSector();
        SetCurrentCell(m_map.CurrentCell());
        m_map.SetCurrentSector(sector);
        emit SectorChosen(sector);
    }
    viewport()->update();
}

void DiskMapWidget::SetCurrentCell(uint64_t cell) {
    if (!m_grid.Valid() || !m_map.SetCurrentCell(cell)) return;
    const int64_t row = static_cast<int64_t>(cell / m_grid.cellsPerRow);
    // Two rows of context above the current one where there is room.
    verticalScrollBar()->setValue(static_cast<int>(std::max<int64_t>(0, (row - 2) * kCellSize)));
    viewport()->update();
}

void DiskMapWidget::Relayout() {
    const QFontMetrics metrics(DiskMapFont());
    // Cells are computed, not stored; the budget keeps the scroll range in
    // an int however large the volume.
    const int width = viewport()->width();
    const uint64_t sectors = m_map.FirstSectorOfCell(m_map.CellCount());
    m_grid = LayoutDiskMap(m_map.CellCount(), sectors, width, kCellSize, metrics);
    if (m_grid.cellsPerRow > 0)
        m_map.SetCellBudget(std::min<uint64_t>(kDefaultCellBudget, m_grid.cellsPerRow * (INT32_MAX / kCellSize / 2)));
    m_grid = LayoutDiskMap(m_map.CellCount(), sectors, width, kCellSize, metrics);
    const int64_t height = m_grid.Valid() ? static_cast<int64_t>(m_grid.rowCount) * kCellSize : 0;
    verticalScrollBar()->setRange(0, static_cast<int>(std::max<int64_t>(0, height - viewport()->height())));
    verticalScrollBar()->setPageStep(std::max(1, viewport()->height() - kCellSize));
}

void DiskMapWidget::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Relayout();
}

void DiskMapWidget::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    if (!m_grid.Valid()) {
        PaintEmptyDiskMap(painter, viewport()->rect());
        return;
    }
    const int scroll = verticalScrollBar()->value();
    const uint64_t firstRow = static_cast<uint64_t>(scroll / kCellSize);
    const uint64_t rows = static_cast<uint64_t>(viewport()->height() / kCellSize + 2);
    painter.fillRect(viewport()->rect(), Qt::white);
    PaintDiskMapRows(painter, m_map, m_grid, firstRow, rows, -(scroll % kCellSize), viewport()->width());
}

uint64_t DiskMapWidget::CellAt(const QPoint& point) const {
    if (!m_grid.Valid() || point.x() < m_grid.labelWidth || point.y() < 0) return UINT64_MAX;
    const uint64_t column = static_cast<uint64_t>((point.x() - m_grid.labelWidth) / kCellSize);
    if (column >= m_grid.cellsPerRow) return UINT64_MAX;
    const uint64_t row = static_cast<uint64_t>((point.y() + verticalScrollBar()->value()) / kCellSize);
    const uint64_t cell = row * m_grid.cellsPerRow + column;
    return cell < m_map.CellCount() ? cell : UINT64_MAX;
}

QRect DiskMapWidget::CellRect(uint64_t cell) const {
    if (!m_grid.Valid()) return {};
    const int64_t row = static_cast<int64_t>(cell / m_grid.cellsPerRow);
    const int column = static_cast<int>(cell % m_grid.cellsPerRow);
    return QRect(m_grid.labelWidth + column * kCellSize,
                 static_cast<int>(row * kCellSize - verticalScrollBar()->value()), kCellSize - 1, kCellSize - 1);
}

void DiskMapWidget::mousePressEvent(QMouseEvent* event) {
    const uint64_t cell = CellAt(event->position().toPoint());
    if (cell == UINT64_MAX || !m_map.SetCurrentCell(cell)) return;
    viewport()->update();
    emit SectorChosen(m_map.FirstSectorOfCell(cell));
}

bool DiskMapWidget::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const uint64_t cell = CellAt(help->pos());
    if (cell == UINT64_MAX) {
        QToolTip::hideText();
        return true;
    }
    const uint64_t first = m_map.FirstSectorOfCell(cell);
    QString text = m_map.SectorsPerCell() == 1
                       ? QCoreApplication::translate("DiskMapWidget", "扇区 %1").arg(first)
                       : QCoreApplication::translate("DiskMapWidget", "扇区 %1 - %2").arg(first).arg(first + m_map.SectorsPerCell() - 1);
    if (const auto type = m_map.CellType(cell)) {
        const std::string_view label = Tr("DiskMap", StyleOfRegion(*type).label.data());
        if (!label.empty()) text += QStringLiteral("  ") + QString::fromUtf8(label.data(), qsizetype(label.size()));
    }
    QToolTip::showText(help->globalPos(), text, viewport());
    return true;
}

DiskMapLegend::DiskMapLegend(QWidget* parent) : QWidget(parent) { setObjectName(QStringLiteral("diskMapLegend")); }

QSize DiskMapLegend::sizeHint() const { return {120, DiskMapLegendHeight()}; }

void DiskMapLegend::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintDiskMapLegend(painter, rect());
}

}  // namespace delvora
