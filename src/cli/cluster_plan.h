#pragma once
// The plan of a scan split into parts (which sectors each part covers and
// the command line its task runs) and the record a task leaves when its
// part is complete. Both live in the output folder, where every node and
// the merge read them.
#include <cstdint>
#include <string>
#include <vector>

namespace delvora::cli {

struct PartRange {
    uint64_t first = 0;  // first sector
    uint64_t last = 0;   // last sector, inclusive
};

struct ClusterPlan {
    std::string kind;               // "search" or "carve"
    std::vector<PartRange> parts;
    std::vector<std::string> globals;  // delvora-cli's options before the command
    std::vector<std::string> args;     // the command's arguments, without --range
    /// The part file's name after its index: ".jsonl" or ".carve".
    std::string Extension() const { return kind == "carve" ? ".carve" : ".jsonl"; }
};

/// What a task states of its finished part: the range it covered, the hits
/// or files it found, and the size and SHA-256 of its part file.
struct PartRecord {
    uint64_t index = 0;
    PartRange range;
    uint64_t count = 0;
    uint64_t bytes = 0;
    std::string sha256;
};

/// count parts of [first, end) as even as whole sectors allow, in order.
/// Empty when count is 0 or larger than the sectors.
std::vector<PartRange> SplitSectors(uint64_t first, uint64_t end, uint64_t count);

bool WritePlan(const std::string& path, const ClusterPlan& plan, std::string& error);
bool ReadPlan(const std::string& path, ClusterPlan& plan, std::string& error);

/// Written beside the part file (to a temporary name, then renamed), so
/// that a record exists only for a part written whole.
bool WritePartRecord(const std::string& path, const PartRecord& record, std::string& error);
bool ReadPartRecord(const std::string& path, PartRecord& record, std::string& error);

/// The folder's files: DIR/plan, DIR/parts/<i>.jsonl, DIR/parts/<i>.done.
std::string PlanPath(const std::string& dir);
std::string PartFilePath(const std::string& dir, uint64_t index, const std::string& extension);

/// "first-last".
std::string RangeText(const PartRange& range);

/// Text of any bytes as one line ('%' and control bytes as %XX), and back.
std::string EscapeLine(const std::string& text);
bool UnescapeLine(const std::string& text, std::string& out);

}  // namespace delvora::cli
