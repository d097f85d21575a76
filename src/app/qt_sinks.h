#pragma once
// The core's report sinks for the workstation: message boxes, the output bar
// and the progress pane. Every sink may be called from a worker; calls reach
// the widgets on the UI thread. Once detached (the window is going away) the
// log and progress sinks drop calls and Exists() answers false.
#include <QObject>
#include <QPointer>

#include <atomic>
#include <mutex>

#include "common/reporting.h"

namespace delvora {

class OutputBar;
class StatusPanes;

/// Shows QMessageBox on the UI thread; a worker waits until it is closed.
class QtNotifier final : public QObject, public Notifier {
    Q_OBJECT
public:
    explicit QtNotifier(QObject* parent = nullptr);
    /// The window the boxes belong to; may change (or be null) at any time.
    void SetParentWidget(QWidget* widget);
    /// While the UI thread itself waits for a worker, a box asked for by the
    /// worker could never open: its text goes to this log instead and a
    /// question answers Cancel. Counted, so that guards may nest.
    void SetFallbackLog(Log* log) { m_pFallback = log; }
    void BeginUiWait() { ++m_nUiWaits; }
    void EndUiWait() { --m_nUiWaits; }

    void Message(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool Confirm(std::string_view text, std::string_view caption) override;

private:
    void ShowOnUiThread(const QString& text, const QString& caption, MessageIcon icon);
    bool AskOnUiThread(const QString& text, const QString& caption);
    /// Answers false when the call could not reach the UI thread.
    template <typename Fn>
    bool RunOnUiThread(Fn&& fn);

    QPointer<QWidget> m_pParent;
    Log* m_pFallback = nullptr;
    std::atomic<int> m_nUiWaits{0};
};

/// Marks a stretch in which the UI thread waits for a worker.
class UiWaitGuard {
public:
    explicit UiWaitGuard(QtNotifier* notifier) : m_pNotifier(notifier) {
        if (m_pNotifier) m_pNotifier->BeginUiWait();
    }
    ~UiWaitGuard() {
        if (m_pNotifier) m_pNotifier->EndUiWait();
    }
    UiWaitGuard(const UiWaitGuard&) = delete;
    UiWaitGuard& operator=(const UiWaitGuard&) = delete;

private:
    QtNotifier* m_pNotifier;
};

class OutputBarLog final : public Log {
public:
    void Attach(OutputBar* bar);
    void Detach() { Attach(nullptr); }
    void AppendLog(std::string_view text) override;
    void ClearLog() override;

private:
    std::mutex m_mutex;
    OutputBar* m_pBar = nullptr;
};

class PaneProgress final : public Progress {
public:
    void Attach(StatusPanes* panes);
    void Detach() { Attach(nullptr); }
    void SetProgressText(std::string_view text) override;
    void StartProgress() override;
    void StopProgress() override;
    void SetProgressRange(uint32_t low, uint32_t high) override;
    void SetProgressPos(uint32_t pos) override;
    void SetPaneText(std::string_view text) override;
    bool Exists() const override;

private:
    template <typename Fn>
    void Post(Fn&& fn);

    mutable std::mutex m_mutex;
    StatusPanes* m_pPanes = nullptr;
};

}  // namespace delvora
