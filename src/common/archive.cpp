#include "common/archive.h"

#include <algorithm>

#include "common/bytes.h"
#include "common/codepage.h"

namespace delvora {

void ArchiveWriter::WriteU16(uint16_t v) {
    m_bytes.push_back(static_cast<uint8_t>(v));
    m_bytes.push_back(static_cast<uint8_t>(v >> 8));
}

void ArchiveWriter::WriteU32(uint32_t v) {
    WriteU16(static_cast<uint16_t>(v));
    WriteU16(static_cast<uint16_t>(v >> 16));
}

void ArchiveWriter::WriteString(std::string_view utf8) { WriteRawString(Utf8ToGbk(utf8)); }

void ArchiveWriter::WriteRawString(std::string_view raw) {
    const size_t n = raw.size();
    if (n < 0xFF) {
        WriteU8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(n));
    }
    m_bytes.insert(m_bytes.end(), raw.begin(), raw.end());
}

bool ArchiveReader::Need(size_t n) {
    if (m_failed || !Has(m_bytes, m_pos, n)) {
        m_failed = true;
        return false;
    }
    return true;
}

bool ArchiveReader::ReadU8(uint8_t& v) {
    if (!Need(1)) return false;
    v = m_bytes[m_pos++];
    return true;
}

bool ArchiveReader::ReadU16(uint16_t& v) {
    if (!Need(2)) return false;
    v = Le16(m_bytes, m_pos);
    m_pos += 2;
    return true;
}

bool ArchiveReader::ReadU32(uint32_t& v) {
    if (!Need(4)) return false;
    v = Le32(m_bytes, m_pos);
    m_pos += 4;
    return true;
}

bool ArchiveReader::ReadBytes(std::span<uint8_t> out) {
    if (!Need(out.size())) return false;
    std::copy_n(m_bytes.begin() + static_cast<ptrdiff_t>(m_pos), out.size(), out.begin());
    m_pos += out.size();
    return true;
}

bool ArchiveReader::ReadLength(uint32_t& length, bool& wide) {
    wide = false;
    uint8_t b;
    if (!ReadU8(b)) return false;
    if (b < 0xFF) { length = b; return true; }
    uint16_t w;
    if (!ReadU16(w)) return false;
    if (w == 0xFFFE) {
        // Wide marker: the real length follows in the ordinary forms.
        wide = true;
        bool nested;
        if (!ReadLength(length, nested) || nested) {
            m_failed = true;
            return false;
        }
        return true;
    }
    if (w < 0xFFFF) { length = w; return true; }
    return ReadU32(length);
}

bool ArchiveReader::ReadString(std::string& utf8) {
    uint32_t length;
    bool wide;
    if (!ReadLength(length, wide)) return false;
    // The length is untrusted: it must fit the bytes that remain.
    const size_t bytes = wide ? size_t{length} * 2 : size_t{length};
    if (!Need(bytes)) return false;
    const auto text = m_bytes.subspan(m_pos, bytes);
    m_pos += bytes;
    utf8 = wide ? Utf16LeBytesToUtf8(text)
                : GbkToUtf8(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    return true;
}

}  // namespace delvora
