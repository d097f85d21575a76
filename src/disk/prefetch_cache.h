#pragma once
// Ranges a reader said it will want soon, fetched over a connection that
// keeps many requests in flight (NBD). A tree load reads one small folder
// at a time and would wait one round trip for each; told which folders come
// next, the connection asks for all of them at once and the reads that
// follow are answered from here. Only a hint: a range that failed, was
// dropped for room or never asked for is read directly, as without it.
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>

#include "disk/read_ahead.h"

namespace delvora {

class PrefetchCache {
public:
    using Transport = ReadAhead::Transport;
    using TimePoint = ReadAhead::TimePoint;
    using Result = ReadAhead::Result;

    /// Bytes held or on their way, and requests: past either, hints are dropped.
    static constexpr uint64_t kMaxBytes = 8u << 20;
    static constexpr size_t kMaxRanges = 256;
    /// A larger hint is not fetched: big reads go through the read-ahead.
    static constexpr uint32_t kMaxRangeBytes = 1u << 20;

    /// Starts fetching [offset, offset + length) unless it is outside the
    /// device, already held, too large, or there is no room.
    void Hint(Transport& transport, uint64_t offset, uint32_t length);
    /// Serves [offset, offset + count) from one held range (waiting for it
    /// until the deadline). A range read to its end is forgotten. NotHeld
    /// when no range holds it all or the fetch failed (then forgotten too).
    Result Read(Transport& transport, uint64_t offset, uint32_t count, uint8_t* out, TimePoint deadline);
    /// Waits for every range on its way; false when the connection was lost.
    bool Drain(Transport& transport, TimePoint deadline);
    /// Forgets everything (only while nothing is in flight) and takes the
    /// size of the device now read.
    void Reset(uint64_t deviceBytes);
    size_t Ranges() const { return m_ranges.size(); }
    uint64_t HeldBytes() const { return m_nBytes; }

private:
    using Range = ReadAhead::Piece;
    bool Retire(Transport& transport, Range& range, TimePoint deadline);
    /// Frees the oldest ranges that have landed until length more bytes fit.
    bool MakeRoom(Transport& transport, uint32_t length);
    void Drop(size_t i);

    std::deque<Range> m_ranges;  // in the order asked for
    uint64_t m_nBytes = 0;
    uint64_t m_nDeviceBytes = 0;
};

}  // namespace delvora
