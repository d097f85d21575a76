#pragma once
// The status bar's progress cell: a text, a busy animation that steps every
// 80 ms while work runs, and a bar with a range and a position. A double
// click asks to stop the running work.
#include <QBasicTimer>
#include <QWidget>

#include <cstdint>

namespace delvora {

class ProgressPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kAnimationMs = 80;
    /// The text the pane shows when idle.
    static QString IdleText();

    explicit ProgressPane(QWidget* parent = nullptr);

    // All of these must be called on the pane's thread; qt_sinks marshals
    // calls from workers.
    void SetProgressText(const QString& text);
    void StartProgress();
    void StopProgress();
    /// Sets the bar's range and puts its position back to the low end.
    void SetProgressRange(uint32_t low, uint32_t high);
    void SetProgressPos(uint32_t pos);

    QString Text() const { return m_strText; }
    bool IsAnimating() const { return m_timer.isActive(); }
    uint32_t RangeLow() const { return m_dwLow; }
    uint32_t RangeHigh() const { return m_dwHigh; }
    uint32_t Pos() const { return m_dwPos; }
    int AnimationFrame() const { return m_nFrame; }

    QSize sizeHint() const override;

signals:
    void StopRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString m_strText;
    QBasicTimer m_timer;
    int m_nFrame = 0;
    uint32_t m_dwLow = 0;
    uint32_t m_dwHigh = 0;
    uint32_t m_dwPos = 0;
};

}  // namespace delvora
