#include "cli/carve_part.h"

#include <fstream>
#include <sstream>

#include "cli/cluster_plan.h"
#include "common/text_format.h"

namespace delvora::cli {
namespace {

constexpr const char* kMagic = "delvora-carve-part 1";
// More lines than this were not written by a task.
constexpr uint64_t kMaxLines = 100000000;

std::string FileLine(const char* tag, const CarvedFile& f) {
    return Format("%s %s %llu %llu %llu %d %llu %llu %llu ", tag, f.folder.c_str(),
                  static_cast<unsigned long long>(f.startSector), static_cast<unsigned long long>(f.sectorCount),
                  static_cast<unsigned long long>(f.size), static_cast<int>(f.status),
                  static_cast<unsigned long long>(f.gapSector), static_cast<unsigned long long>(f.gapSectors),
                  static_cast<unsigned long long>(f.secondCount)) +
           EscapeLine(f.name) + "\n";
}

bool ParseFile(std::istringstream& in, CarvedFile& f) {
    int status = 0;
    unsigned long long start = 0, count = 0, size = 0, gap = 0, gapCount = 0, second = 0;
    if (!(in >> f.folder >> start >> count >> size >> status >> gap >> gapCount >> second)) return false;
    if (status < static_cast<int>(CarveStatus::Rejected) || status > static_cast<int>(CarveStatus::Truncated))
        return false;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    if (!UnescapeLine(rest, f.name) || f.name.empty()) return false;
    f.startSector = start;
    f.sectorCount = count;
    f.size = size;
    f.status = static_cast<CarveStatus>(status);
    f.gapSector = gap;
    f.gapSectors = gapCount;
    f.secondCount = second;
    return true;
}

}  // namespace

bool WriteCarvePart(const std::string& path, const CarvePart& part, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << kMagic << '\n';
    for (const ByteRange& r : part.unreadable.Ranges()) out << "unread " << r.first << ' ' << r.last << '\n';
    for (const CarvedFile& f : part.pages) out << FileLine("page", f);
    for (const CarvedFile& f : part.files) out << FileLine("file", f);
    for (const CarveEvent& e : part.events)
        out << "event " << static_cast<int>(e.kind) << ' ' << e.start << ' ' << e.until << ' ' << e.index << '\n';
    out.close();
    if (!out) error = "cannot write " + path;
    return static_cast<bool>(out);
}

bool ReadCarvePart(const std::string& path, CarvePart& part, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    part = CarvePart{};
    if (!in || !std::getline(in, line) || line != kMagic) {
        error = path + " is not a carve part";
        return false;
    }
    uint64_t lines = 0;
    // One record per line; the count bound ends a runaway file.
    while (std::getline(in, line) && ++lines < kMaxLines) {
        std::istringstream fields(line);
        std::string tag;
        fields >> tag;
        bool ok = false;
        if (tag == "unread") {
            unsigned long long first = 0, last = 0;
            ok = static_cast<bool>(fields >> first >> last) && last >= first;
            if (ok) part.unreadable.Add(first, last - first + 1);
        } else if (tag == "page" || tag == "file") {
            CarvedFile f;
            if (tag == "page") f.folder = "HTML";
            ok = ParseFile(fields, f);
            (tag == "page" ? part.pages : part.files).push_back(std::move(f));
        } else if (tag == "event") {
            int kind = 0;
            unsigned long long start = 0, until = 0;
            unsigned index = 0;
            ok = static_cast<bool>(fields >> kind >> start >> until >> index) && kind >= CarveEvent::kFile &&
                 kind <= CarveEvent::kOpenPage;
            if (ok && kind == CarveEvent::kFile) ok = index < part.files.size();
            if (ok && kind == CarveEvent::kPage) ok = index < part.pages.size();
            if (ok && !part.events.empty()) ok = start >= part.events.back().start;
            if (ok) part.events.push_back({static_cast<CarveEvent::Kind>(kind), start, until, index});
        }
        if (!ok) {
            error = path + ": bad line: " + line.substr(0, 200);
            return false;
        }
    }
    return true;
}

bool ChainConflicts(const CarvePart& part, const CarveChain& chain) {
    for (const CarveEvent& e : part.events) {
        const bool walk = e.kind == CarveEvent::kFile || e.kind == CarveEvent::kSkip;
        const bool page = e.kind == CarveEvent::kPage || e.kind == CarveEvent::kOpenPage;
        if (walk && e.start < chain.skipUntil && e.until > chain.skipUntil) return true;
        if (page && e.start < chain.htmlFrom && e.until > chain.htmlFrom) return true;
    }
    return false;
}

void JoinCarvePart(const CarvePart& part, CarveChain& chain, std::vector<CarvedFile>& pages,
                   std::vector<CarvedFile>& files, uint64_t& rejected) {
    CarveChain next = chain;
    for (const CarveEvent& e : part.events) {
        switch (e.kind) {
            case CarveEvent::kFile:
            case CarveEvent::kSkip:
            case CarveEvent::kReject:
                if (e.start < chain.skipUntil) break;
                if (e.kind == CarveEvent::kFile) files.push_back(part.files[e.index]);
                if (e.kind == CarveEvent::kReject) ++rejected;
                else next.skipUntil = e.until;
                break;
            case CarveEvent::kPage:
            case CarveEvent::kOpenPage:
                if (e.start < chain.htmlFrom) break;
                if (e.kind == CarveEvent::kPage) pages.push_back(part.pages[e.index]);
                next.htmlFrom = e.until;
                break;
        }
    }
    chain = next;
}

}  // namespace delvora::cli
