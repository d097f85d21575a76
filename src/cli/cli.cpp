#include "cli/cli.h"

#include <cstdio>
#include <cstdlib>

#include "cli/language_arg.h"
#include "common/codepage.h"
#include "common/hash.h"
#include "common/text_format.h"

namespace delvora::cli {
namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> s_commands;
    return s_commands;
}

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "usage: delvora-cli [--devices FILE] [--codepage CP] [--json] [--lang zh|en] [--log FILE] [--psk-file FILE] [--sector-size N] "
                 "[--quiet] COMMAND ...\n"
                 "SOURCE: a device name, an image path, or nbd://HOST[:PORT]/NAME (nbds:// with --psk-file)\n"
                 "volume options of the commands that read a volume:\n"
                 "  -p N | --start S --type T | --virtual TYPE --start S [--param NAME=VALUE]...  which volume\n"
                 "  --volume-start S                 read the loaded volume from another first sector\n"
                 "  --set-start-cluster PATH=CLUSTER give an item another first cluster (in memory only)\n"
                 "  --skip-allocated                 read deleted FAT files through free clusters only\n"
                 "--quiet: no progress line (shown on standard error for long work while it is a terminal)\n\n"
                 "commands:\n");
    for (const auto& command : Registry()) std::fprintf(out, "  %s\n      %s\n", command.usage, command.summary);
}

}  // namespace

void StderrNotifier::Message(std::string_view text, std::string_view caption, MessageIcon) {
    // Messages may quote names from a medium: one line, no terminal controls.
    ClearTerminalLine();
    std::fprintf(stderr, "[%s] %s\n", EscapeControls(ShownCaption(caption)).c_str(), EscapeControls(text).c_str());
}

bool StderrNotifier::Confirm(std::string_view text, std::string_view caption) {
    // No one to ask on the command line: the question is shown and declined.
    Message(text, caption, MessageIcon::Question);
    return false;
}

void StreamLog::AppendLog(std::string_view text) {
    if (!m_out) return;
    const std::string prefix = LogLinePrefix(m_next++);
    if (m_out == stderr) ClearTerminalLine();
    // A name in the line must not forge further numbered lines.
    std::fprintf(m_out, "%s%s\n", prefix.c_str(), EscapeControls(text).c_str());
    std::fflush(m_out);
}

Args::Args(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions,
           const std::vector<std::string>& flags) {
    auto listed = [](const std::vector<std::string>& names, const std::string& name) {
        for (const auto& v : names)
            if (v == name) return true;
        return false;
    };
    auto takesValue = [&](const std::string& name) { return listed(valueOptions, name); };
    auto isFlag = [&](const std::string& name) {
        return name == "--json" || name == "-h" || name == "--help" || listed(flags, name);
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
        } else if (!isFlag(name)) {
            // A misspelt option must not quietly change what is examined.
            m_error = "unknown option " + name;
            return;
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

int ManifestHashKinds(const Args& args, unsigned& hashKinds) {
    hashKinds = kHashSha256;
    if (auto hashes = args.Value("--hash")) {
        if (!args.Value("--manifest")) return Fail(kUsage, "--hash names the manifest's digests: it needs --manifest");
        if (!ParseHashKinds(*hashes, hashKinds)) return Fail(kUsage, "--hash takes sha256, md5 and sha1: " + *hashes);
        hashKinds |= kHashSha256;
    }
    return kOk;
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
    ClearTerminalLine();
    std::fprintf(stderr, "delvora-cli: %s\n", EscapeControls(message).c_str());
    return code;
}

namespace {

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--") return false;
        if (a == "-h" || a == "--help") return true;
    }
    return false;
}

}  // namespace

