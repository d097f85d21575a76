#pragma once
// A run of a script, step by step as the script view shows it: a new
// engine, the global Delvora, parse, connect, call main, close. Each step
// names itself on the status line; a failing step shows its box, leaves
// its status text (with the engine's message for parse and main) and closes
// the engine.
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/reporting.h"
#include "common/translation.h"

namespace delvora {

class ScriptDriver;
class ScriptHost;

class ScriptRunner {
public:
    /// Longer texts are refused at the parse step rather than cut short.
    static constexpr size_t kMaxScriptBytes = 16u << 20;

    ScriptRunner(ScriptDriver& driver, const CoreContext& context);
    ~ScriptRunner();

    /// Receives every status text; called on the thread that runs.
    void SetStatusSink(std::function<void(const std::string&)> sink) { m_statusSink = std::move(sink); }
    /// Stops a run that takes longer; zero (the default) waits for ever.
    void SetTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    /// Stops a run once the process has grown by more than this many bytes
    /// since it began (0: no limit). Starts at half the machine's memory,
    /// at most 4 GiB; the status line then says the run was stopped for it.
    void SetMemoryCap(uint64_t bytes) { m_memoryCap = bytes; }
    /// The caption of the failure boxes (the application's title).
    void SetCaption(std::string caption) { m_strCaption = std::move(caption); }

    /// Runs text; true when main returned. Never throws.
    bool Run(const QString& text);
    /// Stops the current run at the script's next step (any thread); a run
    /// whose engine does not exist yet stops as soon as it does. The stop
    /// holds for later runs until ResetStop.
    void Stop();
    /// Lets runs go on again; call it before starting a run that a stop
    /// must reach (a stop may arrive before the run's thread has begun).
    void ResetStop();
    const std::string& Status() const { return m_strStatus; }

private:
    bool RunSteps(const QString& text);
    void SetStatus(const std::string& text);
    bool Fail(const std::string& box, const std::string& status, bool withEngineError);

    ScriptDriver& m_driver;
    const CoreContext& m_context;
    std::function<void(const std::string&)> m_statusSink;
    std::chrono::milliseconds m_timeout{0};
    uint64_t m_memoryCap = 0;
    std::atomic<bool> m_bOverMemory{false};
    std::string m_strCaption = "Korvanta";
    std::string m_strStatus = Tr("ScriptRun", "正常...");
    std::mutex m_mutex;  // guards m_pHost and m_bStopped against Stop from another thread
    bool m_bStopped = false;
    std::shared_ptr<ScriptHost> m_pHost;
};

}  // namespace delvora
