#include "recovery/carve_input.h"

#include <algorithm>
#include <cstring>

namespace delvora {
namespace {

constexpr size_t kWindowBytes = 2 * CarveInput::kMaxGet;

}  // namespace

CarveInput::CarveInput(CarveReadFn read, uint32_t unitBytes, uint64_t start, uint64_t limit)
    : m_read(std::move(read)), m_unit(std::max<uint32_t>(unitBytes, 1)), m_start(start), m_limit(limit) {
    SetGap(0, 0);
}

void CarveInput::SetGap(uint64_t at, uint64_t skip) {
    m_gapAt = at / m_unit * m_unit;
    m_gapSkip = skip;
    const uint64_t units = m_limit > m_start ? m_limit - m_start : 0;
    const uint64_t left = units > skip ? units - skip : 0;
    m_available = skip && m_gapAt / m_unit > left ? 0 : left * m_unit;
    m_windowBytes = 0;
}

bool CarveInput::Load(uint64_t offset) {
    m_windowAt = offset / m_unit * m_unit;
    m_windowBytes = 0;
    if (m_window.size() != kWindowBytes) m_window.assign(kWindowBytes, 0);
    // At most two segments: before the gap and after it.
    while (m_windowBytes < kWindowBytes) {
        const uint64_t at = m_windowAt + m_windowBytes;
        if (at >= m_available) break;
        uint64_t want = std::min<uint64_t>(kWindowBytes - m_windowBytes, m_available - at);
        uint64_t unit = m_start + at / m_unit;
        if (m_gapSkip) {
            if (at < m_gapAt) want = std::min(want, m_gapAt - at);
            else unit += m_gapSkip;
        }
        // The last unit may be partial only at the stream's end, which is whole units.
        const size_t bytes = static_cast<size_t>((want + m_unit - 1) / m_unit * m_unit);
        if (m_windowBytes + bytes > m_window.size()) break;
        if (!m_read || !m_read(unit, m_window.data() + m_windowBytes, bytes)) break;
        m_windowBytes += static_cast<size_t>(want);
    }
    return m_windowBytes > offset - m_windowAt;
}

ByteSpan CarveInput::Get(uint64_t offset, size_t n) {
    n = std::min(n, kMaxGet);
    if (offset >= m_available) return {};
    const bool inside = m_windowBytes > 0 && offset >= m_windowAt && offset + n <= m_windowAt + m_windowBytes;
    if (!inside) {
        const bool windowShort = m_windowBytes > 0 && offset >= m_windowAt && offset < m_windowAt + m_windowBytes &&
                                 m_windowAt + m_windowBytes >= m_available;
        if (!windowShort && !Load(offset)) return {};
    }
    if (offset < m_windowAt || offset >= m_windowAt + m_windowBytes) return {};
    const size_t from = static_cast<size_t>(offset - m_windowAt);
    return ByteSpan(m_window.data() + from, std::min(n, m_windowBytes - from));
}

bool CarveInput::Copy(uint64_t offset, size_t n, std::vector<uint8_t>& out) {
    out.clear();
    if (n > m_available || offset > m_available - n) return false;
    out.reserve(n);
    // Each step takes at least one byte or gives up.
    while (out.size() < n) {
        const ByteSpan part = Get(offset + out.size(), std::min(n - out.size(), kMaxGet));
        if (part.empty()) return false;
        out.insert(out.end(), part.begin(), part.end());
    }
    return true;
}

}  // namespace delvora
