#include "app/qt_sinks.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "app/qt_text.h"
#include "app/output_bar.h"
#include "app/progress_pane.h"
#include "app/status_panes.h"
#include "common/text_format.h"

namespace delvora {
namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error: return QMessageBox::Critical;
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Warning: return QMessageBox::Warning;
        case MessageIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::Critical;
}

}  // namespace

QtNotifier::QtNotifier(QObject* parent) : QObject(parent) {}

void QtNotifier::SetParentWidget(QWidget* widget) { m_pParent = widget; }

template <typename Fn>
bool QtNotifier::RunOnUiThread(Fn&& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return true;
    }
    // A worker must not wait for a UI thread that waits for it, nor for an
    // application that no longer runs its loop.
    if (m_nUiWaits.load() > 0 || QCoreApplication::instance() == nullptr || QCoreApplication::closingDown())
        return false;
    QMetaObject::invokeMethod(this, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
    return true;
}

void QtNotifier::Message(std::string_view text, std::string_view caption, MessageIcon icon) {
    const QString strText = FromUtf8(text), strCaption = FromUtf8(caption);
    if (!RunOnUiThread([&] { ShowOnUiThread(strText, strCaption, icon); }) && m_pFallback)
        m_pFallback->AppendLog(std::string(caption) + ": " + std::string(text));
}

bool QtNotifier::Confirm(std::string_view text, std::string_view caption) {
    const QString strText = FromUtf8(text), strCaption = FromUtf8(caption);
    bool bAnswer = false;
    if (!RunOnUiThread([&] { bAnswer = AskOnUiThread(strText, strCaption); }) && m_pFallback)
        m_pFallback->AppendLog(std::string(caption) + ": " + std::string(text));
    return bAnswer;
}

void QtNotifier::ShowOnUiThread(const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, m_pParent.data());
    box.exec();
}

bool QtNotifier::AskOnUiThread(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel, m_pParent.data());
    return box.exec() == QMessageBox::Ok;
}

void OutputBarLog::Attach(OutputBar* bar) {
    std::lock_guard lock(m_mutex);
    m_pBar = bar;
}

void OutputBarLog::AppendLog(std::string_view text) {
    // A name from a medium in the line must not split it into forged lines.
    const QString strText = FromUtf8(EscapeControls(text));
    std::lock_guard lock(m_mutex);
    if (m_pBar) m_pBar->AppendLog(strText);
}

void OutputBarLog::ClearLog() {
    std::lock_guard lock(m_mutex);
    if (m_pBar) m_pBar->ClearLog();
}

void PaneProgress::Attach(StatusPanes* panes) {
    std::lock_guard lock(m_mutex);
    m_pPanes = panes;
}

bool PaneProgress::Exists() const {
    std::lock_guard lock(m_mutex);
    return m_pPanes != nullptr;
}

template <typename Fn>
void PaneProgress::Post(Fn&& fn) {
    std::lock_guard lock(m_mutex);
    if (!m_pPanes) return;
    StatusPanes* panes = m_pPanes;
    if (QThread::currentThread() == panes->thread()) {
        fn(panes);
        return;
    }
    // Queued to the panes themselves: if they are destroyed first, Qt drops the call.
    QMetaObject::invokeMethod(panes, [panes, fn = std::forward<Fn>(fn)] { fn(panes); }, Qt::QueuedConnection);
}

void PaneProgress::SetProgressText(std::string_view text) {
    Post([strText = FromUtf8(text)](StatusPanes* p) { p->Progress()->SetProgressText(strText); });
}

void PaneProgress::StartProgress() {
    Post([](StatusPanes* p) { p->Progress()->StartProgress(); });
}

void PaneProgress::StopProgress() {
    Post([](StatusPanes* p) { p->Progress()->StopProgress(); });
}

void PaneProgress::SetProgressRange(uint32_t low, uint32_t high) {
    Post([low, high](StatusPanes* p) { p->Progress()->SetProgressRange(low, high); });
}

void PaneProgress::SetProgressPos(uint32_t pos) {
    Post([pos](StatusPanes* p) { p->Progress()->SetProgressPos(pos); });
}

void PaneProgress::SetPaneText(std::string_view text) {
    Post([strText = FromUtf8(text)](StatusPanes* p) { p->SetPaneText(StatusPanes::kFound, strText); });
}

}  // namespace delvora
