#pragma once
// The three sinks through which the core talks to whoever runs it: the GUI
// shows message boxes, a log pane and a progress pane; the CLI prints to
// stderr; tests record. The core knows nothing else of its front end.
#include <cstdint>
#include <string>
#include <string_view>

namespace delvora {

enum class MessageIcon { Error, Information, Warning, Question };

/// Messages for the user (modal boxes in the GUI). Callable from any thread;
/// a GUI implementation makes a worker wait until the box is closed.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void Message(std::string_view text, std::string_view caption = "提示",
                         MessageIcon icon = MessageIcon::Error) = 0;
    /// An OK/Cancel question; answers true for OK.
    virtual bool Confirm(std::string_view text, std::string_view caption = "提示") = 0;
};

/// The numbered output log. AppendLog takes one line of text without its
/// number; callable from any thread.
class Log {
public:
    virtual ~Log() = default;
    virtual void AppendLog(std::string_view text) = 0;
    virtual void ClearLog() = 0;
};

/// The progress pane of the status bar.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void SetProgressText(std::string_view text) = 0;
    virtual void StartProgress() = 0;
    virtual void StopProgress() = 0;
    virtual void SetProgressRange(uint32_t low, uint32_t high) = 0;
    virtual void SetProgressPos(uint32_t pos) = 0;
    /// The counts cell beside the bar.
    virtual void SetPaneText(std::string_view text) = 0;
    /// False once the window that shows progress is gone (a worker then
    /// skips its final pane updates).
    virtual bool Exists() const { return true; }
};

/// The caption a front end shows: the default caption in the reader's
/// language, any other as given.
std::string_view ShownCaption(std::string_view caption);

class NullNotifier final : public Notifier {
public:
    void Message(std::string_view, std::string_view, MessageIcon) override {}
    bool Confirm(std::string_view, std::string_view) override { return false; }
};

class NullLog final : public Log {
public:
    void AppendLog(std::string_view) override {}
    void ClearLog() override {}
};

class NullProgress final : public Progress {
public:
    void SetProgressText(std::string_view) override {}
    void StartProgress() override {}
    void StopProgress() override {}
    void SetProgressRange(uint32_t, uint32_t) override {}
    void SetProgressPos(uint32_t) override {}
    void SetPaneText(std::string_view) override {}
};

struct AnalysisOptions;
class DeviceMap;
class RemoteConnector;

/// What a core operation may report to and read from. Not owned: the front
/// end (or a test) keeps the sinks alive for as long as the core uses them.
struct CoreContext {
    Notifier* notifier = nullptr;
    Log* log = nullptr;
    Progress* progress = nullptr;
    AnalysisOptions* options = nullptr;
    const DeviceMap* devices = nullptr;
    RemoteConnector* remotes = nullptr;

    Notifier& Notify() const;
    Log& Logger() const;
    Progress& Prog() const;
    AnalysisOptions& Options() const;
    // The device map and the remote connector are reached through the disk
    // layer, which owns them: DevicesOf and RemotesOf.
};

/// A context whose sinks discard everything, with start-value options and the
/// machine's own device discovery. For code paths that have no front end.
const CoreContext& DefaultContext();

}  // namespace delvora
