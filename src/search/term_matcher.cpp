#include "search/term_matcher.h"

#include <hs.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "common/text_format.h"
#include "common/translation.h"

namespace delvora {
namespace {

// Up to this many exact terms the vector filter is faster than the
// engine's literal matcher; more are matched by the engine in one pass.
constexpr size_t kFewExact = 4;
// Bounds on what one search may compile: the engine's stream state is
// carried across every block, its database is held for the whole scan.
constexpr size_t kStreamStateLimit = 1 << 20;
constexpr size_t kDatabaseLimit = 256u << 20;
constexpr size_t kNoneHeld = SIZE_MAX;

// "... at index 7." → 7; npos when the engine names no place.
size_t IndexInMessage(const std::string& message) {
    const size_t at = message.find("index ");
    if (at == std::string::npos) return std::string::npos;
    return static_cast<size_t>(std::strtoull(message.c_str() + at + 6, nullptr, 10));
}

}  // namespace

struct TermMatcher::Engine {
    hs_database_t* database = nullptr;
    hs_scratch_t* scratch = nullptr;
    hs_stream_t* stream = nullptr;
    ~Engine() {
        if (stream) hs_close_stream(stream, scratch, nullptr, nullptr);
        if (scratch) hs_free_scratch(scratch);
        if (database) hs_free_database(database);
    }
};

TermMatcher::TermMatcher() = default;
TermMatcher::~TermMatcher() = default;

bool TermMatcher::Prepare(std::vector<SearchTerm> terms, std::string& error) {
    m_terms = std::move(terms);
    m_pEngine.reset();
    m_exactTerms.clear();
    m_lookAhead = m_lookBehind = m_longestFixed = 0;
    if (m_terms.empty()) return false;
    for (const SearchTerm& term : m_terms)
        if (term.kind != TermKind::Regex) m_longestFixed = std::max<size_t>(m_longestFixed, term.length);
    size_t exact = 0, regex = 0;
    for (const SearchTerm& term : m_terms) {
        exact += term.kind == TermKind::Exact;
        regex += term.kind == TermKind::Regex;
    }
    if (regex > kRegexTermLimit) {
        error = Format(Tr("TermMatcher", "一次最多查找 %zu 个正则表达式 (每种编码各算一个), 这里有 %zu 个"), kRegexTermLimit, regex);
        return false;
    }
    const bool fewExact = exact <= kFewExact;

    std::vector<std::vector<uint8_t>> patterns;
    std::vector<std::string> expressions;
    std::vector<unsigned> flags, ids;
    bool som = false;
    for (uint32_t i = 0; i < m_terms.size(); ++i) {
        const SearchTerm& term = m_terms[i];
        if (term.kind == TermKind::Exact && fewExact) {
            patterns.push_back(term.bytes);
            m_exactTerms.push_back(i);
            m_lookAhead = std::max<size_t>(m_lookAhead, term.bytes.size());
            continue;
        }
        std::string expression;
        if (term.kind == TermKind::Exact) {
            for (uint8_t b : term.bytes) expression += Format("\\x%02X", b);
        } else {
            expression.assign(term.bytes.begin(), term.bytes.end());
        }
        const bool regex = term.kind == TermKind::Regex;
        const size_t reach = regex ? term.maxMatch : term.length;
        m_lookAhead = std::max(m_lookAhead, reach);
        m_lookBehind = std::max(m_lookBehind, reach);
        som = som || regex;
        expressions.push_back(std::move(expression));
        // A regular expression reports its leftmost start; a fixed length
        // gives the start of a literal from its end.
        flags.push_back(regex ? HS_FLAG_SOM_LEFTMOST : 0);
        ids.push_back(i);
    }
    if (!patterns.empty() && !m_exact.SetPatterns(std::move(patterns))) return false;
    m_lastHeld.assign(m_terms.size(), kNoneHeld);
    if (expressions.empty()) return true;

    std::vector<const char*> texts;
    for (const std::string& e : expressions) texts.push_back(e.c_str());
    // An expression whose shortest match is longer than its bound would
    // never report anything: refused rather than searched in vain.
    for (size_t i = 0; i < texts.size(); ++i) {
        const SearchTerm& term = m_terms[ids[i]];
        hs_expr_info_t* info = nullptr;
        hs_compile_error_t* infoError = nullptr;
        if (term.kind != TermKind::Regex ||
            hs_expression_info(texts[i], flags[i], &info, &infoError) != HS_SUCCESS) {
            if (infoError) hs_free_compile_error(infoError);
            continue;  // compiling names the fault
        }
        const unsigned shortest = info->min_width;
        std::free(info);
        if (shortest > term.maxMatch) {
            error = Format(Tr("TermMatcher", "正则表达式 %s 最短也要匹配 %u 字节, 超过匹配长度上限 %u"), term.source.c_str(), shortest,
                           term.maxMatch);
            return false;
        }
    }
    auto engine = std::make_unique<Engine>();
    hs_compile_error_t* compileError = nullptr;
    // SOM exact within 2^16 bytes covers the longest match reported.
    const unsigned mode = HS_MODE_STREAM | (som ? HS_MODE_SOM_HORIZON_SMALL : 0);
    if (hs_compile_multi(texts.data(), flags.data(), ids.data(), static_cast<unsigned>(texts.size()), mode, nullptr,
                         &engine->database, &compileError) != HS_SUCCESS) {
        const std::string message = compileError && compileError->message ? compileError->message : "";
        const int which = compileError ? compileError->expression : -1;
        if (compileError) hs_free_compile_error(compileError);
        if (which >= 0 && static_cast<size_t>(which) < ids.size()) {
            const SearchTerm& term = m_terms[ids[which]];
            const std::string& shown = term.kind == TermKind::Regex ? term.source : std::string("?");
            const size_t index = IndexInMessage(message);
            if (index != std::string::npos && index < term.sourceAt.size())
                error = Format(Tr("TermMatcher", "正则表达式 %s 在第 %u 字节处不能使用 (%s 编码): %s"), shown.c_str(),
                               term.sourceAt[index], term.encoding.c_str(), message.c_str());
            else
                error = Format(Tr("TermMatcher", "正则表达式 %s 不能使用 (%s 编码): %s"), shown.c_str(), term.encoding.c_str(),
                               message.c_str());
        } else {
            error = Tr("TermMatcher", "关键字太多或太复杂, 无法一起查找: ") + message;
        }
        return false;
    }
    size_t streamSize = 0, databaseSize = 0;
    if (hs_stream_size(engine->database, &streamSize) != HS_SUCCESS ||
        hs_database_size(engine->database, &databaseSize) != HS_SUCCESS || streamSize > kStreamStateLimit ||
        databaseSize > kDatabaseLimit) {
        error = Format(Tr("TermMatcher", "关键字太多或太复杂, 无法一起查找: 需要 %zu 字节的状态"), streamSize);
        return false;
    }
    if (hs_alloc_scratch(engine->database, &engine->scratch) != HS_SUCCESS) {
        error = Tr("TermMatcher", "关键字太多或太复杂, 无法一起查找: 内存不足");
        return false;
    }
    m_pEngine = std::move(engine);
    return true;
}

bool TermMatcher::Begin(uint64_t first) {
    m_streamFirst = m_fedEnd = first;
    m_held.clear();
    std::fill(m_lastHeld.begin(), m_lastHeld.end(), kNoneHeld);
    m_bFailed = false;
    if (!m_pEngine) return true;
    if (m_pEngine->stream) {
        hs_close_stream(m_pEngine->stream, m_pEngine->scratch, nullptr, nullptr);
        m_pEngine->stream = nullptr;
    }
    return hs_open_stream(m_pEngine->database, 0, &m_pEngine->stream) == HS_SUCCESS;
}

int TermMatcher::OnMatch(unsigned id, unsigned long long from, unsigned long long to, unsigned, void* context) {
    auto* self = static_cast<TermMatcher*>(context);
    const SearchTerm& term = self->m_terms[id];
    uint64_t start = 0, length = 0;
    if (term.kind == TermKind::Regex) {
        start = from;
        length = to - from;
        if (length > term.maxMatch) return 0;
    } else {
        if (to < term.length) return 0;
        start = to - term.length;
        length = term.length;
    }
    start += self->m_streamFirst;
    if (start >= self->m_startLimit) return 0;
    try {
        // One start reported for several ends is one hit; keep its longest match.
        size_t& last = self->m_lastHeld[id];
        if (last != kNoneHeld && self->m_held[last].byte == start) {
            self->m_held[last].length = std::max<uint32_t>(self->m_held[last].length, static_cast<uint32_t>(length));
            return 0;
        }
        last = self->m_held.size();
        self->m_held.push_back({start, id, static_cast<uint32_t>(length)});
    } catch (const std::bad_alloc&) {
        self->m_bFailed = true;
        return 1;  // stops the scan
    }
    return 0;
}

bool TermMatcher::Scan(ByteSpan bytes, size_t from, size_t count) {
    if (!m_pEngine || count == 0) return true;
    // The engine takes 32-bit lengths; blocks are far smaller.
    const hs_error_t rc = hs_scan_stream(m_pEngine->stream, reinterpret_cast<const char*>(bytes.data() + from),
                                         static_cast<unsigned>(count), 0, m_pEngine->scratch, &OnMatch, this);
    return (rc == HS_SUCCESS || rc == HS_SCAN_TERMINATED) && !m_bFailed;
}

void TermMatcher::Emit(uint64_t below, ByteSpan bytes, uint64_t firstByte, std::vector<PatternStart>& out) {
    std::sort(m_held.begin(), m_held.end(), [](const Held& a, const Held& b) {
        if (a.byte != b.byte) return a.byte < b.byte;
        if (a.term != b.term) return a.term < b.term;
        return a.length > b.length;
    });
    size_t kept = 0;
    for (size_t i = 0; i < m_held.size(); ++i) {
        const Held& h = m_held[i];
        if (h.byte >= below) {
            m_held[kept++] = h;
            continue;
        }
        // Repeats of one start (reported apart) were sorted longest first.
        if (i > 0 && m_held[i - 1].byte == h.byte && m_held[i - 1].term == h.term) continue;
        // The reads keep LookBehind bytes before each block, so a start is inside it.
        if (h.byte < firstByte || h.byte - firstByte >= bytes.size()) continue;
        out.push_back({static_cast<size_t>(h.byte - firstByte), h.term, h.length});
    }
    m_held.resize(kept);
    std::fill(m_lastHeld.begin(), m_lastHeld.end(), kNoneHeld);
}

bool TermMatcher::Feed(ByteSpan bytes, uint64_t firstByte, size_t from, size_t count, uint64_t startLimit,
                       std::vector<PatternStart>& out) {
    m_startLimit = startLimit;
    try {
        if (!m_exactTerms.empty()) {
            const uint64_t limitInBlock = startLimit > firstByte + from ? startLimit - (firstByte + from) : 0;
            m_found.clear();
            m_exact.FindAll(bytes.subspan(from), static_cast<size_t>(std::min<uint64_t>(count, limitInBlock)),
                            m_found);
            for (const PatternStart& s : m_found) {
                const uint32_t term = m_exactTerms[s.pattern];
                m_held.push_back({firstByte + from + s.position, term, m_terms[term].length});
            }
        }
        if (!Scan(bytes, from, count)) return false;
        m_fedEnd = firstByte + from + count;
        Emit(m_fedEnd - std::min<uint64_t>(m_fedEnd, m_lookBehind), bytes, firstByte, out);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool TermMatcher::End(ByteSpan bytes, uint64_t firstByte, size_t from, size_t count, uint64_t startLimit,
                      std::vector<PatternStart>& out) {
    m_startLimit = startLimit;
    try {
        bool ok = Scan(bytes, from, count);
        if (m_pEngine && m_pEngine->stream) {
            // Closing reports matches that end with the stream ($ and the like).
            ok = hs_close_stream(m_pEngine->stream, m_pEngine->scratch, &OnMatch, this) == HS_SUCCESS && ok;
            m_pEngine->stream = nullptr;
        }
        Emit(UINT64_MAX, bytes, firstByte, out);
        return ok && !m_bFailed;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace delvora
