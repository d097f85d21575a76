// ZIP and the formats built on it: local headers walked to the central
// directory, the directory to its end record, which must point back at where
// the directory began. The kind comes from the entries' names ("mimetype",
// "[Content_Types].xml" and the part folders), the title from the document
// properties.
#include <cstring>
#include <string>

#include <zlib.h>

#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50, kEnd64 = 0x06064B50,
                   kLocator64 = 0x07064B50, kDescriptor = 0x08074B50;
constexpr uint64_t kMaxZipBytes = 8ull << 30;
constexpr uint32_t kMaxEntries = 1u << 20;
constexpr size_t kMaxPropertyBytes = 64 * 1024;

struct Kind {
    bool contentTypes = false, word = false, excel = false, powerpoint = false, manifest = false, android = false;
    std::string mimetype;
    uint64_t titleAt = 0;  // the data of docProps/core.xml or meta.xml (0: none)
    uint32_t titleBytes = 0;
    uint16_t titleMethod = 0;
};

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

void NoteName(Kind& k, const std::string& name) {
    if (name == "[Content_Types].xml") k.contentTypes = true;
    else if (StartsWith(name, "word/")) k.word = true;
    else if (StartsWith(name, "xl/")) k.excel = true;
    else if (StartsWith(name, "ppt/")) k.powerpoint = true;
    else if (name == "META-INF/MANIFEST.MF") k.manifest = true;
    else if (name == "AndroidManifest.xml" || name == "classes.dex") k.android = true;
}

/// Where the data descriptor of a streamed entry whose data starts at data
/// lies: the first descriptor signature whose size field matches.
uint64_t FindDescriptor(CarveInput& in, uint64_t data) {
    uint64_t pos = data;
    // Each step moves through one window; the cap bounds the search.
    while (pos < kMaxZipBytes) {
        const ByteSpan b = in.Get(pos, CarveInput::kMaxGet);
        if (b.size() < 16) return 0;
        // The last 15 bytes are looked at again with the next window.
        const size_t scan = b.size() - 15;
        for (size_t i = 0; i < scan; ++i)
            if (b[i] == 'P' && Le32(b, i) == kDescriptor && Le32(b, i + 8) == pos + i - data) return pos + i;
        pos += scan;
    }
    return 0;
}

std::string XmlText(const std::string& xml, const char* open, const char* close) {
    const size_t a = xml.find(open);
    if (a == std::string::npos) return {};
    const size_t from = xml.find('>', a);
    const size_t b = from == std::string::npos ? from : xml.find(close, from);
    if (b == std::string::npos) return {};
    std::string text = xml.substr(from + 1, b - from - 1), out;
    for (size_t i = 0; i < text.size(); ++i) {
        static const std::pair<const char*, char> kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        bool done = false;
        for (const auto& [entity, c] : kEntities)
            if (text.compare(i, std::strlen(entity), entity) == 0) {
                out += c;
                i += std::strlen(entity) - 1;
                done = true;
                break;
            }
        if (!done) out += text[i];
    }
    return out;
}

std::string PropertiesTitle(CarveInput& in, const Kind& k) {
    if (!k.titleAt || k.titleBytes > kMaxPropertyBytes) return {};
    std::vector<uint8_t> packed;
    if (!in.Copy(k.titleAt, k.titleBytes, packed)) return {};
    std::string xml;
    if (k.titleMethod == 0) {
        xml.assign(packed.begin(), packed.end());
    } else if (k.titleMethod == 8) {
        xml.resize(kMaxPropertyBytes);
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return {};
        z.next_in = packed.data();
        z.avail_in = static_cast<uInt>(packed.size());
        z.next_out = reinterpret_cast<Bytef*>(xml.data());
        z.avail_out = static_cast<uInt>(xml.size());
        inflate(&z, Z_FINISH);
        xml.resize(z.total_out);
        inflateEnd(&z);
    }
    return XmlText(xml, "<dc:title", "</dc:title>");
}