int Run(int argc, char** argv) {
    Env env;
    env.context.notifier = &env.notifier;
    env.context.log = &env.log;
    env.context.progress = &env.progress;
    env.context.options = &env.options;
    env.context.devices = &env.devices;
    env.context.remotes = &env.remotes;
    // No window to animate: the loading worker's pauses would only add time.
    env.options.treeViewPauses = 0;

    std::string devicesFile;
    if (const char* fromEnv = std::getenv("DELVORA_DEVICES")) devicesFile = fromEnv;
    std::string logPath;
    std::string pskFile;
    std::string sectorSize;
    std::optional<std::string> language;
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
            if (!IsKnownCodepage(env.options.codepage))
                return Fail(kUsage, "--codepage: unknown code page " + env.options.codepage);
        } else if (a == "--json") {
            env.json = true;
        } else if (a == "--lang") {
            if (!value(language.emplace())) return Fail(kUsage, "--lang needs zh or en");
        } else if (a == "--quiet") {
            env.progress.SetEnabled(false);
        } else if (a == "--log") {
            if (!value(logPath)) return Fail(kUsage, "--log needs a file");
        } else if (a == "--psk-file") {
            if (!value(pskFile)) return Fail(kUsage, "--psk-file needs a file");
        } else if (a == "--sector-size") {
            // The logical sector size of every source not given one by the device map.
            if (!value(sectorSize)) return Fail(kUsage, "--sector-size needs a number");
            if (sectorSize.size() > 5 || sectorSize.find_first_not_of("0123456789") != std::string::npos ||
                !DeviceMap::ValidSectorSize(std::stoull("0" + sectorSize)))
                return Fail(kUsage, "--sector-size takes 512, 1024, 2048 or 4096: " + sectorSize);
        } else if (a == "-h" || a == "--help") {
            PrintUsage(stdout);
            return kOk;
        } else if (a == "--version") {
            std::printf("delvora-cli %s\n", DELVORA_VERSION);
            return kOk;
        } else if (a.size() > 1 && a[0] == '-') {
            return Fail(kUsage, "unknown option " + a + " (see: delvora-cli --help)");
        } else {
            break;
        }
    }
    if (std::string error; !ApplyLanguage(language ? &*language : nullptr, error)) return Fail(kUsage, error);
    if (i >= argc) {
        PrintUsage(stderr);
        return kUsage;
    }

    const std::string name = argv[i++];
    const Command* command = nullptr;
    for (const auto& candidate : Registry())
        if (name == candidate.name) command = &candidate;
    if (!command) return Fail(kUsage, "unknown command " + name + " (see: delvora-cli --help)");
    const std::vector<std::string> rest(argv + i, argv + argc);
    env.globalArgs.assign(argv + 1, argv + i - 1);
    env.commandArgs = rest;
    // Help is answered before anything is checked or opened.
    if (AsksForHelp(rest)) {
        std::printf("usage: delvora-cli %s\n%s\n", command->usage, command->summary);
        return kOk;
    }
    Args args(rest, command->valueOptions, command->flags);
    if (!args.Ok()) return Fail(kUsage, args.Error() + " (see: delvora-cli " + name + " --help)");
    if (args.Flag("--json")) env.json = true;

    FILE* logFile = nullptr;
    if (!logPath.empty()) {
        logFile = std::fopen(logPath.c_str(), "w");
        if (!logFile) return Fail(kFailed, "cannot write " + logPath);
        env.log.SetOutput(logFile);
    }
    if (!pskFile.empty()) {
        std::string error;
        if (!ReadPskFile(pskFile, env.pskUser, env.pskKey, error)) return Fail(kFailed, error);
        env.remotes.SetCredentials(env.pskUser, env.pskKey);
    }
    if (!devicesFile.empty()) {
        std::string error;
        if (!DeviceMap::LoadFile(devicesFile, env.devices, error)) {
            if (logFile) std::fclose(logFile);
            return Fail(kFailed, error);
        }
    } else {
        env.devices = DeviceMap::Discover();
    }
    if (!sectorSize.empty()) env.devices.SetDefaultSectorSize(static_cast<uint32_t>(std::stoul(sectorSize)));
    const int rc = command->handler(env, args);
    if (logFile) std::fclose(logFile);
    return rc;
}

}  // namespace delvora::cli
