#include "disk/prefetch_cache.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace delvora {

bool PrefetchCache::Retire(Transport& transport, Range& range, TimePoint deadline) {
    if (range.id <= 0) return true;
    const ReadAhead::PieceState state = transport.Wait(range.id, deadline);
    if (state == ReadAhead::PieceState::Lost) return false;
    range.id = 0;
    range.failed = state == ReadAhead::PieceState::Failed;
    return true;
}

void PrefetchCache::Drop(size_t i) {
    m_nBytes -= m_ranges[i].length;
    m_ranges.erase(m_ranges.begin() + static_cast<std::ptrdiff_t>(i));
}

bool PrefetchCache::MakeRoom(Transport& transport, uint32_t length) {
    // Only ranges no longer written into may go: a hint never waits. Bounded
    // by the ranges held.
    while (!m_ranges.empty() && (m_ranges.size() >= kMaxRanges || m_nBytes + length > kMaxBytes)) {
        Range& oldest = m_ranges.front();
        ReadAhead::PieceState state{};
        if (oldest.id > 0) {
            if (!transport.Landed(oldest.id, state)) return false;
            oldest.id = 0;
        }
        Drop(0);
    }
    return m_ranges.size() < kMaxRanges && m_nBytes + length <= kMaxBytes;
}

void PrefetchCache::Hint(Transport& transport, uint64_t offset, uint32_t length) {
    if (length == 0 || length > kMaxRangeBytes || offset > m_nDeviceBytes || length > m_nDeviceBytes - offset) return;
    const uint64_t end = offset + length;
    for (const Range& range : m_ranges)
        if (range.offset <= offset && end <= range.End() && !range.failed) return;
    if (!MakeRoom(transport, length)) return;
    Range range;
    range.bytes.reset(new (std::nothrow) uint8_t[length]);
    if (!range.bytes) return;
    range.offset = offset;
    range.length = length;
    range.id = transport.Start(range.bytes.get(), length, offset);
    if (range.id <= 0) return;
    m_nBytes += length;
    m_ranges.push_back(std::move(range));
}

ReadAhead::Result PrefetchCache::Read(Transport& transport, uint64_t offset, uint32_t count, uint8_t* out,
                                      TimePoint deadline) {
    if (count == 0 || offset > m_nDeviceBytes || count > m_nDeviceBytes - offset) return Result::NotHeld;
    const uint64_t end = offset + count;
    for (size_t i = 0; i < m_ranges.size(); ++i) {
        Range& range = m_ranges[i];
        if (range.offset > offset || end > range.End()) continue;
        if (!Retire(transport, range, deadline)) return Result::Lost;
        if (range.failed) {
            // The direct read tells which sectors fail, as without the hint.
            Drop(i);
            return Result::NotHeld;
        }
        std::memcpy(out, range.bytes.get() + (offset - range.offset), count);
        if (end == range.End()) Drop(i);
        return Result::Served;
    }
    return Result::NotHeld;
}

bool PrefetchCache::Drain(Transport& transport, TimePoint deadline) {
    for (Range& range : m_ranges)
        if (!Retire(transport, range, deadline)) return false;
    return true;
}

void PrefetchCache::Reset(uint64_t deviceBytes) {
    m_ranges.clear();
    m_nBytes = 0;
    m_nDeviceBytes = deviceBytes;
}

}  // namespace delvora
