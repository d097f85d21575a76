#include "cli/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "common/text_format.h"

namespace delvora::cli {
namespace {

// At most ten redraws a second: a terminal that scrolls the counter of a
// fast search would slow the search itself.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// The one sink that draws, for the writers that must erase its line first.
std::atomic<TerminalProgress*> s_pDrawing{nullptr};

size_t TerminalWidth(FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// Terminal columns of a code point: East Asian wide characters take two.
size_t Columns(uint32_t cp) {
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                      (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
    return wide ? 2 : 1;
}

}  // namespace

// The line must never wrap, or \r would return to its second row only.
std::string FitTerminalColumns(const std::string& text, size_t width) {
    size_t used = 0, i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (i + len > text.size()) len = text.size() - i;
        uint32_t cp = len == 1 ? c : c & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const size_t cols = Columns(cp);
        if (used + cols > width) break;
        used += cols;
        i += len;
    }
    return text.substr(0, i);
}

TerminalProgress::TerminalProgress(FILE* out) : m_out(out), m_enabled(out && ::isatty(::fileno(out)) == 1) {
    if (m_enabled) s_pDrawing = this;
}

TerminalProgress::~TerminalProgress() {
    StopTicker();
    Clear();
    TerminalProgress* pSelf = this;
    s_pDrawing.compare_exchange_strong(pSelf, nullptr);
}

void TerminalProgress::SetEnabled(bool enabled) {
    std::lock_guard lock(m_mutex);
    if (!enabled) ClearLocked();
    m_enabled = enabled && m_out && ::isatty(::fileno(m_out)) == 1;
    TerminalProgress* pSelf = this;
    if (m_enabled) s_pDrawing = this;
    else s_pDrawing.compare_exchange_strong(pSelf, nullptr);
}

void TerminalProgress::SetProgressText(std::string_view text) {
    std::lock_guard lock(m_mutex);
    const bool changed = m_strText != text;
    m_strText = text;
    // An empty text ends a stage: nothing is left to show.
    if (m_strText.empty()) ClearLocked();
    else DrawLocked(changed);
}

void TerminalProgress::StartProgress() {
    std::unique_lock lock(m_mutex);
    if (!m_bTicking) m_started = std::chrono::steady_clock::now();
    DrawLocked(!m_shown);
    if (!m_enabled || m_bTicking) return;
    m_bTicking = true;
    m_ticker = std::thread([this] {
        std::unique_lock tickLock(m_mutex);
        // Ends when StopProgress clears m_bTicking and wakes it.
        while (!m_tick.wait_for(tickLock, kRedrawInterval, [this] { return !m_bTicking; })) DrawLocked(false);
    });
}

void TerminalProgress::StopProgress() {
    StopTicker();
    std::lock_guard lock(m_mutex);
    m_low = m_high = m_pos = 0;
    m_started = {};
    m_strPane.clear();
    ClearLocked();
}

void TerminalProgress::StopTicker() {
    {
        std::lock_guard lock(m_mutex);
        m_bTicking = false;
    }
    m_tick.notify_all();
    if (m_ticker.joinable()) m_ticker.join();
}

void TerminalProgress::SetProgressRange(uint32_t low, uint32_t high) {
    std::lock_guard lock(m_mutex);
    m_low = low;
    m_high = high;
    m_pos = low;
}

void TerminalProgress::SetProgressPos(uint32_t pos) {
    std::lock_guard lock(m_mutex);
    m_pos = pos;
    DrawLocked(false);
}

void TerminalProgress::SetPaneText(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_strPane = text;
    DrawLocked(false);
}

void TerminalProgress::Clear() {
    std::lock_guard lock(m_mutex);
    ClearLocked();
}

std::string TerminalProgress::LineLocked(size_t width) const {
    std::string line = EscapeControls(m_strText);
    if (m_high > m_low) {
        const uint64_t span = m_high - m_low;
        const uint64_t done = m_pos > m_low ? std::min<uint64_t>(m_pos - m_low, span) : 0;
        line += " " + std::to_string(done * 100 / span) + "%";
    } else {
        // No range: a turning mark says the work is alive.
        static constexpr char kSpin[] = {'|', '/', '-', '\\'};
        line += std::string(" ") + kSpin[m_nSpin % 4];
        if (m_started != std::chrono::steady_clock::time_point{}) {
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_started).count();
            line += " " + std::to_string(seconds) + "s";
        }
    }
    if (!m_strPane.empty()) line += "  " + EscapeControls(m_strPane);
    return FitTerminalColumns(line, width > 1 ? width - 1 : width);
}

void TerminalProgress::DrawLocked(bool force) {
    if (!m_enabled || m_strText.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < kRedrawInterval) return;
    m_lastDraw = now;
    ++m_nSpin;
    const std::string line = LineLocked(TerminalWidth(m_out));
    std::fprintf(m_out, "\r%s\033[K", line.c_str());
    std::fflush(m_out);
    m_shown = true;
}

void TerminalProgress::ClearLocked() {
    if (!m_shown) return;
    std::fputs("\r\033[K", m_out);
    std::fflush(m_out);
    m_shown = false;
    // Whoever cleared the line writes next: the ticker holds off for a
    // while rather than drawing into the middle of that line.
    m_lastDraw = std::chrono::steady_clock::now();
}

void ClearTerminalLine() {
    if (TerminalProgress* pProgress = s_pDrawing.load()) pProgress->Clear();
}

void ShowExportCount(Progress& progress, uint64_t files) {
    progress.SetPaneText(Format(Tr("TerminalProgress", "%llu 个文件"), static_cast<unsigned long long>(files)));
}

ProgressPhase::ProgressPhase(Progress& progress, std::string_view text) : m_progress(progress) {
    m_progress.SetProgressText(text);
    m_progress.StartProgress();
}

ProgressPhase::~ProgressPhase() {
    m_progress.StopProgress();
    m_progress.SetProgressText("");
}

}  // namespace delvora::cli
