#include "search/pattern_matcher.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DELVORA_X86 1
#endif

namespace delvora {
namespace {

// How common a byte is in disk data (higher: more common). Zeros and 0xFF
// fill free space, spaces and lower-case letters fill text; the filter
// works best on the bytes that occur least.
int Commonness(uint8_t b) {
    if (b == 0x00) return 255;
    if (b == 0xFF) return 200;
    if (b == ' ') return 190;
    if (b == 'e' || b == 't' || b == 'a' || b == 'o' || b == 'i' || b == 'n' || b == 's' || b == 'r') return 170;
    if (b >= 'a' && b <= 'z') return 150;
    if (b == '\r' || b == '\n' || b == '.' || b == ',') return 140;
    if (b >= '0' && b <= '9') return 120;
    if (b >= 'A' && b <= 'Z') return 100;
    if (b < 0x20) return 90;
    if (b < 0x80) return 80;
    return 60;
}

inline void Confirm(const uint8_t* data, size_t start, const uint8_t* pattern, size_t length, uint32_t index,
                    std::vector<PatternStart>& out) {
    if (std::memcmp(data + start, pattern, length) == 0) out.push_back({start, index});
}

#ifdef DELVORA_X86
__attribute__((target("avx2"))) size_t ScanAvx2(const uint8_t* data, size_t starts, const uint8_t* pattern,
                                                 size_t length, size_t r1, size_t r2, uint32_t index,
                                                 std::vector<PatternStart>& out) {
    const __m256i b1 = _mm256_set1_epi8(static_cast<char>(pattern[r1]));
    const __m256i b2 = _mm256_set1_epi8(static_cast<char>(pattern[r2]));
    size_t p = 0;
    // Each round tests 32 starts; loads stay below starts - 1 + length.
    for (; p + 32 <= starts; p += 32) {
        const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + p + r1));
        const __m256i v2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + p + r2));
        uint32_t mask = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(v1, b1), _mm256_cmpeq_epi8(v2, b2))));
        // Each round clears the lowest set bit.
        while (mask) {
            Confirm(data, p + static_cast<size_t>(__builtin_ctz(mask)), pattern, length, index, out);
            mask &= mask - 1;
        }
    }
    return p;
}

size_t ScanSse2(const uint8_t* data, size_t starts, const uint8_t* pattern, size_t length, size_t r1, size_t r2,
                uint32_t index, std::vector<PatternStart>& out) {
    const __m128i b1 = _mm_set1_epi8(static_cast<char>(pattern[r1]));
    const __m128i b2 = _mm_set1_epi8(static_cast<char>(pattern[r2]));
    size_t p = 0;
    for (; p + 16 <= starts; p += 16) {
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + r1));
        const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + r2));
        uint32_t mask =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(v1, b1), _mm_cmpeq_epi8(v2, b2))));
        while (mask) {
            Confirm(data, p + static_cast<size_t>(__builtin_ctz(mask)), pattern, length, index, out);
            mask &= mask - 1;
        }
    }
    return p;
}

bool HaveAvx2() {
    static const bool s_have = __builtin_cpu_supports("avx2");
    return s_have;
}
#endif

}  // namespace

bool PatternMatcher::SetPatterns(std::vector<std::vector<uint8_t>> patterns) {
    m_patterns.clear();
    m_maxLength = 0;
    if (patterns.empty()) return false;
    for (auto& bytes : patterns) {
        if (bytes.empty()) {
            m_patterns.clear();
            m_maxLength = 0;
            return false;
        }
        Entry entry;
        // The rarest byte and the rarest at another place filter best.
        std::vector<size_t> order(bytes.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return Commonness(bytes[a]) < Commonness(bytes[b]); });
        entry.rare1 = order[0];
        entry.rare2 = order.size() > 1 ? order[1] : order[0];
        // A second place holding another byte filters better than a repeat.
        for (size_t i = 1; i < order.size(); ++i)
            if (bytes[order[i]] != bytes[entry.rare1]) {
                entry.rare2 = order[i];
                break;
            }
        m_maxLength = std::max(m_maxLength, bytes.size());
        entry.bytes = std::move(bytes);
        m_patterns.push_back(std::move(entry));
    }
    return true;
}

void PatternMatcher::FindOne(const Entry& entry, uint32_t index, ByteSpan data, size_t starts,
                             std::vector<PatternStart>& out) const {
    const uint8_t* d = data.data();
    const uint8_t* pattern = entry.bytes.data();
    const size_t length = entry.bytes.size();
    size_t p = 0;
    if (length == 1) {
        // memchr is the vector search for one byte; each round moves past a hit.
        while (p < starts) {
            const void* found = std::memchr(d + p, pattern[0], starts - p);
            if (!found) return;
            const size_t at = static_cast<size_t>(static_cast<const uint8_t*>(found) - d);
            out.push_back({at, index});
            p = at + 1;
        }
        return;
    }
#ifdef DELVORA_X86
    p = HaveAvx2() ? ScanAvx2(d, starts, pattern, length, entry.rare1, entry.rare2, index, out)
                   : ScanSse2(d, starts, pattern, length, entry.rare1, entry.rare2, index, out);
#endif
    for (; p < starts; ++p)
        if (d[p + entry.rare1] == pattern[entry.rare1]) Confirm(d, p, pattern, length, index, out);
}

void PatternMatcher::FindAll(ByteSpan data, size_t startLimit, std::vector<PatternStart>& out) const {
    const size_t first = out.size();
    for (size_t i = 0; i < m_patterns.size(); ++i) {
        const Entry& entry = m_patterns[i];
        if (entry.bytes.size() > data.size()) continue;
        const size_t starts = std::min(startLimit, data.size() - entry.bytes.size() + 1);
        FindOne(entry, static_cast<uint32_t>(i), data, starts, out);
    }
    if (m_patterns.size() > 1)
        std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                  [](const PatternStart& a, const PatternStart& b) {
                      return a.position != b.position ? a.position < b.position : a.pattern < b.pattern;
                  });
}

}  // namespace delvora
