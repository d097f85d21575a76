#include "cli/cluster_plan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/text_format.h"

namespace delvora::cli {
namespace {

constexpr const char* kPlanMagic = "delvora-cluster-plan 1";
constexpr const char* kRecordMagic = "delvora-cluster-part 1";
// A plan or record larger than this was not written by a task.
constexpr std::streamsize kMaxTextBytes = 16 << 20;

}  // namespace

std::string EscapeLine(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '%' || c < 32) out += Format("%%%02X", c);
        else out += static_cast<char>(c);
    }
    return out;
}

bool UnescapeLine(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        unsigned value = 0;
        if (std::sscanf(text.substr(i + 1, 2).c_str(), "%2X", &value) != 1) return false;
        out += static_cast<char>(value);
        i += 2;
    }
    return true;
}

namespace {

bool ReadSmallText(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), {});
    if (static_cast<std::streamsize>(text.size()) > kMaxTextBytes) {
        error = path + " is too large";
        return false;
    }
    return true;
}

// Writes to path + ".tmp" and renames, so a reader sees all or nothing.
bool WriteWhole(const std::string& path, const std::string& text, std::string& error) {
    const std::string temp = path + ".tmp";
    FILE* file = std::fopen(temp.c_str(), "wb");
    bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) ok = std::fclose(file) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) error = "cannot write " + path + ": " + std::strerror(errno);
    return ok;
}

bool ParseU64(const std::string& text, uint64_t& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 20) return false;
    errno = 0;
    out = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0;
}

}  // namespace

std::vector<PartRange> SplitSectors(uint64_t first, uint64_t end, uint64_t count) {
    std::vector<PartRange> parts;
    if (end <= first || count == 0 || count > end - first) return parts;
    const uint64_t total = end - first, base = total / count, extra = total % count;
    uint64_t at = first;
    // The first `extra` parts take one sector more; the loop ends after count parts.
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t size = base + (i < extra ? 1 : 0);
        parts.push_back({at, at + size - 1});
        at += size;
    }
    return parts;
}

std::string RangeText(const PartRange& range) {
    return Format("%llu-%llu", static_cast<unsigned long long>(range.first),
                  static_cast<unsigned long long>(range.last));
}

std::string PlanPath(const std::string& dir) { return dir + "/plan"; }

std::string PartFilePath(const std::string& dir, uint64_t index, const std::string& extension) {
    return dir + "/parts/" + std::to_string(index) + extension;
}

bool WritePlan(const std::string& path, const ClusterPlan& plan, std::string& error) {
    std::string text = std::string(kPlanMagic) + "\nkind " + plan.kind + "\n";
    for (const PartRange& part : plan.parts) text += "part " + RangeText(part) + "\n";
    for (const std::string& arg : plan.globals) text += "global " + EscapeLine(arg) + "\n";
    for (const std::string& arg : plan.args) text += "arg " + EscapeLine(arg) + "\n";
    return WriteWhole(path, text, error);
}

bool ReadPlan(const std::string& path, ClusterPlan& plan, std::string& error) {
    std::string text;
    if (!ReadSmallText(path, text, error)) return false;
    std::istringstream lines(text);
    std::string line;
    plan = ClusterPlan{};
    if (!std::getline(lines, line) || line != kPlanMagic) {
        error = path + " is not a cluster plan";
        return false;
    }
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "kind") {
            plan.kind = value;
        } else if (key == "part") {
            const size_t dash = value.find('-');
            PartRange range;
            if (dash == std::string::npos || !ParseU64(value.substr(0, dash), range.first) ||
                !ParseU64(value.substr(dash + 1), range.last) || range.last < range.first) {
                error = path + ": bad part line: " + line;
                return false;
            }
            plan.parts.push_back(range);
        } else if (key == "arg" || key == "global") {
            std::string arg;
            if (!UnescapeLine(value, arg)) {
                error = path + ": bad argument line";
                return false;
            }
            (key == "arg" ? plan.args : plan.globals).push_back(std::move(arg));
        } else {
            error = path + ": unknown line: " + line;
            return false;
        }
    }
    if ((plan.kind != "search" && plan.kind != "carve") || plan.parts.empty() || plan.args.empty()) {
        error = path + " is incomplete";
        return false;
    }
    return true;
}

bool WritePartRecord(const std::string& path, const PartRecord& record, std::string& error) {
    const std::string text = std::string(kRecordMagic) + "\n" +
                             Format("index %llu\nrange %s\ncount %llu\nbytes %llu\nsha256 %s\n",
                                    static_cast<unsigned long long>(record.index), RangeText(record.range).c_str(),
                                    static_cast<unsigned long long>(record.count),
                                    static_cast<unsigned long long>(record.bytes), record.sha256.c_str());
    return WriteWhole(path, text, error);
}

bool ReadPartRecord(const std::string& path, PartRecord& record, std::string& error) {
    std::string text;
    if (!ReadSmallText(path, text, error)) return false;
    std::istringstream lines(text);
    std::string line;
    record = PartRecord{};
    if (!std::getline(lines, line) || line != kRecordMagic) {
        error = path + " is not a part record";
        return false;
    }
    int seen = 0;
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        bool ok = true;
        if (key == "index") ok = ParseU64(value, record.index);
        else if (key == "count") ok = ParseU64(value, record.count);
        else if (key == "bytes") ok = ParseU64(value, record.bytes);
        else if (key == "sha256") record.sha256 = value;
        else if (key == "range") {
            const size_t dash = value.find('-');
            ok = dash != std::string::npos && ParseU64(value.substr(0, dash), record.range.first) &&
                 ParseU64(value.substr(dash + 1), record.range.last);
        } else {
            ok = false;
        }
        if (!ok) {
            error = path + ": bad line: " + line;
            return false;
        }
        ++seen;
    }
    if (seen != 5 || record.sha256.size() != 64) {
        error = path + " is incomplete";
        return false;
    }
    return true;
}

}  // namespace delvora::cli
