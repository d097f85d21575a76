#include "cli/cli.h"

#include <cstdio>
#include <cstdlib>

#include "common/text_format.h"

namespace delvora::cli {
namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> s_commands;
    return s_commands;
}

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "usage: delvora-cli [--devices FILE] [--codepage CP] [--json] [--log FILE] COMMAND ...\n\n"
                 "commands:\n");
    for (const auto& command : Registry()) std::fprintf(out, "  %s\n      %s\n", command.usage, command.summary);
}

}  // namespace

void StderrNotifier::Message(std::string_view text, std::string_view caption, MessageIcon) {
    std::fprintf(stderr, "[%.*s] %.*s\n", int(caption.size()), caption.data(), int(text.size()), text.data());
}

bool StderrNotifier::Confirm(std::string_view text, std::string_view caption) {
    // No one to ask on the command line: the question is shown and declined.
    Message(text, caption, MessageIcon::Question);
    return false;
}

void StreamLog::AppendLog(std::string_view text) {
    if (!m_out) return;
    const std::string prefix = LogLinePrefix(m_next++);
    std::fprintf(m_out, "%s%.*s\n", prefix.c_str(), int(text.size()), text.data());
    std::fflush(m_out);
}

Args::Args(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions) {
    auto takesValue = [&](const std::string& name) {
        for (const auto& v : valueOptions)
            if (v == name) return true;
        return false;
    };
    bool onlyPositional = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (onlyPositional || a.size() < 2 || a[0] != '-') {
            m_positional.push_back(a);
            continue;
        }
        if (a == "--") { onlyPositional = true; continue; }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (takesValue(name)) {
            if (eq != std::string::npos) {
                m_values.emplace(name, a.substr(eq + 1));
            } else if (i + 1 < argv.size()) {
                m_values.emplace(name, argv[++i]);
            } else {
                m_error = "option " + name + " needs a value";
                return;
            }
        } else if (eq == std::string::npos) {
            m_flags.push_back(name);
        } else {
            m_error = "option " + name + " takes no value";
            return;
        }
    }
}

bool Args::Flag(const std::string& name) const {
    for (const auto& f : m_flags)
        if (f == name) return true;
    return false;
}

std::optional<std::string> Args::Value(const std::string& name) const {
    auto range = m_values.equal_range(name);
    if (range.first == range.second) return std::nullopt;
    auto last = range.second;
    return (--last)->second;
}

std::vector<std::string> Args::Values(const std::string& name) const {
    std::vector<std::string> out;
    auto range = m_values.equal_range(name);
    for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
    return out;
}

bool Args::Number(const std::string& name, uint64_t& out, std::string& error) const {
    auto value = Value(name);
    if (!value) return true;
    if (!ParseNumber(*value, out)) {
        error = "option " + name + ": not a number: " + *value;
        return false;
    }
    return true;
}

bool ParseNumber(const std::string& text, uint64_t& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0') return false;
    out = v;
    return true;
}

std::string JsonString(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

bool RegisterCommand(Command command) {
    Registry().push_back(std::move(command));
    return true;
}

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "delvora-cli: %s\n", message.c_str());
    return code;
}

int Run(int argc, char** argv) {
    Env env;
    env.context.notifier = &env.notifier;
    env.context.log = &env.log;
    env.context.progress = &env.progress;
    env.context.options = &env.options;
    env.context.devices = &env.devices;
    // No window to animate: the loading worker's pauses would only add time.
    env.options.treeViewPauses = 0;

    std::string devicesFile;
    if (const char* fromEnv = std::getenv("DELVORA_DEVICES")) devicesFile = fromEnv;
    FILE* logFile = nullptr;
    int i = 1;
    // Global options stand before the command name.
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (a == "--devices") {
            if (!value(devicesFile)) return Fail(kUsage, "--devices needs a file");
        } else if (a == "--codepage") {
            if (!value(env.options.codepage)) return Fail(kUsage, "--codepage needs a name");
        } else if (a == "--json") {
            env.json = true;
        } else if (a == "--log") {
            std::string path;
            if (!value(path)) return Fail(kUsage, "--log needs a file");
            logFile = std::fopen(path.c_str(), "w");
            if (!logFile) return Fail(kFailed, "cannot write " + path);
            env.log.SetOutput(logFile);
        } else if (a == "-h" || a == "--help") {
            PrintUsage(stdout);
            return kOk;
        } else {
            break;
        }
    }
    if (i >= argc) {
        PrintUsage(stderr);
        return kUsage;
    }
    if (!devicesFile.empty()) {
        std::string error;
        if (!DeviceMap::LoadFile(devicesFile, env.devices, error)) return Fail(kFailed, error);
    } else {
        env.devices = DeviceMap::Discover();
    }

    const std::string name = argv[i++];
    for (const auto& command : Registry()) {
        if (name != command.name) continue;
        std::vector<std::string> rest(argv + i, argv + argc);
        Args args(rest, command.valueOptions);
        if (!args.Ok()) return Fail(kUsage, args.Error() + "\nusage: delvora-cli " + command.usage);
        if (args.Flag("--json")) env.json = true;
        if (args.Flag("-h") || args.Flag("--help")) {
            std::printf("usage: delvora-cli %s\n%s\n", command.usage, command.summary);
            return kOk;
        }
        const int rc = command.handler(env, args);
        if (logFile) std::fclose(logFile);
        return rc;
    }
    PrintUsage(stderr);
    return Fail(kUsage, "unknown command: " + name);
}

}  // namespace delvora::cli
