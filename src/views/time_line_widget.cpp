#include "views/time_line_widget.h"

#include <QCoreApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "fs/file_item.h"

namespace delvora {
namespace {

constexpr int kMark = 6;  // a file's mark: a square of this size and a gap of 1

const QColor kGrid(200, 200, 210);
const QColor kHeader(236, 233, 216);

/// The index's year at a position, or 0.
int YearAt(const TimeNode& root, size_t index) {
    return index < root.children.size() ? root.children[index].value : 0;
}

}  // namespace

QColor TimeKindColor(uint8_t kind) {
    switch (kind) {
        case kTimeCreated: return {30, 110, 230};
        case kTimeModified: return {20, 160, 60};
        default: return {230, 130, 20};
    }
}

TimeLineWidget::TimeLineWidget(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("timeLine"));
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

int TimeLineWidget::ColumnWidth() const {
    // Levels 3 and 4 have tens of millions of columns a year: a fine width.
    return m_nLevel >= 3 ? std::max(1, m_nCellValue / 40) : m_nCellValue / 2;
}

int TimeLineWidget::RowHeight() const { return m_nCellValue / 4; }

int TimeLineWidget::RowCount() const { return kRowsOfLevel[m_nLevel]; }

int TimeLineWidget::BandHeight() const {
    return m_nLevel <= 1 ? RowHeight() : std::max(RowHeight(), viewport()->height() - kHeaderHeight);
}

int TimeLineWidget::MarksPerRow() const { return std::max(1, (ColumnWidth() - 2) / (kMark + 1)); }

void TimeLineWidget::ShowItem(FileItem* item, bool recurse) {
    m_index.Clear();
    m_pSelected = nullptr;
    m_index.BuildTimeIndex(item, recurse);
    Relayout();
    viewport()->update();
}

void TimeLineWidget::Relayout() {
    // Old positions are kept as fractions of their ranges.
    const auto fraction = [](const QScrollBar* bar) {
        return bar->maximum() > 0 ? double(bar->value()) / bar->maximum() : 0.0;
    };
    const double fx = fraction(horizontalScrollBar()), fy = fraction(verticalScrollBar());
    const int64_t width = int64_t(m_index.Root().children.size()) * int64_t(kColumnsPerYear[m_nLevel]) * ColumnWidth() +
                          kLabelWidth;
    const int64_t height = int64_t(RowCount()) * BandHeight() + kHeaderHeight;
    // The seconds level of many years is wider than a scroll bar counts.
    const int64_t maxX = std::clamp<int64_t>(width - viewport()->width(), 0, INT32_MAX);
    const int64_t maxY = std::clamp<int64_t>(height - viewport()->height(), 0, INT32_MAX);
    horizontalScrollBar()->setRange(0, int(maxX));
    verticalScrollBar()->setRange(0, int(maxY));
    horizontalScrollBar()->setPageStep(std::max(1, viewport()->width() - kLabelWidth));
    horizontalScrollBar()->setSingleStep(std::max(1, ColumnWidth()));
    verticalScrollBar()->setPageStep(std::max(1, viewport()->height() - kHeaderHeight));
    verticalScrollBar()->setSingleStep(std::max(1, RowHeight()));
    horizontalScrollBar()->setValue(int(fx * maxX));
    verticalScrollBar()->setValue(int(fy * maxY));
}

void TimeLineWidget::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Relayout();
}

bool TimeLineWidget::ZoomIn() {
    if (m_nLevel >= kTimeLevels - 1) return false;
    ++m_nLevel;
    Relayout();
    viewport()->update();
    return true;
}

bool TimeLineWidget::ZoomOut() {
    if (m_nLevel <= 0) return false;
    --m_nLevel;
    Relayout();
    viewport()->update();
    return true;
}

bool TimeLineWidget::GrowCells() {
    if (m_nCellValue >= kMaxCellValue) return false;
    m_nCellValue *= 2;
    Relayout();
    viewport()->update();
    return true;
}

bool TimeLineWidget::ShrinkCells() {
    if (m_nCellValue <= kMinCellValue) return false;
    m_nCellValue /= 2;
    Relayout();
    viewport()->update();
    return true;
}

