#include "recovery/carver.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <set>

#include "common/codepage.h"
#include "common/options.h"
#include "common/text_format.h"
#include "fs/cluster_run_list.h"
#include "recovery/carve_names.h"
#include "fs/file_tree.h"

namespace delvora {
namespace {

constexpr size_t kStartWindow = 256;
// Cluster boundaries before the failure a split is looked for at.
constexpr uint64_t kGapBoundaries = 4;
constexpr size_t kTitleWindow = 256;
constexpr size_t kCloseTagBytes = 7;  // "</html>"

uint8_t Lower(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; }

bool EqualsNoCase(const uint8_t* p, const char* lowerText, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (Lower(p[i]) != static_cast<uint8_t>(lowerText[i])) return false;
    return true;
}

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

/// "<html>" or "<html" followed by white space and attributes, any case.
bool IsHtmlStart(ByteSpan b, size_t o) {
    return Has(b, o, 6) && b[o] == '<' && EqualsNoCase(&b[o + 1], "html", 4) && (b[o + 5] == '>' || IsSpace(b[o + 5]));
}

/// The first "</html>" (any case) that starts at or after from and lies
/// wholly inside b; SIZE_MAX when there is none.
size_t FindClose(ByteSpan b, size_t from) {
    // Each step moves past one '<': the search ends at the buffer's end.
    while (from + kCloseTagBytes <= b.size()) {
        const void* hit = std::memchr(b.data() + from, '<', b.size() - kCloseTagBytes + 1 - from);
        if (!hit) return SIZE_MAX;
        const size_t i = static_cast<const uint8_t*>(hit) - b.data();
        if (EqualsNoCase(&b[i + 1], "/html>", 6)) return i;
        from = i + 1;
    }
    return SIZE_MAX;
}

/// The page's name from the title element within 256 bytes of its start
/// tag, lower-cased; empty when there is no title or it is empty.
std::string TitleName(ByteSpan b, size_t o) {
    const ByteSpan window = Slice(b, o, kTitleWindow);
    std::string text(window.begin(), window.end());
    for (char& c : text) c = static_cast<char>(Lower(static_cast<uint8_t>(c)));
    const size_t open = text.find("<title>");
    if (open == std::string::npos) return {};
    const size_t from = open + 7;
    const size_t close = text.find("</title>", from);
    if (close == std::string::npos) return {};
    size_t first = from, last = close;
    while (first < last && IsSpace(static_cast<uint8_t>(text[first]))) ++first;
    while (last > first && IsSpace(static_cast<uint8_t>(text[last - 1]))) --last;
    if (first == last) return {};
    return TitleFileName(std::string_view(text).substr(first, last - first), "htm");
}

}  // namespace

std::string CarvedFile::StatusText() const {
    if (gapSectors)
        return Format("fragmented (gap at sector %llu, %llu sectors)", static_cast<unsigned long long>(gapSector),
                      static_cast<unsigned long long>(gapSectors));
    return status == CarveStatus::Truncated ? "truncated" : "complete";
}

Carver::Carver(uint32_t types, uint32_t sectorBytes)
    : m_types(types & carve_type::kAll), m_unit(std::max<uint32_t>(sectorBytes, 512)) {}

Carver::Carver(bool html, bool doc, uint32_t sectorBytes)
    : Carver((html ? carve_type::kHtml : 0u) | (doc ? carve_type::kDoc : 0u), sectorBytes) {}

void Carver::SetReader(CarveReadFn read, uint64_t endSector) {
    m_read = std::move(read);
    m_end = endSector;
}

void Carver::SetGapRetry(uint32_t clusterBytes, uint32_t maxGap) {
    m_clusterUnits = std::max<uint32_t>(1, clusterBytes / m_unit);
    m_maxGap = maxGap;
}

void Carver::Carve(ByteSpan buffer, uint64_t sector) {
    const size_t sectors = buffer.size() / m_unit;
    const ByteSpan whole = buffer.first(sectors * m_unit);
    if (sectors == 0) return;
    m_noCloseFrom = SIZE_MAX;
    const bool html = (m_types & carve_type::kHtml) != 0;
    const bool walk = m_read && (m_types & ~carve_type::kHtml) != 0;
    if (html && m_htmlOpen && sector == m_tailNext && m_tailBytes > 0) {
        // A closing tag that began in the previous buffer's last bytes.
        uint8_t joined[12];
        std::memcpy(joined, m_tail + 6 - m_tailBytes, m_tailBytes);
        const size_t more = std::min<size_t>(6, whole.size());
        std::memcpy(joined + m_tailBytes, whole.data(), more);
        const size_t found = FindClose(ByteSpan(joined, m_tailBytes + more), 0);
        // The same sector is then looked at for a start tag.
        if (found < m_tailBytes)
            EndHtml(sector, static_cast<int64_t>(found) - static_cast<int64_t>(m_tailBytes), sector);
    }
    // One step per sector of a buffer of known length.
    for (size_t k = 0; k < sectors; ++k) {
        const bool inPart = sector + k >= m_partFirst && sector + k < m_partEnd;
        if (html && (m_htmlOpen || (inPart && sector + k >= m_htmlFrom))) HtmlStep(whole, k * m_unit, sector + k);
        if (walk && inPart && sector + k >= m_skipUntil) WalkAt(whole.subspan(k * m_unit, m_unit), sector + k);
    }
    m_tailBytes = std::min<size_t>(6, whole.size());
    std::memcpy(m_tail + 6 - m_tailBytes, whole.data() + whole.size() - m_tailBytes, m_tailBytes);
    m_tailNext = sector + sectors;
}

void Carver::HtmlStep(ByteSpan buffer, size_t at, uint64_t s) {
    const ByteSpan b = buffer.subspan(at);
    size_t from = 0;
    if (!m_htmlOpen) {
        const size_t limit = std::min(kStartWindow, b.size());
        size_t o = 0;
        // Each step moves past one '<' of the first 256 offsets.
        for (;;) {
            const void* hit = std::memchr(b.data() + o, '<', limit - o);
            if (!hit) return;
            o = static_cast<const uint8_t*>(hit) - b.data();
            if (IsHtmlStart(b, o)) break;
            if (++o >= limit) return;
        }
        m_htmlOpen = true;
        m_htmlStart = s;
        m_htmlName = TitleName(b, o);
        // A closing tag before the start tag ends an earlier page, not this one.
        from = o + 6;
    }
    if (at + from >= m_noCloseFrom) return;
    const size_t i = FindClose(b, from);
    if (i == SIZE_MAX) {
        m_noCloseFrom = at + from;
        return;
    }
    EndHtml(s, static_cast<int64_t>(i), s + 1);
}

void Carver::EndHtml(uint64_t s, int64_t i, uint64_t resume) {
    const uint64_t size = (s - m_htmlStart) * m_unit + static_cast<uint64_t>(i + static_cast<int64_t>(kCloseTagBytes));
    CarvedFile file;
    file.startSector = m_htmlStart;
    file.size = size;
    // Every sector the closing tag touches belongs to the page.
    file.sectorCount = (size + m_unit - 1) / m_unit;
    file.folder = "HTML";
    file.name = m_htmlName.empty()
                    ? CarvedFileName("", "HTML", m_nameSector ? m_nameSector(m_htmlStart) : m_htmlStart, "htm")
                    : std::move(m_htmlName);
    m_events.push_back({CarveEvent::kPage, m_htmlStart, resume, static_cast<uint32_t>(m_html.size())});
    m_html.push_back(std::move(file));
    m_htmlName.clear();
    m_htmlOpen = false;
    m_htmlStart = 0;
}

void Carver::WalkAt(ByteSpan head, uint64_t s) {
    for (const CarveFormat& format : CarveFormats()) {
        if (!(format.types & m_types) || !format.matches(head)) continue;
        CarveInput in(m_read, m_unit, s, m_end);
        CarveWalk walk = format.walk(in);
        if (walk.status == CarveStatus::Truncated && format.gapRetry && m_maxGap && walk.failedAt < in.Available())
            RetryOverGap(format, in, walk, s);
        if (walk.status == CarveStatus::Rejected || walk.length == 0) {
            ++m_rejected;
            m_events.push_back({CarveEvent::kReject, s, 0, 0});
            return;
        }
        const uint64_t units = (walk.length + m_unit - 1) / m_unit;
        const uint64_t gapAt = in.GapAt() == UINT64_MAX ? 0 : in.GapAt() / m_unit;
        // A file of a kind not asked for still keeps its sectors from other headers.
        m_skipUntil = s + units + in.GapSkipUnits();
        if (!(walk.type & m_types)) {
            m_events.push_back({CarveEvent::kSkip, s, m_skipUntil, 0});
            return;
        }
        m_events.push_back({CarveEvent::kFile, s, m_skipUntil, static_cast<uint32_t>(m_files.size())});
        CarvedFile file;
        file.folder = walk.folder;
        file.name = CarvedFileName(walk.title, walk.folder, m_nameSector ? m_nameSector(s) : s, walk.extension);
        file.startSector = s;
        file.size = walk.length;
        file.status = walk.status;
        if (gapAt && gapAt < units) {
            file.sectorCount = gapAt;
            file.gapSector = s + gapAt;
            file.gapSectors = in.GapSkipUnits();
            file.secondCount = units - gapAt;
        } else {
            file.sectorCount = units;
        }
        m_files.push_back(std::move(file));
        return;
    }
}

bool Carver::RetryOverGap(const CarveFormat& format, CarveInput& in, CarveWalk& walk, uint64_t s) const {
    // The split lies at a cluster boundary of the stream near where the walk
    // failed: a decoder notices bad data a little late, and may give up a
    // few bytes early (it reports the last whole unit it decoded).
    const uint64_t cluster = uint64_t{m_clusterUnits} * m_unit;
    const uint64_t begin = s * m_unit;
    const uint64_t last = (begin + walk.failedAt + cluster - 1) / cluster * cluster;
    for (uint64_t back = 0; back < kGapBoundaries && last >= begin + (back + 1) * cluster; ++back) {
        const uint64_t at = last - back * cluster - begin;
        for (uint32_t gap = 1; gap <= m_maxGap; ++gap) {
            in.SetGap(at, uint64_t{gap} * m_clusterUnits);
            if (in.Available() <= at) break;
            CarveWalk again = format.walk(in);
            if (again.status == CarveStatus::Complete) {
                walk = std::move(again);
                return true;
            }
        }
    }
    in.SetGap(0, 0);
    return false;
}

std::vector<CarveEvent> Carver::Events() const {
    std::vector<CarveEvent> events = m_events;
    if (m_htmlOpen) events.push_back({CarveEvent::kOpenPage, m_htmlStart, UINT64_MAX, 0});
    // Pages are recorded when they end: order everything by where it starts.
    std::stable_sort(events.begin(), events.end(),
                     [](const CarveEvent& a, const CarveEvent& b) { return a.start < b.start; });
    return events;
}

uint32_t CarveTypes(const AnalysisOptions& options) {
    return (options.searchHtml ? carve_type::kHtml : 0u) | (options.searchDoc ? carve_type::kDoc : 0u) |
           (options.carveTypes & carve_type::kAll);
}

}  // namespace delvora

