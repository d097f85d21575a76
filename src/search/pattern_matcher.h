#pragma once
// Exact multi-pattern matching over raw bytes: every start position of
// every pattern, overlapping ones included, with no alignment. A vector
// filter on two rare bytes of each pattern finds candidates, a byte
// comparison confirms them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"

namespace delvora {

struct PatternStart {
    size_t position = 0;  // offset in the scanned bytes
    uint32_t pattern = 0;  // index of the pattern that starts there
    uint32_t length = 0;   // bytes matched, where the matcher knows it (0: the pattern's length)
};

class PatternMatcher {
public:
    /// Empty patterns are refused (false), as is an empty list.
    bool SetPatterns(std::vector<std::vector<uint8_t>> patterns);
    size_t PatternCount() const { return m_patterns.size(); }
    const std::vector<uint8_t>& Pattern(size_t i) const { return m_patterns[i].bytes; }
    /// Length of the longest pattern (0 when none).
    size_t MaxLength() const { return m_maxLength; }

    /// Appends to out every start s < startLimit at which a pattern lies
    /// wholly inside data, ordered by position (then by pattern index).
    void FindAll(ByteSpan data, size_t startLimit, std::vector<PatternStart>& out) const;

private:
    struct Entry {
        std::vector<uint8_t> bytes;
        size_t rare1 = 0;  // the two filter bytes' places in the pattern
        size_t rare2 = 0;
    };
    void FindOne(const Entry& entry, uint32_t index, ByteSpan data, size_t starts,
                 std::vector<PatternStart>& out) const;

    std::vector<Entry> m_patterns;
    size_t m_maxLength = 0;
};

}  // namespace delvora
