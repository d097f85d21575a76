#pragma once
// Message boxes for the core's notifier: callable from any thread, shown on
// the UI thread, a worker waiting until the box is closed.
#include <QObject>
#include <QPointer>

#include <atomic>
#include <mutex>

#include "common/reporting.h"

namespace delvora {

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

}  // namespace delvora
