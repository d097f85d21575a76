#include "app/qt_sinks.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "app/output_bar.h"
#include "app/progress_pane.h"
#include "app/status_panes.h"
#include "common/text_format.h"
#include "ui/qt_text.h"

namespace delvora {

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