QMenu* TimeLineWidget::MakeMenu(QWidget* parent) {
    auto* menu = new QMenu(QCoreApplication::translate("TimeLineWidget", "时间线菜单"), parent);
    menu->setObjectName(QStringLiteral("timeLineMenu"));
    menu->addAction(QCoreApplication::translate("TimeLineWidget", "放大"), this, &TimeLineWidget::ZoomIn)->setEnabled(m_nLevel < kTimeLevels - 1);
    menu->addAction(QCoreApplication::translate("TimeLineWidget", "缩小"), this, &TimeLineWidget::ZoomOut)->setEnabled(m_nLevel > 0);
    menu->addSeparator();
    menu->addAction(QCoreApplication::translate("TimeLineWidget", "格子增大"), this, &TimeLineWidget::GrowCells)
        ->setEnabled(m_nCellValue <= kMaxCellValue - 1);
    menu->addAction(QCoreApplication::translate("TimeLineWidget", "格子减小"), this, &TimeLineWidget::ShrinkCells)
        ->setEnabled(m_nCellValue > kMinCellValue);
    return menu;
}

void TimeLineWidget::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = MakeMenu(this);
    menu->exec(event->globalPos());
    delete menu;
}

bool TimeLineWidget::Query(const QString& text) {
    const auto query = ParseTimeQuery(text.toStdString());
    if (!query) return false;
    const auto column = QueryColumn(m_index.Root(), *query, m_nLevel);
    if (!column) return false;
    const int64_t position = int64_t(*column) * ColumnWidth();
    const int64_t third = (viewport()->width() - kLabelWidth) / 3;
    const int64_t target = position > third ? position - third : position;
    horizontalScrollBar()->setValue(int(std::min<int64_t>(target, INT32_MAX)));
    viewport()->update();
    return true;
}

QRect TimeLineWidget::CellRect(uint64_t column, int row) const {
    const int64_t x = int64_t(column) * ColumnWidth() - horizontalScrollBar()->value() + kLabelWidth;
    const int64_t y = int64_t(row) * BandHeight() - verticalScrollBar()->value() + kHeaderHeight;
    return QRect(int(std::clamp<int64_t>(x, INT32_MIN / 2, INT32_MAX / 2)), int(y), ColumnWidth(), BandHeight());
}

QString TimeLineWidget::ColumnLabel(uint64_t column) const {
    const CalendarCell c = ColumnToCalendar(column, m_nLevel, 0);
    const int year = YearAt(m_index.Root(), c.yearIndex);
    switch (m_nLevel) {
        case 0: return c.month == 0 ? QString::number(year) : QString();
        case 1: return c.day == 0 ? QString::asprintf("%d-%02d", year, c.month + 1) : QString();
        case 2: return c.hour == 0 ? QString::asprintf("%d-%02d-%02d", year, c.month + 1, c.day + 1) : QString();
        case 3:
            return c.minute == 0 ? QString::asprintf("%d-%02d-%02d %02d:00:00", year, c.month + 1, c.day + 1, c.hour)
                                 : QString();
        default:
            return c.second == 0 ? QString::asprintf("%d-%02d-%02d %02d:%02d:00", year, c.month + 1, c.day + 1,
                                                     c.hour, c.minute)
                                 : QString();
    }
}

