#pragma once
// Bounds-checked little-endian reads over on-disk bytes. Every offset that
// comes from a medium is untrusted: a read that would leave the span yields 0
// instead of touching memory outside it. Use Has() where 0 is a valid value
// and the caller must tell "absent" from "zero".
#include <cstddef>
#include <cstdint>
#include <span>

namespace delvora {

using ByteSpan = std::span<const uint8_t>;

/// True when [offset, offset + length) lies inside bytes (overflow-safe).
inline bool Has(ByteSpan bytes, size_t offset, size_t length) {
    return offset <= bytes.size() && length <= bytes.size() - offset;
}

inline uint8_t Le8(ByteSpan b, size_t off) { return Has(b, off, 1) ? b[off] : 0; }

inline uint16_t Le16(ByteSpan b, size_t off) {
    if (!Has(b, off, 2)) return 0;
    return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}

inline uint32_t Le32(ByteSpan b, size_t off) {
    if (!Has(b, off, 4)) return 0;
    return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
           (static_cast<uint32_t>(b[off + 2]) << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

inline uint64_t Le64(ByteSpan b, size_t off) {
    if (!Has(b, off, 8)) return 0;
    return static_cast<uint64_t>(Le32(b, off)) | (static_cast<uint64_t>(Le32(b, off + 4)) << 32);
}

/// Sub-span clipped to the available bytes (empty when offset is past the end).
inline ByteSpan Slice(ByteSpan b, size_t off, size_t len) {
    if (off >= b.size()) return {};
    return b.subspan(off, len < b.size() - off ? len : b.size() - off);
}

inline void PutLe16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

/// Big-endian reads, for the few formats that store their fields that way
/// (QCOW); 0 outside the span, as the little-endian ones.
inline uint32_t Be32(ByteSpan b, size_t off) {
    if (!Has(b, off, 4)) return 0;
    return (static_cast<uint32_t>(b[off]) << 24) | (static_cast<uint32_t>(b[off + 1]) << 16) |
           (static_cast<uint32_t>(b[off + 2]) << 8) | static_cast<uint32_t>(b[off + 3]);
}

inline uint64_t Be64(ByteSpan b, size_t off) {
    if (!Has(b, off, 8)) return 0;
    return (static_cast<uint64_t>(Be32(b, off)) << 32) | Be32(b, off + 4);
}

}  // namespace delvora
