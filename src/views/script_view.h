#pragma once
// The script programming view: an editor holding the default script, the
// run and stop buttons, the "结果" group with the result list, and the
// status line that names each step of a run. The Delvora object belongs to
// the view, so its disk, file and list outlive each run. A run goes on its
// own thread so that the window stays live and the stop button works.
#include <memory>
#include <thread>

#include "common/reporting.h"
#include "views/delvora_view.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace delvora {

class ScriptDriver;
class ScriptHighlighter;
class ScriptRunner;

class ScriptView : public DelvoraView {
    Q_OBJECT
public:
    /// Runs through the views' case context; a run's message boxes go
    /// through views.boxes when it is set (they wait for the UI thread, which
    /// must then not wait for the run).
    ScriptView(ViewSet& views, QString title, QWidget* parent = nullptr);
    /// Stops a run and waits for its thread.
    ~ScriptView() override;

    QPlainTextEdit* Editor() const { return m_pEditor; }
    QTreeWidget* List() const { return m_pList; }
    QLabel* StatusLine() const { return m_pStatus; }
    QPushButton* RunButton() const { return m_pRun; }
    ScriptHighlighter* Highlighter() const { return m_pHighlighter; }
    bool IsRunning() const { return m_worker.joinable(); }

    /// Runs the editor's text (command 114). Nothing happens while a run goes on.
    void Run();
    void RunView() override { Run(); }
    /// Interrupts the running script at its next step.
    void Stop();

signals:
    /// A run ended (after the list was shown again).
    void RunFinished(bool ok);

protected:
    bool CreateControls() override;

private:
    void ShowList();
    void OnRunEnded(bool ok);

    const CoreContext& m_context;
    std::unique_ptr<ScriptDriver> m_pDriver;
    std::unique_ptr<ScriptRunner> m_pRunner;
    QPlainTextEdit* m_pEditor = nullptr;
    ScriptHighlighter* m_pHighlighter = nullptr;
    QPushButton* m_pRun = nullptr;
    QPushButton* m_pStop = nullptr;
    QTreeWidget* m_pList = nullptr;
    QLabel* m_pStatus = nullptr;
    std::thread m_worker;
};

}  // namespace delvora
