#pragma once
// The bytes of one candidate file as a structure walker sees them: offsets
// from the file's first byte, read on demand through a window from the
// scanned stream. The stream may end (a short span then), and a gap may be
// set so that the bytes from one offset on are taken some clusters later
// (how a file split in two is tried).
#include <cstdint>
#include <functional>
#include <vector>

#include "common/bytes.h"

namespace delvora {

/// Reads `bytes` (a whole number of units) from the stream's unit `unit`.
using CarveReadFn = std::function<bool(uint64_t unit, uint8_t* dest, size_t bytes)>;

class CarveInput {
public:
    /// start and limit in stream units of unitBytes; the file begins at
    /// start, the stream ends before limit.
    CarveInput(CarveReadFn read, uint32_t unitBytes, uint64_t start, uint64_t limit);

    /// Bytes the file may have at most (to the stream's end, less any gap).
    uint64_t Available() const { return m_available; }
    /// Up to n bytes (n at most kMaxGet) at offset; shorter at the stream's
    /// end or when a read failed (the file is taken to stop there).
    ByteSpan Get(uint64_t offset, size_t n);
    /// Exactly n bytes into out (false when they are not all there).
    bool Copy(uint64_t offset, size_t n, std::vector<uint8_t>& out);
    /// From file offset `at` (a unit multiple) on, bytes come `skip` units
    /// later in the stream. skip 0 removes the gap.
    void SetGap(uint64_t at, uint64_t skip);
    uint64_t GapAt() const { return m_gapSkip ? m_gapAt : UINT64_MAX; }
    uint64_t GapSkipUnits() const { return m_gapSkip; }
    uint32_t UnitBytes() const { return m_unit; }

    static constexpr size_t kMaxGet = 1 << 20;

private:
    bool Load(uint64_t offset);

    CarveReadFn m_read;
    uint32_t m_unit;
    uint64_t m_start;
    uint64_t m_limit;
    uint64_t m_available = 0;
    uint64_t m_gapAt = 0;
    uint64_t m_gapSkip = 0;
    std::vector<uint8_t> m_window;
    uint64_t m_windowAt = 0;
    size_t m_windowBytes = 0;  // valid bytes in the window
};

}  // namespace delvora
