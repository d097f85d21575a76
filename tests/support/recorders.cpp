#include "support/recorders.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/text_format.h"

namespace delvora::test {

void RecordingNotifier::Message(std::string_view text, std::string_view caption, MessageIcon icon) {
    std::lock_guard lock(m_mutex);
    m_messages.push_back({std::string(text), std::string(caption), icon});
}

bool RecordingNotifier::Confirm(std::string_view text, std::string_view) {
    std::lock_guard lock(m_mutex);
    m_questions.emplace_back(text);
    return confirmAnswer;
}

std::vector<RecordedMessage> RecordingNotifier::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<std::string> RecordingNotifier::Texts() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (const auto& m : m_messages) texts.push_back(m.text);
    return texts;
}

std::vector<std::string> RecordingNotifier::Questions() const {
    std::lock_guard lock(m_mutex);
    return m_questions;
}

void RecordingLog::AppendLog(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_lines.emplace_back(text);
}

void RecordingLog::ClearLog() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

std::vector<std::string> RecordingLog::Lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool RecordingLog::Contains(std::string_view text) const {
    std::lock_guard lock(m_mutex);
    for (const auto& line : m_lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

void RecordingProgress::Add(std::string event) {
    std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
}
void RecordingProgress::SetProgressText(std::string_view text) { Add("text:" + std::string(text)); }
void RecordingProgress::StartProgress() { Add("start"); }
void RecordingProgress::StopProgress() { Add("stop"); }
void RecordingProgress::SetProgressRange(uint32_t low, uint32_t high) { Add(Format("range:%u-%u", low, high)); }
void RecordingProgress::SetProgressPos(uint32_t pos) { Add(Format("pos:%u", pos)); }
void RecordingProgress::SetPaneText(std::string_view text) { Add("pane:" + std::string(text)); }
std::vector<std::string> RecordingProgress::Events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/delvora-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) m_path = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

int RunShell(const std::string& command, std::string* output) {
    const std::string full = "PATH=\"$PATH:/sbin:/usr/sbin\"; " + command + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> buf;
    std::string out;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
    const int status = pclose(pipe);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& name) {
    return RunShell("command -v " + name + " >/dev/null") == 0;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool PatchFile(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file) return false;
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace delvora::test
