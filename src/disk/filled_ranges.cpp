#include "disk/filled_ranges.h"

#include <algorithm>

#include "common/text_format.h"

namespace delvora {
namespace {

thread_local FillRecorder* t_pRecorder = nullptr;
thread_local ByteRangeSet* t_pSink = nullptr;
thread_local uint8_t t_nFillByte = 0;

// Whether lo (which starts no later than hi) overlaps or touches hi.
bool Touches(const ByteRange& lo, const ByteRange& hi) {
    return lo.last == UINT64_MAX || lo.last + 1 >= hi.first;
}

}  // namespace

void ByteRangeSet::Add(uint64_t offset, uint64_t count) {
    if (count == 0) return;
    ByteRange range{offset, count - 1 > UINT64_MAX - offset ? UINT64_MAX : offset + count - 1};
    auto it = std::lower_bound(m_ranges.begin(), m_ranges.end(), range,
                               [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
    if (it != m_ranges.begin() && Touches(*std::prev(it), range)) --it;
    while (it != m_ranges.end() && (it->first <= range.first ? Touches(*it, range) : Touches(range, *it))) {
        m_nBytes -= it->last - it->first + 1;
        range.first = std::min(range.first, it->first);
        range.last = std::max(range.last, it->last);
        it = m_ranges.erase(it);
    }
    if (m_ranges.size() >= kMaxRanges && it != m_ranges.begin()) {
        // Join to the neighbour below: the text grows coarser, never the memory.
        --it;
        m_nBytes -= it->last - it->first + 1;
        range.first = it->first;
        it = m_ranges.erase(it);
    }
    m_nBytes += range.last - range.first + 1;
    m_ranges.insert(it, range);
}

void ByteRangeSet::AddSet(const ByteRangeSet& other, int64_t shift) {
    for (const ByteRange& range : other.m_ranges) {
        const uint64_t first = range.first + uint64_t(shift);
        Add(first, range.last - range.first + 1);
    }
}

bool ByteRangeSet::Overlaps(uint64_t offset, uint64_t count) const {
    if (count == 0) return false;
    const uint64_t last = count - 1 > UINT64_MAX - offset ? UINT64_MAX : offset + count - 1;
    // The first range that ends at or after offset is the only candidate.
    auto it = std::lower_bound(m_ranges.begin(), m_ranges.end(), offset,
                               [](const ByteRange& range, uint64_t at) { return range.last < at; });
    return it != m_ranges.end() && it->first <= last;
}

void ByteRangeSet::Clear() {
    m_ranges.clear();
    m_nBytes = 0;
}

std::string ByteRangeSet::Text() const {
    std::string text;
    for (const ByteRange& range : m_ranges) {
        if (!text.empty()) text += ';';
        text += Format("%llu-%llu", static_cast<unsigned long long>(range.first),
                       static_cast<unsigned long long>(range.last));
    }
    return text;
}

FillRecorder::FillRecorder(ByteRangeSet& sink) : m_pSink(&sink), m_pOuter(t_pRecorder) {
    t_pRecorder = this;
    t_pSink = m_pSink;
}

FillRecorder::~FillRecorder() {
    t_pRecorder = m_pOuter;
    t_pSink = m_pOuter ? m_pOuter->m_pSink : nullptr;
    if (t_pSink) t_pSink->AddSet(*m_pSink);
}

void RecordFilledBytes(uint64_t offset, uint64_t count) {
    if (t_pSink) t_pSink->Add(offset, count);
}

uint8_t FillByte() { return t_nFillByte; }

FillByteScope::FillByteScope(uint8_t fill) : m_nOuter(t_nFillByte) { t_nFillByte = fill; }

FillByteScope::~FillByteScope() { t_nFillByte = m_nOuter; }

}  // namespace delvora
