#pragma once
// Talking to Slurm through its commands (sbatch, squeue, scancel): one job
// array per scan, followed until no task of it is left.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace delvora::cli {

/// Runs a program found on PATH with argv, its output gathered. Answers its
/// exit status; 127 when it could not be started.
int RunTool(const std::vector<std::string>& argv, std::string& out, std::string& err);

struct SlurmSubmit {
    std::string script;       // the batch script
    std::string workDir;      // where the tasks start
    std::string logPattern;   // --output, e.g. DIR/logs/%a.log
    std::string jobName;
    std::string partition, time, account;  // empty: Slurm's defaults
};

/// Submits script as the array of the given task indices. Answers the job
/// id, or empty with error set ("sbatch is not installed ...", or what
/// Slurm said when it refused the job).
std::string SubmitArray(const SlurmSubmit& submit, const std::vector<uint64_t>& indices, std::string& error);

/// Waits until no task of job is queued or running, polling squeue every
/// second; onPoll(pending, running) after each look. False with error when
/// squeue failed repeatedly, or when the job's tasks all stayed pending
/// (none running) for longer than pendingLimit seconds: the job is then
/// cancelled, so it does not run after nobody waits for it.
bool FollowJob(const std::string& job, uint64_t pendingLimit,
               const std::function<void(size_t pending, size_t running)>& onPoll, std::string& error);

/// How long a job may wait in the queue with no task running, when
/// --pending-limit does not say: a day.
inline constexpr uint64_t kDefaultPendingLimit = 24 * 3600;

}  // namespace delvora::cli
