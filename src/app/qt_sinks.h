#pragma once
// The core's report sinks for the workstation besides the message boxes:
// the output bar and the progress pane. Every sink may be called from a
// worker; calls reach the widgets on the UI thread. Once detached (the window
// is going away) they drop calls and Exists() answers false.
#include <mutex>

#include "common/reporting.h"
#include "ui/qt_notifier.h"

namespace delvora {

class OutputBar;
class StatusPanes;

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
