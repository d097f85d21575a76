// Keywords as a case file or a script hands them in, and the search over
// raw bytes: up to three keyword texts (any bytes, not only UTF-8) turned
// into patterns and previews, then matched over the rest of the input and
// checked against a plain comparison. The first byte picks each keyword's
// type (two bits each) and the code page (bits 6-7); the texts end at a 0xFF
// byte each, and what follows the third is scanned.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/reporting.h"
#include "search/keyword.h"
#include "search/pattern_matcher.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const std::string kCodepages[] = {"GBK", "UTF-8", "CP1252", "BIG5"};
    const std::string& codepage = kCodepages[data[0] >> 6];
    NullNotifier notifier;
    std::vector<std::vector<uint8_t>> patterns;
    size_t at = 1;
    // Three texts at most, each ending at the next 0xFF or the input's end.
    for (int k = 0; k < 3 && at < size; ++k) {
        const uint8_t* end = static_cast<const uint8_t*>(std::memchr(data + at, 0xFF, size - at));
        const size_t length = end ? static_cast<size_t>(end - (data + at)) : size - at;
        const std::string_view text(reinterpret_cast<const char*>(data + at), length);
        at += length + 1;
        const uint32_t type = (data[0] >> (2 * k)) & 3;  // 3 is no type: refused with a message
        std::vector<uint8_t> pattern;
        const int done = KeywordToPattern(text, type, codepage, kPatternCapacity, pattern, notifier);
        std::string preview;
        const int shown = FormatKeywordBytes(text, type, codepage, preview, notifier);
        // A UNICODE pattern may pass the capacity (characters the code page
        // lacks are one byte there): the search refuses it with its own message.
        if (done != shown) __builtin_trap();
        if (done == 1 && !pattern.empty()) patterns.push_back(std::move(pattern));
    }
    PatternMatcher matcher;
    if (!matcher.SetPatterns(patterns)) return 0;
    const ByteSpan scanned(data + std::min(at, size), size - std::min(at, size));
    const size_t limit = scanned.size() / 2 + 1;
    std::vector<PatternStart> starts;
    matcher.FindAll(scanned, limit, starts);
    // Every start the matcher answers holds its pattern, and none is missed.
    size_t expected = 0;
    for (size_t p = 0; p < std::min(limit, scanned.size()); ++p)
        for (const auto& pattern : patterns)
            expected += p + pattern.size() <= scanned.size() &&
                        std::equal(pattern.begin(), pattern.end(), scanned.begin() + static_cast<std::ptrdiff_t>(p));
    if (starts.size() != expected) __builtin_trap();
    for (const PatternStart& s : starts) {
        const auto& pattern = matcher.Pattern(s.pattern);
        if (s.position >= limit || s.position + pattern.size() > scanned.size() ||
            !std::equal(pattern.begin(), pattern.end(), scanned.begin() + static_cast<std::ptrdiff_t>(s.position)))
            __builtin_trap();
    }
    return 0;
}