/// Checks an entry's data against its CRC (inflating deflated data). The
/// offset from data where the data stopped making sense, or UINT64_MAX when
/// it matches (or cannot be checked: encrypted, another method).
uint64_t VerifyEntry(CarveInput& in, uint64_t data, uint64_t packed, uint16_t method, uint16_t flags, uint32_t crc) {
    if ((flags & 1) || (method != 0 && method != 8)) return UINT64_MAX;
    uLong sum = crc32(0, nullptr, 0);
    z_stream z{};
    if (method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK) return UINT64_MAX;
    std::vector<uint8_t> out(method == 8 ? 256 * 1024 : 0);
    uint64_t done = 0, bad = UINT64_MAX;
    bool ended = method == 0;
    // Each step takes at least one byte of the entry or stops.
    while (done < packed && bad == UINT64_MAX) {
        const ByteSpan part = in.Get(data + done, static_cast<size_t>(std::min<uint64_t>(packed - done, CarveInput::kMaxGet)));
        if (part.empty()) {
            bad = done;
            break;
        }
        if (method == 0) {
            sum = crc32(sum, part.data(), static_cast<uInt>(part.size()));
        } else {
            z.next_in = const_cast<Bytef*>(part.data());
            z.avail_in = static_cast<uInt>(part.size());
            // Each round fills the output buffer or takes the input.
            while (z.avail_in > 0 && !ended) {
                z.next_out = out.data();
                z.avail_out = static_cast<uInt>(out.size());
                const int rc = inflate(&z, Z_NO_FLUSH);
                sum = crc32(sum, out.data(), static_cast<uInt>(out.size() - z.avail_out));
                if (rc == Z_STREAM_END) ended = true;
                else if (rc != Z_OK && rc != Z_BUF_ERROR) break;
                if (rc == Z_BUF_ERROR && z.avail_out != 0) break;
            }
            if (!ended && z.avail_in > 0) bad = done + (part.size() - z.avail_in);
        }
        done += part.size();
    }
    if (method == 8) inflateEnd(&z);
    if (bad != UINT64_MAX) return bad;
    return ended && static_cast<uint32_t>(sum) == crc ? UINT64_MAX : packed;
}

CarveWalk Finish(CarveStatus status, uint64_t length, const Kind& k, CarveInput& in) {
    using namespace carve_type;
    CarveWalk w;
    if (StartsWith(k.mimetype, "application/vnd.oasis.opendocument.")) {
        const std::string sub = k.mimetype.substr(35);
        if (StartsWith(sub, "spreadsheet")) w = Carved(status, length, kOdt, "ODS", "ods");
        else if (StartsWith(sub, "presentation")) w = Carved(status, length, kOdt, "ODP", "odp");
        else w = Carved(status, length, kOdt, "ODT", "odt");
    } else if (k.contentTypes && k.word) {
        w = Carved(status, length, kDocx, "DOCX", "docx");
    } else if (k.contentTypes && k.excel) {
        w = Carved(status, length, kXlsx, "XLSX", "xlsx");
    } else if (k.contentTypes && k.powerpoint) {
        w = Carved(status, length, kPptx, "PPTX", "pptx");
    } else if (k.android) {
        w = Carved(status, length, kZip, "APK", "apk");
    } else if (k.manifest) {
        w = Carved(status, length, kZip, "JAR", "jar");
    } else {
        w = Carved(status, length, kZip, "ZIP", "zip");
    }
    if (status != CarveStatus::Rejected) w.title = PropertiesTitle(in, k);
    return w;
}

}  // namespace

bool ZipHeader(ByteSpan head) {
    if (!Has(head, 0, 30) || Le32(head, 0) != kLocal || Le16(head, 4) > 90) return false;
    const uint16_t method = Le16(head, 8), nameBytes = Le16(head, 26);
    return (method == 0 || method == 8 || method == 9 || method == 12 || method == 14 || method == 93 ||
            method == 95 || method == 99) &&
           nameBytes > 0 && nameBytes <= 1024;
}

