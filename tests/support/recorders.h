#pragma once
// Test doubles that record what the core reports, and helpers to build disk
// images with the real tools.
#include <mutex>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/reporting.h"
#include "disk/device_map.h"

namespace delvora::test {

struct RecordedMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class RecordingNotifier final : public Notifier {
public:
    void Message(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool Confirm(std::string_view text, std::string_view caption) override;
    std::vector<RecordedMessage> Messages() const;
    std::vector<std::string> Texts() const;
    std::vector<std::string> Questions() const;
    bool confirmAnswer = true;

private:
    mutable std::mutex m_mutex;
    std::vector<RecordedMessage> m_messages;
    std::vector<std::string> m_questions;
};

class RecordingLog final : public Log {
public:
    void AppendLog(std::string_view text) override;
    void ClearLog() override;
    std::vector<std::string> Lines() const;
    /// True when some line contains the text.
    bool Contains(std::string_view text) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

class RecordingProgress final : public Progress {
public:
    void SetProgressText(std::string_view text) override;
    void StartProgress() override;
    void StopProgress() override;
    void SetProgressRange(uint32_t low, uint32_t high) override;
    void SetProgressPos(uint32_t pos) override;
    void SetPaneText(std::string_view text) override;
    /// Every call in order, as text: "text:..", "start", "stop", "range:a-b", "pos:n", "pane:..".
    std::vector<std::string> Events() const;

private:
    void Add(std::string event);
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

/// A context wired to recorders, start-value options and its own device map.
struct RecordingContext {
    RecordingNotifier notifier;
    RecordingLog log;
    RecordingProgress progress;
    AnalysisOptions options;
    DeviceMap devices;
    CoreContext context{&notifier, &log, &progress, &options, &devices};
};

/// A fresh folder under the build's temporary space, removed at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

/// Runs a shell command; answers its exit status, output in *output.
int RunShell(const std::string& command, std::string* output = nullptr);
/// True when a program is on PATH (or in /sbin, /usr/sbin).
bool HaveTool(const std::string& name);
/// Reads a whole file; empty when missing.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
/// Overwrites bytes of an existing file at an offset (one field at a time).
bool PatchFile(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);

}  // namespace delvora::test

/// Skips the current test when a tool is missing.
#define DELVORA_REQUIRE_TOOL(name)                                             \
    do {                                                                        \
        if (!::delvora::test::HaveTool(name)) GTEST_SKIP() << name " missing"; \
    } while (0)