void TimeLineWidget::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QRect area = viewport()->rect();
    p.fillRect(area, Qt::white);
    const int w = ColumnWidth(), bandHeight = BandHeight();
    const uint64_t columns = uint64_t(m_index.Root().children.size()) * kColumnsPerYear[m_nLevel];
    const uint64_t first = uint64_t(horizontalScrollBar()->value()) / uint64_t(w);
    const uint64_t visible = uint64_t(area.width() - kLabelWidth) / uint64_t(w) + 2;
    const uint64_t last = std::min(columns, first + visible);
    const int firstRow = verticalScrollBar()->value() / std::max(1, bandHeight);
    const int lastRow = std::min(RowCount(), firstRow + area.height() / std::max(1, bandHeight) + 2);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    // Cells: the columns in view are bounded by the viewport's width.
    for (uint64_t column = first; column < last; ++column) {
        for (int row = firstRow; row < lastRow; ++row) {
            const QRect cell = CellRect(column, row);
            p.setPen(kGrid);
            p.drawRect(cell.adjusted(0, 0, -1, -1));
            const TimeNode* node = CellNode(m_index.Root(), m_nLevel, column, row);
            if (!node) continue;
            const auto items = CollectItems(*node);
            const int perRow = MarksPerRow();
            const int fit = perRow * std::max(1, (cell.height() - 2) / (kMark + 1));
            // The index is ours; the drawing records how a click picks.
            auto* mutableNode = const_cast<TimeNode*>(node);
            mutableNode->displayMode = int(items.size()) <= fit ? 1 : 2;
            if (node->displayMode == 1) {
                for (size_t i = 0; i < items.size(); ++i) {
                    const int x = cell.left() + 1 + int(i % perRow) * (kMark + 1);
                    const int y = cell.top() + 1 + int(i / perRow) * (kMark + 1);
                    p.fillRect(QRect(x, y, kMark, kMark), TimeKindColor(items[i].kind));
                }
            } else {
                p.fillRect(cell.adjusted(1, 1, -1, -1), TimeKindColor(items.front().kind).lighter(140));
                p.setPen(Qt::black);
                p.drawText(cell, Qt::AlignCenter, QString::number(items.size()));
            }
            if (node == m_pSelected) {
                p.setPen(QPen(Qt::red, 2));
                p.drawRect(cell.adjusted(1, 1, -1, -1));
            }
        }
    }
    // The header with the level's labels, and the row labels.
    p.fillRect(QRect(0, 0, area.width(), kHeaderHeight), kHeader);
    p.setPen(Qt::black);
    for (uint64_t column = first; column < last; ++column) {
        const QRect cell = CellRect(column, 0);
        const QString label = ColumnLabel(column);
        if (!label.isEmpty()) {
            p.drawLine(cell.left(), 0, cell.left(), kHeaderHeight);
            p.drawText(QRect(cell.left() + 3, 2, 400, 16), Qt::AlignLeft | Qt::AlignVCenter, label);
        }
        if (m_nLevel == 0)
            p.drawText(QRect(cell.left(), 20, w, 18), Qt::AlignCenter,
                       QString::number(ColumnToCalendar(column, 0, 0).month + 1));
    }
    p.fillRect(QRect(0, kHeaderHeight, kLabelWidth, area.height()), kHeader);
    for (int row = firstRow; row < lastRow && m_nLevel <= 1; ++row) {
        const QRect cell = CellRect(0, row);
        p.drawText(QRect(0, cell.top(), kLabelWidth - 4, cell.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(m_nLevel == 0 ? row + 1 : row));
    }
    // The legend in the corner.
    static const char* const kNames[] = {
        QT_TRANSLATE_NOOP("TimeLineWidget", "创建时间"), QT_TRANSLATE_NOOP("TimeLineWidget", "修改时间"),
        QT_TRANSLATE_NOOP("TimeLineWidget", "访问时间"), QT_TRANSLATE_NOOP("TimeLineWidget", "删除时间")};
    int x = area.width() - 4 * 76;
    for (int kind = 0; kind < 4; ++kind, x += 76) {
        p.fillRect(QRect(x, 26, 9, 9), kind < 3 ? TimeKindColor(uint8_t(kind)) : QColor(160, 160, 160));
        p.drawText(QRect(x + 12, 22, 64, 16), Qt::AlignLeft | Qt::AlignVCenter, QCoreApplication::translate("TimeLineWidget", kNames[kind]));
    }
}

FileItem* TimeLineWidget::ClickAt(const QPoint& point) {
    if (point.x() < kLabelWidth || point.y() < kHeaderHeight) return nullptr;
    const int w = ColumnWidth(), bandHeight = std::max(1, BandHeight());
    const int64_t x = int64_t(point.x() - kLabelWidth) + horizontalScrollBar()->value();
    const int64_t y = int64_t(point.y() - kHeaderHeight) + verticalScrollBar()->value();
    const uint64_t column = uint64_t(x / w);
    const int row = int(y / bandHeight);
    const TimeNode* node = CellNode(m_index.Root(), m_nLevel, column, row);
    if (!node) return nullptr;
    if (node != m_pSelected) {
        m_pSelected = node;
        viewport()->update();
    }
    const auto items = CollectItems(*node);
    FileItem* chosen = nullptr;
    if (node->displayMode == 2 || node->displayMode == 0) {
        chosen = items.empty() ? nullptr : items.front().item;
    } else {
        const size_t index = size_t((x % w - 1) / (kMark + 1)) + size_t((y % bandHeight - 1) / (kMark + 1)) * MarksPerRow();
        if (index < items.size()) chosen = items[index].item;
    }
    const CalendarCell c = ColumnToCalendar(column, m_nLevel, row);
    emit TimeText(QString::asprintf("%d-%02d-%02d %02d:%02d:%02d", YearAt(m_index.Root(), c.yearIndex),
                                    c.month + 1, c.day + 1, 0, 0, 0));
    if (chosen) emit ItemChosen(chosen);
    return chosen;
}

void TimeLineWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) ClickAt(event->position().toPoint());
}

}  // namespace delvora
