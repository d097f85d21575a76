// cluster: a scan split into parts that run as one Slurm job array, each
// task on its own range of sectors, merged into the result one machine
// gives. Sources must be reachable from every node: a path on shared
// storage or nbd://HOST:PORT/NAME.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "cli/carve_run.h"
#include "cli/cli.h"
#include "cli/cluster_carve_merge.h"
#include "cli/cluster_merge.h"
#include "cli/cluster_plan.h"
#include "cli/slurm_job.h"
#include "cli/terminal_progress.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/volume.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "cluster search|carve SOURCE [search or carve options] --parts N --out DIR [--partition P] [--time T]\n"
    "      [--account A] [--pending-limit SECONDS] | cluster merge --out DIR | cluster task DIR INDEX (what each job task runs)";
constexpr const char* kRangeError = TrNoop("CmdSearch", "搜索范围设置错误!");

// Options of the cluster itself, not passed on to the tasks.
const std::vector<std::string> kClusterOptions{"--parts", "--out", "--partition", "--time", "--account",
                                               "--pending-limit"};

namespace fs = std::filesystem;

// Runs delvora-cli's own entry with args, its standard output sent to path
// (or discarded when path is empty). Answers its exit status.
int RunWithOutput(const std::vector<std::string>& args, const std::string& path) {
    std::vector<std::string> words = {"delvora-cli"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int fd = open(path.empty() ? "/dev/null" : path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (saved < 0 || fd < 0) {
        if (saved >= 0) close(saved);
        if (fd >= 0) close(fd);
        return Fail(kFailed, "cannot write " + path);
    }
    dup2(fd, STDOUT_FILENO);
    close(fd);
    const int rc = Run(static_cast<int>(words.size()), argv.data());
    const bool flushed = std::fflush(stdout) == 0;
    dup2(saved, STDOUT_FILENO);
    close(saved);
    return rc == kOk && !flushed ? kFailed : rc;
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The global options a task runs with: all but the log file.
std::vector<std::string> TaskGlobals(const Env& env) {
    std::vector<std::string> out;
    for (size_t i = 0; i < env.globalArgs.size(); ++i) {
        // Tasks running side by side must not write one log.
        if (env.globalArgs[i] == "--log") {
            ++i;
            continue;
        }
        if (env.globalArgs[i] == "--json") continue;
        out.push_back(env.globalArgs[i]);
    }
    return out;
}

// The command's words for a task: its options but the cluster's own.
std::vector<std::string> TaskArgs(const Env& env) {
    std::vector<std::string> out;
    // commandArgs[0] is "cluster"'s verb, the command itself.
    for (size_t i = 1; i < env.commandArgs.size(); ++i) {
        const std::string& a = env.commandArgs[i];
        if (a == "--json") continue;
        const std::string name = a.substr(0, a.find('='));
        bool own = false;
        for (const std::string& option : kClusterOptions) own = own || name == option;
        if (own) {
            if (a.find('=') == std::string::npos) ++i;
            continue;
        }
        out.push_back(a);
    }
    return out;
}

std::vector<std::string> Joined(const ClusterPlan& plan, const std::vector<std::string>& more) {
    std::vector<std::string> out = plan.globals;
    out.push_back(plan.kind);
    out.insert(out.end(), plan.args.begin(), plan.args.end());
    out.insert(out.end(), more.begin(), more.end());
    return out;
}

// The sectors a search covers: the volume's (or with --raw the source's),
// narrowed by --from/--to as the search narrows them.
int SearchedRange(Env& env, const Args& args, uint64_t& first, uint64_t& end) {
    uint64_t base = 0, total = 0;
    if (args.Flag("--raw")) {
        SourceArg arg;
        if (const int rc = ResolveSourceArg(env, args.Positional()[0], arg); rc != kOk) return rc;
        DataSource source(env.context);
        if (!OpenSourceArg(arg, source))
            return Fail(kFailed, "cannot open " + args.Positional()[0] + ": " + source.LastErrorText());
        total = source.SizeBytes() / 512;
    } else {
        OpenedVolume opened;
        if (const int rc = OpenVolumeArg(env, args, opened, false); rc != kOk) return rc;
        base = opened.volume->StartSector();
        total = opened.volume->TotalSectors();
    }
    std::string error;
    uint64_t from = base, to = base + total;
    if (!args.Number("--from", from, error) || !args.Number("--to", to, error)) return Fail(kUsage, error);
    if (from < base || to < from || to - from > total) {
        env.notifier.Message(Tr("CmdSearch", kRangeError), "提示", MessageIcon::Error);
        return kFailed;
    }
    first = from;
    end = to;
    return kOk;
}

std::string SelfPath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

int Task(const std::string& dir, const std::string& indexText) {
    ClusterPlan plan;
    std::string error;
    if (!ReadPlan(PlanPath(dir), plan, error)) return Fail(kFailed, error);
    uint64_t index = 0;
    if (!ParseNumber(indexText, index) || index >= plan.parts.size())
        return Fail(kUsage, "cluster task: no part " + indexText + " in " + PlanPath(dir));
    const std::string path = PartFilePath(dir, index, plan.Extension());
    // A retried task starts afresh: its record goes before its file is rewritten.
    std::remove(PartFilePath(dir, index, ".done").c_str());
    const std::vector<std::string> range = {"--range", RangeText(plan.parts[index])};
    if (plan.kind == "carve") {
        std::vector<std::string> more = range;
        more.push_back("--part-file");
        more.push_back(path + ".tmp");
        if (const int rc = RunWithOutput(Joined(plan, more), ""); rc != kOk) return rc;
    } else if (const int rc = RunWithOutput(Joined(plan, range), path + ".tmp"); rc != kOk) {
        return rc;
    }
    if (std::rename((path + ".tmp").c_str(), path.c_str()) != 0) return Fail(kFailed, "cannot write " + path);
    PartRecord record;
    record.index = index;
    record.range = plan.parts[index];
    if (!DescribePartFile(path, plan.kind, record, error) ||
        !WritePartRecord(PartFilePath(dir, index, ".done"), record, error))
        return Fail(kFailed, error);
    return kOk;
}

void TellFailures(const std::vector<PartFailure>& failures) {
    for (const PartFailure& f : failures) {
        ClearTerminalLine();
        std::fprintf(stderr, "delvora-cli: part %llu (sectors %s) failed: %s\n", static_cast<unsigned long long>(f.index),
                     RangeText(f.range).c_str(), EscapeControls(f.reason).c_str());
    }
}

// Merges and tells the result; exit 1 when parts are missing.
int MergeAndReport(Env& env, const std::string& dir, const ClusterPlan& plan) {
    std::vector<PartFailure> failures;
    std::string error;
    if (plan.kind == "carve") {
        const int rc = MergeCarveParts(env, dir, plan, failures);
        TellFailures(failures);
        if (rc != kOk) return rc;
        if (!failures.empty())
            return Fail(kFailed, Format("the merge is incomplete: %zu of %zu parts failed", failures.size(),
                                        plan.parts.size()));
        return kOk;
    }
    if (!MergeSearchParts(dir, plan, failures, error)) return Fail(kFailed, error);
    uint64_t hits = 0;
    for (uint64_t i = 0; i < plan.parts.size(); ++i) {
        PartRecord record;
        if (ReadPartRecord(PartFilePath(dir, i, ".done"), record, error)) hits += record.count;
    }
    TellFailures(failures);
    const size_t merged = plan.parts.size() - failures.size();
    if (env.json)
        std::printf("{\"parts\":%zu,\"merged\":%zu,\"hits\":%llu,\"complete\":%s,\"out\":%s}\n",
                    plan.parts.size(), merged, static_cast<unsigned long long>(hits),
                    failures.empty() ? "true" : "false", JsonString(dir + "/hits.jsonl").c_str());
    else
        std::printf("merged %zu of %zu parts, %llu hits, into %s%s\n", merged, plan.parts.size(),
                    static_cast<unsigned long long>(hits), (dir + "/hits.jsonl").c_str(),
                    failures.empty() ? "" : " (incomplete: see incomplete beside it)");
    if (!failures.empty())
        return Fail(kFailed, Format("the merge is incomplete: %zu of %zu parts failed", failures.size(),
                                    plan.parts.size()));
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

// Follows the job, its progress on the command line's progress line.
bool Follow(Progress& progress, const std::string& job, size_t parts, uint64_t pendingLimit, std::string& error) {
    ProgressPhase phase(progress, "cluster job " + job);
    return FollowJob(
        job, pendingLimit,
        [&](size_t pending, size_t running) {
            progress.SetPaneText(Format("%zu parts: %zu pending, %zu running", parts, pending, running));
        },
        error);
}

// DIR/job.sh: what every task of the array runs, this same program.
int WriteJobScript(const std::string& dir, std::string& script) {
    const std::string self = SelfPath();
    if (self.empty()) return Fail(kFailed, "cannot find delvora-cli's own path");
    script = dir + "/job.sh";
    FILE* file = std::fopen(script.c_str(), "wb");
    const std::string text = "#!/bin/sh\n# One part of a split scan: Slurm gives each task its index.\nexec " +
                             ShellQuote(self) + " cluster task " + ShellQuote(dir) + " \"$SLURM_ARRAY_TASK_ID\"\n";
    bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) ok = std::fclose(file) == 0 && ok;
    return ok ? kOk : Fail(kFailed, "cannot write " + script);
}

// Runs every part as one array, then the parts that failed once more.
int RunArray(Progress& progress, const SlurmSubmit& submit, uint64_t pendingLimit, const std::string& dir,
             const ClusterPlan& plan) {
    std::vector<uint64_t> indices;
    for (uint64_t i = 0; i < plan.parts.size(); ++i) indices.push_back(i);
    std::string error;
    // Two rounds at most: a part that fails twice is reported, not retried.
    for (int round = 0; round < 2 && !indices.empty(); ++round) {
        const std::string job = SubmitArray(submit, indices, error);
        if (job.empty()) return Fail(kFailed, error);
        if (!Follow(progress, job, indices.size(), pendingLimit, error)) return Fail(kFailed, error);
        indices.clear();
        if (round == 1) break;
        for (const PartFailure& f : FailedParts(dir, plan)) {
            ClearTerminalLine();
            std::fprintf(stderr, "delvora-cli: part %llu (sectors %s) failed, submitting it again: %s\n",
                         static_cast<unsigned long long>(f.index), RangeText(f.range).c_str(),
                         EscapeControls(f.reason).c_str());
            indices.push_back(f.index);
        }
    }
    return kOk;
}

const std::vector<std::string> kValueOptions =
    WithVolumeOptions({"--parts", "--out", "--partition", "--time", "--account", "--pending-limit", "--keyword", "--kind", "--from", "--to",
                       "--keywords-file", "--encodings", "--max-match", "--case", "--manifest", "--hash", "--types",
                       "--max-gap", "--range", "--part-file"});
const std::vector<std::string> kFlags{"--raw", "--ignore-case", "--csv", "--html", "--doc", "--overwrite",
                                      "--free-only"};

// The sectors a carve covers: its region.
int CarvedRange(Env& env, const Args& args, uint64_t& first, uint64_t& end) {
    if (args.Value("--to") || args.Value("--manifest") || args.Value("--range") || args.Value("--part-file") ||
        args.Flag("--free-only") || args.Flag("--overwrite"))
        return Fail(kUsage, "cluster carve writes DIR/export and DIR/manifest.csv over the whole region: no --to, "
                            "--manifest, --range, --part-file, --free-only or --overwrite");
    // The merge always writes a manifest, so --hash is checked as beside one.
    std::vector<std::string> words = TaskArgs(env);
    words.insert(words.end(), {"--manifest", "manifest.csv"});
    const Args carve(words, CarveValueOptions(), CarveFlags());
    if (!carve.Ok()) return Fail(kUsage, carve.Error());
    CarveSetup setup;
    if (const int rc = PrepareCarve(env, carve, setup); rc != kOk) return rc;
    first = setup.opened.startSector;
    end = first + setup.opened.totalSectors;
    return kOk;
}

int ClusterRun(Env& env, const Args& clusterArgs, const std::string& kind) {
    if (clusterArgs.Positional().size() != 2 || env.commandArgs.empty() || env.commandArgs[0] != kind)
        return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    // The command's own words, SOURCE first, as the volume options expect them.
    const Args args(std::vector<std::string>(env.commandArgs.begin() + 1, env.commandArgs.end()), kValueOptions,
                    kFlags);
    const bool carve = kind == "carve";
    if (!carve && (args.Value("--case") || args.Flag("--csv")))
        return Fail(kUsage, "cluster search writes hits.jsonl: no --case or --csv");
    uint64_t count = 0;
    const auto partsText = args.Value("--parts");
    if (!partsText || !ParseNumber(*partsText, count) || count == 0)
        return Fail(kUsage, "cluster needs --parts N, N at least 1");
    const auto out = args.Value("--out");
    if (!out || out->empty()) return Fail(kUsage, "cluster needs --out DIR");
    uint64_t pendingLimit = kDefaultPendingLimit;
    const auto limitText = args.Value("--pending-limit");
    if (limitText && (!ParseNumber(*limitText, pendingLimit) || pendingLimit == 0))
        return Fail(kUsage, "--pending-limit takes the seconds a job may wait with no task running, at least 1");
    uint64_t first = 0, end = 0;
    if (const int rc = carve ? CarvedRange(env, args, first, end) : SearchedRange(env, args, first, end); rc != kOk)
        return rc;
    ClusterPlan plan;
    plan.kind = kind;
    plan.parts = SplitSectors(first, end, count);
    if (plan.parts.empty())
        return Fail(kFailed, Format("--parts %llu: the %s covers only %llu sectors",
                                    static_cast<unsigned long long>(count), kind.c_str(),
                                    static_cast<unsigned long long>(end - first)));
    std::error_code ec;
    const fs::path dirPath = fs::absolute(*out, ec);
    if (ec) return Fail(kFailed, "cannot use " + *out);
    const std::string dir = dirPath.lexically_normal().string();
    plan.globals = TaskGlobals(env);
    plan.args = TaskArgs(env);
    if (carve) {
        plan.args.push_back("--manifest");
        plan.args.push_back(dir + "/manifest.csv");
    } else {
        plan.args.push_back("--json");
        // The task's command line is tried here on its first sector, so that a
        // bad keyword or option is told once instead of by every task.
        if (const int rc = RunWithOutput(Joined(plan, {"--range", RangeText({first, first})}), ""); rc != kOk)
            return rc;
    }
    if (fs::exists(dirPath) && !fs::is_empty(dirPath, ec))
        return Fail(kFailed, dir + " is not empty: give a new folder for --out");
    fs::create_directories(dirPath / "parts", ec);
    if (!ec) fs::create_directories(dirPath / "logs", ec);
    if (ec) return Fail(kFailed, "cannot make " + dir + ": " + ec.message());
    std::string error;
    if (!WritePlan(PlanPath(dir), plan, error)) return Fail(kFailed, error);
    SlurmSubmit submit;
    if (const int rc = WriteJobScript(dir, submit.script); rc != kOk) return rc;
    submit.workDir = fs::current_path(ec).string();
    submit.logPattern = dir + "/logs/%a.log";
    submit.jobName = "delvora-" + kind;
    submit.partition = args.Value("--partition").value_or("");
    submit.time = args.Value("--time").value_or("");
    submit.account = args.Value("--account").value_or("");
    if (const int rc = RunArray(env.progress, submit, pendingLimit, dir, plan); rc != kOk) return rc;
    return MergeAndReport(env, dir, plan);
}

int Cluster(Env& env, const Args& args) {
    const std::vector<std::string>& words = args.Positional();
    if (words.empty()) return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    if (words[0] == "task") {
        if (words.size() != 3) return Fail(kUsage, "usage: delvora-cli cluster task DIR INDEX");
        return Task(words[1], words[2]);
    }
    if (words[0] == "merge") {
        const auto out = args.Value("--out");
        if (words.size() != 1 || !out) return Fail(kUsage, "usage: delvora-cli cluster merge --out DIR");
        ClusterPlan plan;
        std::string error;
        if (!ReadPlan(PlanPath(*out), plan, error)) return Fail(kFailed, error);
        return MergeAndReport(env, *out, plan);
    }
    if (words[0] == "search" || words[0] == "carve") return ClusterRun(env, args, words[0]);
    return Fail(kUsage, "cluster runs search, carve, merge or task: " + words[0]);
}

const bool kRegistered = RegisterCommand(
    {"cluster", kUsageText,
     "run a search or a carve as a Slurm job array of N parts, each on its own range of sectors, and merge the "
     "parts into what one machine finds (DIR/hits.jsonl; DIR/export and DIR/manifest.csv)",
     kValueOptions, kFlags, &Cluster});

}  // namespace
}  // namespace delvora::cli
