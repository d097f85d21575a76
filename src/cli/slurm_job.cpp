#include "cli/slurm_job.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace delvora::cli {
namespace {

// squeue may fail for a moment while slurmctld is busy; a minute of
// failures in a row means it is gone. Counted in time, not calls: one call
// to a controller that is gone can itself wait many seconds.
constexpr std::chrono::seconds kSqueueFailingAllowed{60};

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    // Ends at end of file or on an error.
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

std::string FirstLine(const std::string& text) {
    const size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

int RunTool(const std::vector<std::string>& argv, std::string& out, std::string& err) {
    out.clear();
    err.clear();
    if (argv.empty()) return 127;
    // Output goes to unlinked temporary files: no pipe can fill up and stall the child.
    char outName[] = "/tmp/delvora-tool-XXXXXX", errName[] = "/tmp/delvora-tool-XXXXXX";
    const int outFd = mkstemp(outName), errFd = mkstemp(errName);
    if (outFd >= 0) unlink(outName);
    if (errFd >= 0) unlink(errName);
    if (outFd < 0 || errFd < 0) {
        if (outFd >= 0) close(outFd);
        if (errFd >= 0) close(errFd);
        return 127;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 127;
    if (spawned == 0) {
        int raw = 0;
        while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    }
    lseek(outFd, 0, SEEK_SET);
    lseek(errFd, 0, SEEK_SET);
    out = ReadAll(outFd);
    err = ReadAll(errFd);
    close(outFd);
    close(errFd);
    return status;
}

std::string SubmitArray(const SlurmSubmit& submit, const std::vector<uint64_t>& indices, std::string& error) {
    std::string array;
    for (uint64_t i : indices) array += (array.empty() ? "" : ",") + std::to_string(i);
    std::vector<std::string> argv = {"sbatch", "--parsable", "--array=" + array, "--job-name=" + submit.jobName,
                                     "--output=" + submit.logPattern, "--chdir=" + submit.workDir};
    if (!submit.partition.empty()) argv.push_back("--partition=" + submit.partition);
    if (!submit.time.empty()) argv.push_back("--time=" + submit.time);
    if (!submit.account.empty()) argv.push_back("--account=" + submit.account);
    argv.push_back(submit.script);
    std::string out, err;
    const int status = RunTool(argv, out, err);
    if (status == 127) {
        error = "sbatch is not installed or not on PATH: cluster needs Slurm's commands on this machine";
        return {};
    }
    // --parsable prints "jobid" or "jobid;cluster".
    std::string job = FirstLine(out);
    job = job.substr(0, job.find(';'));
    if (status != 0 || job.empty() || job.find_first_not_of("0123456789") != std::string::npos) {
        const std::string said = FirstLine(err.empty() ? out : err);
        error = "Slurm refused the job" + (said.empty() ? std::string() : ": " + said);
        return {};
    }
    return job;
}

bool FollowJob(const std::string& job, uint64_t pendingLimit,
               const std::function<void(size_t pending, size_t running)>& onPoll, std::string& error) {
    using Clock = std::chrono::steady_clock;
    bool failing = false;
    Clock::time_point failingSince;
    Clock::time_point pendingSince = Clock::now();
    // Each round is one look at the queue; the loop ends when the job has
    // left it, or has waited in it, with nothing running, past the limit.
    for (;;) {
        std::string out, err;
        const int status = RunTool({"squeue", "-h", "-r", "-j", job, "-o", "%t"}, out, err);
        if (status != 0) {
            // A job that has ended and been purged is "Invalid job id".
            if (err.find("Invalid job id") != std::string::npos) return true;
            if (!failing) failingSince = Clock::now();
            failing = true;
            if (Clock::now() - failingSince > kSqueueFailingAllowed) {
                error = "squeue failed: " + FirstLine(err.empty() ? out : err);
                return false;
            }
        } else {
            failing = false;
            size_t pending = 0, running = 0, lines = 0;
            for (size_t at = 0; at < out.size();) {
                size_t end = out.find('\n', at);
                if (end == std::string::npos) end = out.size();
                const std::string state = out.substr(at, end - at);
                if (!state.empty()) ++lines;
                if (state == "PD") ++pending;
                else if (!state.empty()) ++running;
                at = end + 1;
            }
            if (onPoll) onPoll(pending, running);
            if (lines == 0) return true;
            if (running > 0) pendingSince = Clock::now();
            const auto waited = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - pendingSince).count();
            if (running == 0 && static_cast<uint64_t>(waited) >= pendingLimit) {
                std::string cancelOut, cancelErr;
                const bool cancelled = RunTool({"scancel", job}, cancelOut, cancelErr) == 0;
                error = "job " + job + " stayed pending for " + std::to_string(waited) +
                        " s with no task running (--pending-limit)" +
                        (cancelled ? ": cancelled" : "; scancel failed, cancel it by hand");
                return false;
            }
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

}  // namespace delvora::cli
