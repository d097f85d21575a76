#include "app/progress_pane.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

namespace delvora {
namespace {

constexpr int kBarWidth = 110;
constexpr int kAnimationFrames = 12;

}  // namespace

QString ProgressPane::IdleText() { return QCoreApplication::translate("ProgressPane", "进度"); }

ProgressPane::ProgressPane(QWidget* parent) : QWidget(parent), m_strText(IdleText()) {
    setObjectName(QStringLiteral("progressPane"));
    setToolTip(QCoreApplication::translate("ProgressPane", "双击可停止当前操作"));
}

void ProgressPane::SetProgressText(const QString& text) {
    m_strText = text;
    updateGeometry();
    update();
}

void ProgressPane::StartProgress() {
    m_nFrame = 0;
    m_timer.start(kAnimationMs, this);
    update();
}

void ProgressPane::StopProgress() {
    m_timer.stop();
    m_nFrame = 0;
    update();
}

void ProgressPane::SetProgressRange(uint32_t low, uint32_t high) {
    m_dwLow = low;
    m_dwHigh = high;
    m_dwPos = low;
    update();
}

void ProgressPane::SetProgressPos(uint32_t pos) {
    m_dwPos = pos;
    update();
}

QSize ProgressPane::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    return {fm.horizontalAdvance(m_strText) + kBarWidth + 16, fm.height() + 4};
}

void ProgressPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect rcAll = rect().adjusted(1, 1, -1, -1);
    const int nTextWidth = fontMetrics().horizontalAdvance(m_strText) + 8;
    painter.drawText(rcAll.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, m_strText);

    const QRect rcBar(rcAll.left() + nTextWidth, rcAll.top() + 2, std::max(0, rcAll.width() - nTextWidth - 2),
                      std::max(0, rcAll.height() - 4));
    if (rcBar.width() <= 4) return;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rcBar.adjusted(0, 0, -1, -1));
    const QColor crFill = palette().color(QPalette::Highlight);

    if (m_dwHigh > m_dwLow) {
        const uint64_t qwSpan = uint64_t(m_dwHigh) - m_dwLow;
        const uint64_t qwDone = m_dwPos <= m_dwLow ? 0 : std::min<uint64_t>(uint64_t(m_dwPos) - m_dwLow, qwSpan);
        const int nFill = static_cast<int>((rcBar.width() - 2) * qwDone / qwSpan);
        painter.fillRect(QRect(rcBar.left() + 1, rcBar.top() + 1, nFill, rcBar.height() - 2), crFill);
    }
    if (m_timer.isActive()) {
        // A block that walks across the bar shows that work goes on even when
        // no range is known.
        const int nBlock = std::max(4, rcBar.width() / 6);
        const int nTravel = rcBar.width() - 2 - nBlock;
        const int nLeft = rcBar.left() + 1 + nTravel * m_nFrame / (kAnimationFrames - 1);
        QColor crBlock = crFill;
        crBlock.setAlpha(140);
        painter.fillRect(QRect(nLeft, rcBar.top() + 1, nBlock, rcBar.height() - 2), crBlock);
    }
}

void ProgressPane::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_nFrame = (m_nFrame + 1) % kAnimationFrames;
    update();
}

void ProgressPane::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    emit StopRequested();
}

}  // namespace delvora
