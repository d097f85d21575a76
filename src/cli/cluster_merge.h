#pragma once
// Checking the parts a job array left and joining them into the result one
// machine would have given.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/cluster_plan.h"

namespace delvora::cli {

/// A part that cannot be merged, and why.
struct PartFailure {
    uint64_t index = 0;
    PartRange range;
    std::string reason;
};

/// Lines of a part file of hits that are hits (not the closing record).
bool IsHitLine(const std::string& line);

/// Counts and hashes a finished part file into record (range and index
/// set by the caller): its hits, or for a carve its pages and files. False
/// with error when it cannot be read.
bool DescribePartFile(const std::string& path, const std::string& kind, PartRecord& record, std::string& error);

/// Checks part index of the plan: its record exists, names the plan's range
/// and index, and its file has the recorded size, digest and count.
bool CheckPart(const std::string& dir, const ClusterPlan& plan, uint64_t index, std::string& reason);

/// The parts that do not pass CheckPart.
std::vector<PartFailure> FailedParts(const std::string& dir, const ClusterPlan& plan);

/// Joins the hits of the parts that pass into DIR/hits.jsonl, in part
/// order, and the unreadable sectors of all of them into one closing record
/// as `search --json` writes it. failures: the parts left out, also listed
/// in DIR/incomplete (removed when none). False with error when the output
/// cannot be written.
bool MergeSearchParts(const std::string& dir, const ClusterPlan& plan, std::vector<PartFailure>& failures,
                      std::string& error);

}  // namespace delvora::cli
