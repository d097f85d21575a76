// Keyword lists and regular expressions as an examiner's file hands them
// in: the input up to its first 0x00 byte is parsed as a list, the first
// few terms are expanded into every encoding and compiled, and the rest of
// the input is scanned as one stream in two pieces. Every start handed out
// must lie in the scanned bytes, in source order, with its match inside.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/reporting.h"
#include "search/keyword_list.h"
#include "search/search_terms.h"
#include "search/term_matcher.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t listBytes = end ? static_cast<size_t>(end - data) : size;
    KeywordSpec base;
    base.ignoreCase = size > 0 && (data[0] & 1);
    base.encodings = size > 0 ? (data[0] >> 1) & 0xF : 0;
    base.maxMatch = 64;
    std::vector<KeywordSpec> keywords;
    std::string error;
    if (!ParseKeywordList(std::string_view(reinterpret_cast<const char*>(data), listBytes), base, keywords, error))
        return 0;
    // Compiling is the costly part: a handful of terms covers the paths.
    if (keywords.size() > 4) keywords.resize(4);
    NullNotifier notifier;
    std::vector<SearchTerm> terms;
    if (!ExpandKeywords(keywords, "GBK", terms, notifier)) return 0;
    TermMatcher matcher;
    if (!matcher.Prepare(std::move(terms), error)) return 0;

    const size_t from = std::min(size, listBytes + 1);
    std::vector<uint8_t> scanned(data + from, data + size);
    const size_t half = scanned.size() / 2;
    // Look-ahead past the last start: the bytes after the scanned ones are zero.
    scanned.resize(scanned.size() + matcher.LookAhead(), 0);
    const ByteSpan bytes(scanned.data(), scanned.size());
    const uint64_t limit = size - from;
    std::vector<PatternStart> starts;
    if (!matcher.Begin(0) || !matcher.Feed(bytes, 0, 0, half, limit, starts) ||
        !matcher.Feed(bytes, 0, half, limit - half, limit, starts) ||
        !matcher.End(bytes, 0, limit, matcher.LookAhead(), limit, starts))
        return 0;
    for (size_t i = 0; i < starts.size(); ++i) {
        if (starts[i].position >= limit) __builtin_trap();
        if (starts[i].position + starts[i].length > scanned.size()) __builtin_trap();
        if (i > 0 && starts[i].position < starts[i - 1].position) __builtin_trap();
    }
    return 0;
}
