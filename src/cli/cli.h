#pragma once
// The command-line front end: global options, the command registry, and the
// sinks that print the core's messages and log to stderr.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/reporting.h"
#include "disk/device_map.h"
#include "disk/remote_connect.h"
#include "cli/terminal_progress.h"

namespace delvora::cli {

/// Exit codes: success, a failed operation, bad usage.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

class StderrNotifier final : public Notifier {
public:
    void Message(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool Confirm(std::string_view text, std::string_view caption) override;
};

/// Numbered log lines to stderr (or to a file with --log).
class StreamLog final : public Log {
public:
    explicit StreamLog(FILE* out = stderr) : m_out(out) {}
    void AppendLog(std::string_view text) override;
    void ClearLog() override { m_next = 1; }
    void SetOutput(FILE* out) { m_out = out; }

private:
    FILE* m_out;
    uint64_t m_next = 1;
};

/// Arguments after the command name: positionals, flags and valued options.
/// An option that is neither a known flag nor a known value option is an
/// error; "--json", "-h" and "--help" are flags of every command.
class Args {
public:
    Args(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions,
         const std::vector<std::string>& flags);
    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    bool Flag(const std::string& name) const;
    std::optional<std::string> Value(const std::string& name) const;
    /// Every value given for an option that may repeat.
    std::vector<std::string> Values(const std::string& name) const;
    const std::vector<std::string>& Positional() const { return m_positional; }
    /// Parses an unsigned number option (decimal or 0x hex); false with a
    /// message in error when malformed.
    bool Number(const std::string& name, uint64_t& out, std::string& error) const;

private:
    std::vector<std::string> m_positional;
    std::multimap<std::string, std::string> m_values;
    std::vector<std::string> m_flags;
    std::string m_error;
};

/// What every command runs with.
struct Env {
    DeviceMap devices;
    AnalysisOptions options;
    StderrNotifier notifier;
    StreamLog log;
    /// A line on a terminal for long work; --quiet turns it off.
    TerminalProgress progress;
    CoreContext context;
    /// Remote sources and case items connect through this; --psk-file gives
    /// it the TLS-PSK credentials.
    NbdConnector remotes;
    std::string pskUser;
    std::string pskKey;
    bool json = false;
    /// The options before the command name and the words after it, as
    /// given: what a command that runs delvora-cli again passes on.
    std::vector<std::string> globalArgs;
    std::vector<std::string> commandArgs;
};

using Handler = int (*)(Env& env, const Args& args);

struct Command {
    const char* name;
    const char* usage;    // e.g. "sectors DEVICE --sector N [--count K]"
    const char* summary;  // one line for the command list
    std::vector<std::string> valueOptions;
    std::vector<std::string> flags;
    Handler handler;
};

/// Called from a static initialiser in each command's file.
bool RegisterCommand(Command command);

/// Prints "delvora-cli: " and the message to stderr; answers code.
int Fail(int code, const std::string& message);

/// Parses a number in decimal or 0x hexadecimal; false when malformed.
bool ParseNumber(const std::string& text, uint64_t& out);

/// The manifest's digest kinds from --hash (SHA-256 always among them).
/// Answers an exit code: kUsage for --hash without --manifest or with an
/// unknown kind.
int ManifestHashKinds(const Args& args, unsigned& hashKinds);

/// Escapes text for a JSON string (quotes included).
std::string JsonString(std::string_view text);

int Run(int argc, char** argv);

}  // namespace delvora::cli
