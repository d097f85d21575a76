#pragma once
// All terms of a search in one pass over a stream of bytes: a few exact
// byte strings through the vector filter of PatternMatcher, everything else
// (many literals, letters in either case, regular expressions) through one
// streaming database of the regex engine, so that a match across the edge
// of a block, cluster or window is found once. Starts are handed out in
// source order once no later bytes can add a start before them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "search/pattern_matcher.h"
#include "search/search_terms.h"

namespace delvora {

/// Regular expressions one search compiles at most (each encoding counts):
/// compiling grows faster than their number, and ten thousand take minutes.
inline constexpr size_t kRegexTermLimit = 1000;

class TermMatcher {
public:
    TermMatcher();
    ~TermMatcher();
    TermMatcher(const TermMatcher&) = delete;
    TermMatcher& operator=(const TermMatcher&) = delete;

    /// Compiles the terms. False with error set to a message naming the
    /// expression and the byte of it that cannot be used, or saying that the
    /// set is too large; an empty list is refused without a message.
    bool Prepare(std::vector<SearchTerm> terms, std::string& error);
    size_t TermCount() const { return m_terms.size(); }
    const SearchTerm& Term(size_t i) const { return m_terms[i]; }
    /// Bytes a match may reach past its start: the reads give this much
    /// beyond the last start tested.
    size_t LookAhead() const { return m_lookAhead; }
    /// Bytes a start may lie before the end of what was fed: the reads keep
    /// this much before each block so that a start is still in the block.
    size_t LookBehind() const { return m_lookBehind; }
    /// Length of the longest fixed-length term (literals; 0 when none).
    size_t LongestFixed() const { return m_longestFixed; }

    /// Starts a stream whose first byte is the source's byte first.
    bool Begin(uint64_t first);
    /// Feeds bytes[from, from + count) as the stream's next bytes (bytes[0]
    /// is the source's byte firstByte); exact terms use the bytes after them
    /// as look-ahead. Appends to out, in source order with positions
    /// indexing bytes, the starts below startLimit that are now final.
    /// False when the engine failed or memory ran out.
    bool Feed(ByteSpan bytes, uint64_t firstByte, size_t from, size_t count, uint64_t startLimit,
              std::vector<PatternStart>& out);
    /// Ends the stream after feeding bytes[from, from + count) (look-ahead
    /// past the last start, possibly none) and appends every start still held.
    bool End(ByteSpan bytes, uint64_t firstByte, size_t from, size_t count, uint64_t startLimit,
             std::vector<PatternStart>& out);

private:
    struct Engine;
    struct Held {
        uint64_t byte = 0;
        uint32_t term = 0;
        uint32_t length = 0;
    };
    static int OnMatch(unsigned id, unsigned long long from, unsigned long long to, unsigned flags, void* context);
    bool Scan(ByteSpan bytes, size_t from, size_t count);
    void Emit(uint64_t below, ByteSpan bytes, uint64_t firstByte, std::vector<PatternStart>& out);

    std::vector<SearchTerm> m_terms;
    PatternMatcher m_exact;
    std::vector<uint32_t> m_exactTerms;  // term of each exact pattern
    std::unique_ptr<Engine> m_pEngine;
    size_t m_lookAhead = 0;
    size_t m_lookBehind = 0;
    size_t m_longestFixed = 0;
    uint64_t m_streamFirst = 0;
    uint64_t m_fedEnd = 0;
    uint64_t m_startLimit = 0;
    bool m_bFailed = false;
    std::vector<Held> m_held;
    std::vector<size_t> m_lastHeld;  // per term: index in m_held of its latest start, to merge repeats
    std::vector<PatternStart> m_found;
};

}  // namespace delvora
