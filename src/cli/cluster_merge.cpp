#include "cli/cluster_merge.h"

#include <cstdio>
#include <fstream>
#include <map>

#include "common/hash.h"
#include "common/text_format.h"

namespace delvora::cli {
namespace {

constexpr const char* kHitPrefix = "{\"keyword\":";
constexpr const char* kUnreadablePrefix = "{\"unreadableSectors\":";

// Sector ranges "a-b" of a closing record, added to ranges (first -> last).
bool AddUnreadable(const std::string& line, std::map<uint64_t, uint64_t>& ranges) {
    const size_t open = line.find("\"ranges\":[");
    if (open == std::string::npos) return false;
    size_t at = open + 10;
    // Each round takes one quoted range; the loop ends at the closing bracket.
    while (at < line.size() && line[at] != ']') {
        if (line[at] == ',') ++at;
        unsigned long long first = 0, last = 0;
        int used = 0;
        if (std::sscanf(line.c_str() + at, "\"%llu-%llu\"%n", &first, &last, &used) != 2 || used <= 0 || last < first)
            return false;
        auto [it, added] = ranges.emplace(first, last);
        if (!added) it->second = std::max<uint64_t>(it->second, last);
        at += static_cast<size_t>(used);
    }
    return true;
}

std::string UnreadableLine(const std::map<uint64_t, uint64_t>& ranges) {
    // Overlapping and touching ranges join, as one reader's set would hold them.
    std::vector<std::pair<uint64_t, uint64_t>> joined;
    for (const auto& [first, last] : ranges) {
        if (!joined.empty() && first <= joined.back().second + 1)
            joined.back().second = std::max(joined.back().second, last);
        else
            joined.emplace_back(first, last);
    }
    uint64_t sectors = 0;
    std::string text;
    for (const auto& [first, last] : joined) {
        sectors += last - first + 1;
        text += Format("%s\"%llu-%llu\"", text.empty() ? "" : ",", static_cast<unsigned long long>(first),
                       static_cast<unsigned long long>(last));
    }
    return Format("{\"unreadableSectors\":%llu,\"ranges\":[", static_cast<unsigned long long>(sectors)) + text +
           "]}\n";
}

}  // namespace

bool IsHitLine(const std::string& line) { return line.rfind(kHitPrefix, 0) == 0; }

bool DescribePartFile(const std::string& path, const std::string& kind, PartRecord& record, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    Hasher hasher(kHashSha256);
    record.count = 0;
    record.bytes = 0;
    std::string line;
    // One line at a time: a part of many hits is never held whole.
    while (std::getline(in, line)) {
        const bool ended = !in.eof();
        if (ended) line.push_back('\n');
        hasher.Update({reinterpret_cast<const uint8_t*>(line.data()), line.size()});
        record.bytes += line.size();
        if (kind == "carve" ? line.rfind("file ", 0) == 0 || line.rfind("page ", 0) == 0 : IsHitLine(line))
            ++record.count;
    }
    if (in.bad()) {
        error = "reading " + path + " failed";
        return false;
    }
    record.sha256 = hasher.Finish().sha256;
    return true;
}

bool CheckPart(const std::string& dir, const ClusterPlan& plan, uint64_t index, std::string& reason) {
    PartRecord record;
    std::string error;
    if (!ReadPartRecord(PartFilePath(dir, index, ".done"), record, error)) {
        reason = "no completion record (" + error + ")";
        return false;
    }
    const PartRange& range = plan.parts[index];
    if (record.index != index || record.range.first != range.first || record.range.last != range.last) {
        reason = "its record is for part " + std::to_string(record.index) + ", sectors " + RangeText(record.range);
        return false;
    }
    PartRecord found;
    if (!DescribePartFile(PartFilePath(dir, index, plan.Extension()), plan.kind, found, error)) {
        reason = error;
        return false;
    }
    if (found.bytes != record.bytes || found.sha256 != record.sha256 || found.count != record.count) {
        reason = Format("its file changed since the task wrote it (%llu found, %llu bytes; recorded %llu, %llu)",
                        static_cast<unsigned long long>(found.count), static_cast<unsigned long long>(found.bytes),
                        static_cast<unsigned long long>(record.count), static_cast<unsigned long long>(record.bytes));
        return false;
    }
    return true;
}

std::vector<PartFailure> FailedParts(const std::string& dir, const ClusterPlan& plan) {
    std::vector<PartFailure> failed;
    for (uint64_t i = 0; i < plan.parts.size(); ++i) {
        std::string reason;
        if (!CheckPart(dir, plan, i, reason)) failed.push_back({i, plan.parts[i], reason});
    }
    return failed;
}

bool MergeSearchParts(const std::string& dir, const ClusterPlan& plan, std::vector<PartFailure>& failures,
                      std::string& error) {
    failures = FailedParts(dir, plan);
    std::vector<bool> left(plan.parts.size(), false);
    for (const PartFailure& f : failures) left[f.index] = true;
    const std::string target = dir + "/hits.jsonl", temp = target + ".tmp";
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot write " + temp;
        return false;
    }
    std::map<uint64_t, uint64_t> unreadable;
    bool anyUnreadable = false;
    for (uint64_t i = 0; i < plan.parts.size(); ++i) {
        if (left[i]) continue;
        const std::string path = PartFilePath(dir, i, ".jsonl");
        std::ifstream in(path, std::ios::binary);
        std::string line;
        // Hits go out in part order, which is the whole search's order.
        while (std::getline(in, line)) {
            if (IsHitLine(line)) {
                out << line << '\n';
            } else if (line.rfind(kUnreadablePrefix, 0) == 0) {
                anyUnreadable = true;
                if (!AddUnreadable(line, unreadable)) {
                    error = path + ": unreadable sectors cannot be read back: " + line;
                    return false;
                }
            }
        }
        if (in.bad()) {
            error = "reading " + path + " failed";
            return false;
        }
    }
    if (anyUnreadable) out << UnreadableLine(unreadable);
    out.close();
    if (!out || std::rename(temp.c_str(), target.c_str()) != 0) {
        error = "cannot write " + target;
        return false;
    }
    const std::string incomplete = dir + "/incomplete";
    if (failures.empty()) {
        std::remove(incomplete.c_str());
        return true;
    }
    std::ofstream note(incomplete, std::ios::binary | std::ios::trunc);
    for (const PartFailure& f : failures)
        note << "part " << f.index << " sectors " << RangeText(f.range) << ": " << f.reason << '\n';
    if (!note) error = "cannot write " + incomplete;
    return static_cast<bool>(note);
}

}  // namespace delvora::cli