CarveWalk WalkZip(CarveInput& in) {
    Kind kind;
    uint64_t pos = 0;
    uint32_t locals = 0;
    // Truncated at `at` (where the last whole entry ends); failed at `bad`.
    auto stop = [&](uint64_t at, uint64_t bad = UINT64_MAX) {
        // Data that fails its check may continue after a gap: worth a retry
        // even in the first entry (a walk that ends with nothing is rejected).
        const bool partWay = locals || bad != UINT64_MAX;
        CarveWalk w = Finish(partWay ? CarveStatus::Truncated : CarveStatus::Rejected, at, kind, in);
        w.failedAt = bad == UINT64_MAX ? at : bad;
        return w;
    };
    // Local headers: each step moves past one entry (at least 30 bytes).
    for (;;) {
        const ByteSpan h = in.Get(pos, 30);
        if (h.size() < 4 || pos > kMaxZipBytes || locals > kMaxEntries) return stop(pos);
        if (Le32(h, 0) != kLocal) break;
        if (h.size() < 30) return stop(pos);
        const uint16_t flags = Le16(h, 6), method = Le16(h, 8), nameBytes = Le16(h, 26), extraBytes = Le16(h, 28);
        uint64_t packed = Le32(h, 18);
        const ByteSpan nameSpan = in.Get(pos + 30, nameBytes);
        if (nameSpan.size() != nameBytes || nameBytes == 0) return stop(pos);
        const std::string name(nameSpan.begin(), nameSpan.end());
        if (packed == 0xFFFFFFFF) {
            // ZIP64: the sizes sit in the extra field.
            const ByteSpan extra = in.Get(pos + 30 + nameBytes, extraBytes);
            for (size_t e = 0; e + 4 <= extra.size();) {
                const uint16_t id = Le16(extra, e), len = Le16(extra, e + 2);
                if (id == 1 && len >= 16) packed = Le64(extra, e + 12);
                e += 4 + size_t{len};
            }
        }
        const uint64_t data = pos + 30 + nameBytes + extraBytes;
        uint64_t next;
        if ((flags & 8) && packed == 0) {
            const uint64_t d = FindDescriptor(in, data);
            if (!d) return stop(pos);
            packed = d - data;
            next = d + 16;
        } else {
            next = data + packed;
            if (flags & 8) {
                const ByteSpan d = in.Get(next, 4);
                next += d.size() == 4 && Le32(d, 0) == kDescriptor ? 16 : 12;
            }
        }
        if (next > in.Available()) return stop(pos);
        const uint32_t crc = (flags & 8) ? Le32(in.Get(data + packed, 16), Le32(in.Get(data + packed, 4), 0) == kDescriptor ? 4 : 0)
                                         : Le32(h, 14);
        if (const uint64_t bad = VerifyEntry(in, data, packed, method, flags, crc); bad != UINT64_MAX)
            return stop(pos, data + bad);
        NoteName(kind, name);
        if (locals == 0 && name == "mimetype" && method == 0 && packed < 128) {
            const ByteSpan m = in.Get(data, static_cast<size_t>(packed));
            kind.mimetype.assign(m.begin(), m.end());
        }
        if ((name == "docProps/core.xml" || name == "meta.xml") && packed <= kMaxPropertyBytes) {
            kind.titleAt = data;
            kind.titleBytes = static_cast<uint32_t>(packed);
            kind.titleMethod = method;
        }
        ++locals;
        pos = next;
    }
    if (locals == 0) return stop(pos);
    // The central directory: one step per entry.
    const uint64_t directory = pos;
    uint32_t centrals = 0;
    for (;;) {
        const ByteSpan c = in.Get(pos, 46);
        if (c.size() < 4 || centrals > kMaxEntries) return stop(directory);
        if (Le32(c, 0) != kCentral) break;
        if (c.size() < 46) return stop(directory);
        const uint32_t localAt = Le32(c, 42);
        if (localAt != 0xFFFFFFFF && localAt >= directory) return stop(directory);
        pos += 46 + uint64_t{Le16(c, 28)} + Le16(c, 30) + Le16(c, 32);
        ++centrals;
    }
    uint64_t end64 = 0;
    if (const ByteSpan z = in.Get(pos, 12); z.size() == 12 && Le32(z, 0) == kEnd64) {
        end64 = pos;
        pos += 12 + Le64(z, 4);
        if (const ByteSpan l = in.Get(pos, 20); l.size() == 20 && Le32(l, 0) == kLocator64) pos += 20;
        else return stop(directory);
    }
    const ByteSpan e = in.Get(pos, 22);
    if (e.size() < 22 || Le32(e, 0) != kEnd) return stop(directory);
    const uint32_t at = Le32(e, 16), bytes = Le32(e, 12);
    const uint16_t count = Le16(e, 10);
    // The end record must describe the directory just walked.
    const bool consistent = (at == 0xFFFFFFFF || (at == directory && bytes == (end64 ? end64 : pos) - directory)) &&
                            (count == 0xFFFF || count == (centrals & 0xFFFF)) && centrals == locals;
    if (!consistent) return stop(directory);
    const uint64_t length = pos + 22 + Le16(e, 20);
    if (length > in.Available()) return stop(directory);
    return Finish(CarveStatus::Complete, length, kind, in);
}

}  // namespace delvora
