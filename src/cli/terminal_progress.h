#pragma once
// The core's progress sink on a terminal: one line on standard error,
// rewritten in place, for the long work of the command line (load, export,
// search, carve, verify). Silent when standard error is no terminal (a log
// file or a pipe keeps only real lines) and with --quiet.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "common/reporting.h"
#include "common/translation.h"

namespace delvora::cli {

class TerminalProgress final : public Progress {
public:
    /// Draws on out only when it is a terminal.
    explicit TerminalProgress(FILE* out = stderr);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void SetEnabled(bool enabled);
    bool Enabled() const { return m_enabled; }

    void SetProgressText(std::string_view text) override;
    void StartProgress() override;
    void StopProgress() override;
    void SetProgressRange(uint32_t low, uint32_t high) override;
    void SetProgressPos(uint32_t pos) override;
    void SetPaneText(std::string_view text) override;

    /// Erases the line if one is shown; the next update draws it again.
    void Clear();

private:
    std::string LineLocked(size_t width) const;
    void DrawLocked(bool force);
    void ClearLocked();
    void StopTicker();


    FILE* m_out;
    bool m_enabled;
    mutable std::mutex m_mutex;
    std::string m_strText;
    std::string m_strPane;
    uint32_t m_low = 0, m_high = 0, m_pos = 0;
    bool m_shown = false;
    unsigned m_nSpin = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::chrono::steady_clock::time_point m_started{};
    // Between StartProgress and StopProgress the line is redrawn even when
    // the work reports nothing (a load): its turning mark and seconds show
    // it is alive.
    std::thread m_ticker;
    std::condition_variable m_tick;
    bool m_bTicking = false;
};

/// The longest start of UTF-8 text that fits width terminal columns, cut
/// at a character boundary (East Asian wide characters take two columns).
std::string FitTerminalColumns(const std::string& text, size_t width);

/// Erases the progress line of the front end, if one is shown: every other
/// writer to standard error (messages, log lines, errors) calls this first
/// so that its line does not run on from the progress text.
void ClearTerminalLine();

/// The progress text of residual searches and carving scans.
inline constexpr const char* kResidualText = TrNoop("TerminalProgress", "查找残余文件...");
/// The progress text of exports (export and carve).
inline constexpr const char* kExportingText = TrNoop("TerminalProgress", "正在导出文件...");
/// Shows the count of files written in the counts cell.
void ShowExportCount(Progress& progress, uint64_t files);

/// RAII for one piece of long work: shows text while it lives and erases
/// the line when it ends, however the work ends.
class ProgressPhase {
public:
    ProgressPhase(Progress& progress, std::string_view text);
    ~ProgressPhase();
    ProgressPhase(const ProgressPhase&) = delete;
    ProgressPhase& operator=(const ProgressPhase&) = delete;

private:
    Progress& m_progress;
};

}  // namespace delvora::cli
