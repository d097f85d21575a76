#pragma once
// Which bytes a read had to fill with zeros because the medium would not
// give them. DiskDevice reports every filled piece to the recorder active
// on the calling thread, so a caller several layers up (an export, a
// search) learns exactly what it received that was never on the medium,
// whatever error reporting is switched to.
#include <cstdint>
#include <string>
#include <vector>

namespace delvora {

/// Both ends inclusive.
struct ByteRange {
    uint64_t first = 0;
    uint64_t last = 0;
    bool operator==(const ByteRange&) const = default;
};

/// Byte ranges kept sorted and joined. Past a bound on the number of ranges
/// a new one is joined to its neighbour below (the gap between them then
/// counts too), so a medium failing every other sector cannot exhaust memory.
class ByteRangeSet {
public:
    static constexpr size_t kMaxRanges = 65536;

    void Add(uint64_t offset, uint64_t count);
    void AddSet(const ByteRangeSet& other, int64_t shift = 0);
    void Clear();
    bool Empty() const { return m_ranges.empty(); }
    uint64_t TotalBytes() const { return m_nBytes; }
    const std::vector<ByteRange>& Ranges() const { return m_ranges; }
    /// Whether any of count bytes from offset is in the set.
    bool Overlaps(uint64_t offset, uint64_t count) const;
    /// "4096-8191;65536-66047"; empty when there are none.
    std::string Text() const;

private:
    std::vector<ByteRange> m_ranges;
    uint64_t m_nBytes = 0;
};

/// While alive, fills on this thread are added to sink (byte offsets of the
/// source). Recorders nest: an inner one takes the fills, and hands them on
/// to the outer one when it ends.
class FillRecorder {
public:
    explicit FillRecorder(ByteRangeSet& sink);
    ~FillRecorder();
    FillRecorder(const FillRecorder&) = delete;
    FillRecorder& operator=(const FillRecorder&) = delete;

private:
    ByteRangeSet* m_pSink;
    FillRecorder* m_pOuter;
};

/// Called by the device layer for every piece it filled.
void RecordFilledBytes(uint64_t offset, uint64_t count);

/// The byte the device layer fills with on this thread: 0 unless a
/// FillByteScope says otherwise. A second read of the same bytes with
/// another fill tells exactly which of them came from a fill, whatever a
/// volume did with them on the way.
uint8_t FillByte();

class FillByteScope {
public:
    explicit FillByteScope(uint8_t fill);
    ~FillByteScope();
    FillByteScope(const FillByteScope&) = delete;
    FillByteScope& operator=(const FillByteScope&) = delete;

private:
    uint8_t m_nOuter;
};

}  // namespace delvora
