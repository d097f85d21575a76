#pragma once
// The output bar: a read-only, numbered log. Lines may come from any thread;
// they are put into the widget on the thread that owns it, in call order.
#include <QWidget>

#include <cstdint>
#include <deque>
#include <mutex>

class QPlainTextEdit;

namespace delvora {

class OutputBar : public QWidget {
    Q_OBJECT
public:
    explicit OutputBar(QWidget* parent = nullptr);

    /// Appends one numbered line; callable from any thread.
    void AppendLog(const QString& text);
    /// Empties the text and restarts the numbering at 1; callable from any thread.
    void ClearLog();

    /// The whole text, lines separated by CR LF.
    QString Text() const;
    uint64_t LineCount() const { return m_nLineCount; }

private slots:
    void DrainPending();

private:
    void AppendOnOwnThread(const QString& text);
    void ClearOnOwnThread();

    QPlainTextEdit* m_pEdit;
    // Lines from other threads wait here until the owning thread takes them;
    // a line written on the owning thread first takes every line queued
    // before it, so the text keeps the order in which lines were written.
    // A clear asked for by another thread waits in the same queue, in order.
    struct Pending {
        bool bClear = false;
        QString text;
    };
    std::mutex m_mutex;
    std::deque<Pending> m_pending;
    uint64_t m_nLineCount = 0;  // touched on the owning thread only
};

}  // namespace delvora
