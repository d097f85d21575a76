#pragma once
// Little-endian archive of the case file: fixed-width integers and length-
// prefixed strings, byte-compatible with the files earlier versions wrote.
//
// String forms: length < 0xFF: one length byte; length < 0xFFFE: 0xFF then a
// 16-bit length; otherwise 0xFF, 0xFFFF, then a 32-bit length. The text is
// GBK. The reader also accepts the wide form: 0xFF, 0xFFFE, then a length in
// the forms above counting UTF-16 units, then UTF-16LE text.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace delvora {

class ArchiveWriter {
public:
    void WriteU8(uint8_t v) { m_bytes.push_back(v); }
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteBytes(std::span<const uint8_t> bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }
    /// Writes UTF-8 text as a GBK archive string.
    void WriteString(std::string_view utf8);
    /// Writes bytes already in the file's code page as an archive string.
    void WriteRawString(std::string_view raw);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

/// Reads from a byte span. A read past the end sets the failed state, answers
/// false and leaves the output untouched; later reads fail too.
class ArchiveReader {
public:
    explicit ArchiveReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    bool ReadU8(uint8_t& v);
    bool ReadU16(uint16_t& v);
    bool ReadU32(uint32_t& v);
    bool ReadBytes(std::span<uint8_t> out);
    /// Reads an archive string (GBK or wide form) and gives it as UTF-8.
    bool ReadString(std::string& utf8);

    bool Failed() const { return m_failed; }
    bool AtEnd() const { return m_pos >= m_bytes.size(); }
    size_t Position() const { return m_pos; }
    /// Bytes not read yet.
    size_t Remaining() const { return m_pos < m_bytes.size() ? m_bytes.size() - m_pos : 0; }

private:
    bool Need(size_t n);
    bool ReadLength(uint32_t& length, bool& wide);

    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_failed = false;
};

}  // namespace delvora
