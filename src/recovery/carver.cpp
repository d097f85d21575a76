#include "recovery/carver.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "common/codepage.h"
#include "common/text_format.h"
#include "fs/file_tree.h"

namespace delvora {
namespace {

constexpr uint8_t kOleSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
// The header of a CompObj stream: where the fallback rule ends a document.
constexpr uint8_t kCompObjHeader[12] = {0x01, 0x00, 0xFE, 0xFF, 0x03, 0x0A, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr size_t kStartWindow = 256;
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
    return SanitizeUtf8(std::string_view(text).substr(first, last - first)) + ".htm";
}

/// The name a Word document's fourth sector gives: its UTF-16 text up to the
/// first NUL, cut at a carriage return within the first 39 bytes or at 40
/// bytes.
std::string DocName(ByteSpan sector) {
    std::vector<uint16_t> units;
    // At most 128 units: the first 256 bytes.
    for (size_t i = 0; i + 1 < std::min<size_t>(sector.size(), 256); i += 2) {
        const uint16_t u = Le16(sector, i);
        if (u == 0) break;
        units.push_back(u);
    }
    const std::string text = Utf16ToUtf8(units);
    const size_t cr = text.find('\r');
    if (cr != std::string::npos && cr >= 1 && cr <= 39) return text.substr(0, cr) + ".doc";
    if (text.size() > 40) return CutUtf8(text, 40) + ".doc";
    return text + ".doc";
}

}  // namespace

Carver::Carver(bool html, bool doc, uint32_t sectorBytes)
    : m_bHtml(html), m_bDoc(doc), m_unit(std::max<uint32_t>(sectorBytes, 512)) {}

void Carver::Carve(ByteSpan buffer, uint64_t sector) {
    const size_t sectors = buffer.size() / m_unit;
    const ByteSpan whole = buffer.first(sectors * m_unit);
    if (sectors == 0) return;
    m_noCloseFrom = SIZE_MAX;
    if (m_bHtml && m_htmlOpen && sector == m_tailNext && m_tailBytes > 0) {
        // A closing tag that began in the previous buffer's last bytes.
        uint8_t joined[12];
        std::memcpy(joined, m_tail + 6 - m_tailBytes, m_tailBytes);
        const size_t more = std::min<size_t>(6, whole.size());
        std::memcpy(joined + m_tailBytes, whole.data(), more);
        const size_t found = FindClose(ByteSpan(joined, m_tailBytes + more), 0);
        if (found < m_tailBytes) EndHtml(sector, static_cast<int64_t>(found) - static_cast<int64_t>(m_tailBytes));
    }
    // One step per sector of a buffer of known length.
    for (size_t k = 0; k < sectors; ++k) {
        if (m_bHtml) HtmlStep(whole, k * m_unit, sector + k);
        if (m_bDoc) DocStep(whole, k * m_unit, sector + k);
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
    EndHtml(s, static_cast<int64_t>(i));
}

void Carver::EndHtml(uint64_t s, int64_t i) {
    const uint64_t size = (s - m_htmlStart) * m_unit + static_cast<uint64_t>(i + static_cast<int64_t>(kCloseTagBytes));
    CarvedFile file;
    file.startSector = m_htmlStart;
    file.size = size;
    // Every sector the closing tag touches belongs to the page.
    file.sectorCount = (size + m_unit - 1) / m_unit;
    file.name = m_htmlName.empty() ? Format("HTML %llu.htm", static_cast<unsigned long long>(m_htmlStart))
                                   : std::move(m_htmlName);
    m_html.push_back(std::move(file));
    m_htmlName.clear();
    m_htmlOpen = false;
    m_htmlStart = 0;
}

void Carver::StartDoc(ByteSpan header, uint64_t s) {
    m_docStart = s;
    m_docName.clear();
    m_compObjSeen = 0;
    m_docMode = m_ole.Begin(header) ? DocMode::Header : DocMode::CompObj;
}

void Carver::DocStep(ByteSpan buffer, size_t at, uint64_t s) {
    const ByteSpan sec = buffer.subspan(at, m_unit);
    // A new signature restarts a document in progress.
    if (std::equal(kOleSignature, kOleSignature + 8, sec.begin())) StartDoc(sec, s);
    if (m_docMode == DocMode::Idle) return;
    const uint64_t offset = (s - m_docStart) * m_unit;
    if (m_docMode == DocMode::Header) {
        m_ole.Feed(sec, offset);
        if (offset + m_unit >= m_ole.FatEnd()) {
            if (const uint64_t length = m_ole.Length()) {
                m_docMode = DocMode::Known;
                m_docSize = length;
                m_docEnd = m_docStart + (length + m_unit - 1) / m_unit - 1;
            } else {
                m_docMode = DocMode::CompObj;
                if (m_compObjSeen) {
                    EndDoc(m_compObjSeen, (m_compObjSeen - m_docStart + 1) * m_unit);
                    return;
                }
            }
        }
    }
    if (s == m_docStart + 3) m_docName = DocName(sec);
    if (m_docMode == DocMode::Known) {
        if (s >= m_docEnd) EndDoc(m_docEnd, m_docSize);
        return;
    }
    if (s > m_docStart + 10 && std::equal(kCompObjHeader, kCompObjHeader + 12, sec.begin())) {
        if (m_docMode == DocMode::CompObj) EndDoc(s, (s - m_docStart + 1) * m_unit);
        else if (!m_compObjSeen) m_compObjSeen = s;
    }
}

void Carver::EndDoc(uint64_t endSector, uint64_t size) {
    CarvedFile file;
    file.startSector = m_docStart;
    file.sectorCount = endSector - m_docStart + 1;
    file.size = size;
    file.name = m_docName.empty() ? Format("DOC %llu.doc", static_cast<unsigned long long>(m_docStart))
                                  : std::move(m_docName);
    m_doc.push_back(std::move(file));
    m_docName.clear();
    m_docMode = DocMode::Idle;
    m_docStart = 0;
}

}  // namespace delvora

namespace delvora {

bool MakeCarvedFolders(FileTree& tree, const Carver& carver, std::vector<FileItem>& folders) {
    std::vector<FileItem> made;
    try {
        for (const auto* hits : {&carver.HtmlHits(), &carver.DocHits()}) {
            if (hits->empty()) continue;
            FileItem folder = MakeItem(hits == &carver.HtmlHits() ? "HTML" : "DOC");
            folder.flags = item_flags::kDeleted | item_flags::kFound | item_flags::kDirectory;
            std::vector<FileItem> files;
            files.reserve(hits->size());
            for (const CarvedFile& hit : *hits) {
                FileItem file = MakeItem(hit.name);
                file.flags = item_flags::kDeleted | item_flags::kFound;
                file.SetWideAddress(hit.startSector);
                file.size = hit.size;
                auto runs = std::make_unique<ClusterRunList>();
                runs->Add(hit.startSector, hit.sectorCount);
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