namespace delvora {

namespace {

/// Two files of one title in a folder: the later ones get their sector
/// before the extension, so every item's path names one file.
std::string UniqueName(const CarvedFile& hit, std::set<std::string>& taken) {
    std::string name = hit.name;
    if (!taken.insert(name).second) {
        const size_t dot = name.rfind('.');
        name = name.substr(0, dot) + Format(" %llu", static_cast<unsigned long long>(hit.startSector)) +
               (dot == std::string::npos ? "" : name.substr(dot));
        taken.insert(name);
    }
    return name;
}

}  // namespace

bool MakeCarvedFolders(FileTree& tree, const Carver& carver, std::vector<FileItem>& folders, const CarveRunMap& map) {
    return MakeCarvedFolders(tree, carver.HtmlHits(), carver.Files(), folders, map);
}

bool MakeCarvedFolders(FileTree& tree, const std::vector<CarvedFile>& html, const std::vector<CarvedFile>& others,
                       std::vector<FileItem>& folders, const CarveRunMap& map) {
    std::vector<std::string> names;
    if (!html.empty()) names.push_back("HTML");
    for (const CarvedFile& f : others)
        if (std::find(names.begin(), names.end(), f.folder) == names.end()) names.push_back(f.folder);
    std::vector<FileItem> made;
    try {
        for (const std::string& name : names) {
            FileItem folder = MakeItem(name);
            folder.flags = item_flags::kDeleted | item_flags::kFound | item_flags::kDirectory;
            std::vector<FileItem> files;
            const auto& hits = name == "HTML" ? html : others;
            std::set<std::string> taken;
            for (const CarvedFile& hit : hits) {
                if (hit.folder != name) continue;
                FileItem file = MakeItem(UniqueName(hit, taken));
                file.flags = item_flags::kDeleted | item_flags::kFound;
                file.size = hit.size;
                auto runs = std::make_unique<ClusterRunList>();
                auto add = [&](uint64_t first, uint64_t count) {
                    if (map) map(first, count, *runs);
                    else runs->AddJoined(first, count);
                };
                add(hit.startSector, hit.sectorCount);
                if (hit.secondCount) add(hit.gapSector + hit.gapSectors, hit.secondCount);
                file.SetWideAddress(runs->Empty() ? hit.startSector : (*runs)[0].first);
                file.runs = tree.OwnRunList(std::move(runs));
                files.push_back(file);
            }
            if (!SetChildren(folder, files)) {
                for (FileItem& f : made) FreeSubtree(f);
                return false;
            }
            made.push_back(folder);
        }
        folders.insert(folders.end(), made.begin(), made.end());
    } catch (const std::bad_alloc&) {
        for (FileItem& f : made) FreeSubtree(f);
        return false;
    }
    return true;
}

}  // namespace delvora
