#include "search/search_terms.h"

#include <cctype>
#include <new>

#include "common/codepage.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "search/keyword.h"
#include "search/keyword_search.h"

namespace delvora {
namespace {

struct EncodingName {
    uint32_t bit;
    const char* label;
};
constexpr EncodingName kEncodings[] = {
    {kEncodingGbk, "gbk"}, {kEncodingUtf8, "utf8"}, {kEncodingUtf16Le, "utf16le"}, {kEncodingUtf16Be, "utf16be"}};

// "GBK" → "gbk", "UTF-8" → "utf8": the label a hit shows for the code page.
std::string CodepageLabel(const std::string& codepage) {
    std::string label;
    for (char c : codepage)
        if (c != '-' && c != '_') label.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return label == "cp936" ? "gbk" : label;
}

// One character (UTF-8) in an encoding; false when the encoding lacks it.
bool EncodeChar(std::string_view ch, const std::string& encoding, std::string& out) {
    if (encoding == "utf8") {
        out.assign(ch);
        return true;
    }
    if (encoding == "utf16le" || encoding == "utf16be") {
        out.clear();
        for (char16_t unit : Utf8ToUtf16(ch)) {
            const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
            out.push_back(encoding == "utf16le" ? low : high);
            out.push_back(encoding == "utf16le" ? high : low);
        }
        return !out.empty();
    }
    out = FromUtf8(ch, IconvName(encoding));
    // A character the code page lacks comes back as '?'.
    return !out.empty() && (out != "?" || ch == "?");
}

void AppendEscaped(std::string& expression, std::vector<uint32_t>& at, const std::string& bytes, uint32_t from) {
    for (unsigned char b : bytes) {
        const std::string escaped = Format("\\x%02X", b);
        expression += escaped;
        at.insert(at.end(), escaped.size(), from);
    }
}

// The characters of a UTF-8 text, each as its byte length; false on
// invalid UTF-8.
bool SplitUtf8(std::string_view text, std::vector<size_t>& lengths) {
    // Each round moves past one character.
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t n = DecodeUtf8(text, i, cp);
        if (n == 0) return false;
        lengths.push_back(n);
        i += n;
    }
    return true;
}

// A text whose ASCII letters match either case, as an expression of
// escaped bytes and two-letter classes. Answers its fixed byte length, or
// 0 when a character cannot be encoded.
uint32_t CaselessExpression(std::string_view text, const std::string& encoding, std::string& expression) {
    std::vector<size_t> lengths;
    if (!SplitUtf8(text, lengths)) return 0;
    std::vector<uint32_t> unused;
    uint32_t length = 0;
    size_t i = 0;
    for (size_t n : lengths) {
        const std::string_view ch = text.substr(i, n);
        i += n;
        std::string bytes;
        if (!EncodeChar(ch, encoding, bytes)) return 0;
        length += static_cast<uint32_t>(bytes.size());
        const unsigned char c = static_cast<unsigned char>(ch[0]);
        if (n != 1 || !std::isalpha(c)) {
            AppendEscaped(expression, unused, bytes, 0);
            continue;
        }
        const std::string pair = Format("[%c%c]", std::tolower(c), std::toupper(c));
        // The letter's byte is the one that is not zero in a UTF-16 unit.
        if (encoding == "utf16be") expression += "\\x00";
        expression += pair;
        if (encoding == "utf16le") expression += "\\x00";
    }
    return length;
}

// The expression for the regex engine: ASCII as typed; each other character
// outside a class becomes its bytes in the encoding, as one group so that
// a repetition after it repeats the whole character. at maps each byte
// back to the typed text. An empty result with error set on refusal.
bool ConvertExpression(std::string_view text, const std::string& encoding, std::string& expression,
                       std::vector<uint32_t>& at, std::string& error) {
    bool inClass = false;
    size_t classStart = 0;
    // Each round moves past one character (or an escape and its character).
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            size_t n = 1;
            if (c == '\\' && i + 1 < text.size()) {
                // An escaped non-ASCII character stands for itself, as it does unescaped.
                if (static_cast<unsigned char>(text[i + 1]) >= 0x80) {
                    ++i;
                    continue;
                }
                n = 2;
            }
            if (c == '[' && !inClass) {
                inClass = true;
                classStart = i + 1;
                if (classStart < text.size() && text[classStart] == '^') ++classStart;
            } else if (c == ']' && inClass && i > classStart) {
                inClass = false;
            }
            expression.append(text.substr(i, n));
            at.insert(at.end(), n, static_cast<uint32_t>(i));
            i += n;
            continue;
        }
        char32_t cp = 0;
        const size_t n = DecodeUtf8(text, i, cp);
        if (n == 0) {
            error = Format(Tr("SearchTerms", "第 %zu 字节不是 UTF-8 文字"), i);
            return false;
        }
        if (inClass) {
            error = Format(Tr("SearchTerms", "第 %zu 字节: 字符类中只能用 ASCII 字符"), i);
            return false;
        }
        std::string bytes;
        if (!EncodeChar(text.substr(i, n), encoding, bytes)) {
            error = Format(Tr("SearchTerms", "第 %zu 字节的字符在 %s 中没有"), i, encoding.c_str());
            return false;
        }
        expression += "(?:";
        at.insert(at.end(), 3, static_cast<uint32_t>(i));
        AppendEscaped(expression, at, bytes, static_cast<uint32_t>(i));
        expression += ")";
        at.push_back(static_cast<uint32_t>(i));
        i += n;
    }
    return true;
}

bool TooLong(const std::vector<uint8_t>& bytes, Notifier& notifier) {
    if (bytes.size() <= kPatternCapacity) return false;
    notifier.Message(Tr("KeywordSearch", kKeywordFarTooLong), "提示", MessageIcon::Error);
    return true;
}

// A text keyword (ASCII or UNICODE) in one encoding.
bool AddTextTerm(const KeywordSpec& keyword, uint32_t index, const std::string& encoding,
                 std::vector<SearchTerm>& terms, Notifier& notifier) {
    SearchTerm term;
    term.keyword = index;
    term.encoding = encoding;
    std::string bytes;
    std::vector<size_t> lengths;
    if (!SplitUtf8(keyword.text, lengths)) {
        // Text that is not UTF-8 is searched as the bytes given.
        bytes = keyword.text;
    } else {
        size_t i = 0;
        for (size_t n : lengths) {
            std::string one;
            if (!EncodeChar(std::string_view(keyword.text).substr(i, n), encoding, one)) one = "?";
            bytes += one;
            i += n;
        }
    }
    term.bytes.assign(bytes.begin(), bytes.end());
    term.length = static_cast<uint32_t>(bytes.size());
    if (term.bytes.empty()) return false;
    if (TooLong(term.bytes, notifier)) return false;
    std::string expression;
    if (keyword.ignoreCase && CaselessExpression(keyword.text, encoding, expression) == term.length &&
        expression.find('[') != std::string::npos) {
        term.kind = TermKind::Caseless;
        term.bytes.assign(expression.begin(), expression.end());
    }
    terms.push_back(std::move(term));
    return true;
}

bool AddRegexTerm(const KeywordSpec& keyword, uint32_t index, const std::string& encoding,
                  std::vector<SearchTerm>& terms, Notifier& notifier) {
    SearchTerm term;
    term.keyword = index;
    term.encoding = encoding;
    term.kind = TermKind::Regex;
    term.source = keyword.text;
    term.maxMatch = std::min(std::max<uint32_t>(keyword.maxMatch, 1), kMaxMatchLimit);
    std::string expression, error;
    if (!ConvertExpression(keyword.text, encoding, expression, term.sourceAt, error)) {
        notifier.Message(Format(Tr("SearchTerms", "正则表达式 %s 不能使用: %s"), keyword.text.c_str(), error.c_str()), "提示",
                         MessageIcon::Error);
        return false;
    }
    if (keyword.ignoreCase) {
        // The engine's own switch for letters in either case; its bytes map to the text's start.
        expression.insert(0, "(?i)");
        term.sourceAt.insert(term.sourceAt.begin(), 4, 0);
    }
    term.bytes.assign(expression.begin(), expression.end());
    terms.push_back(std::move(term));
    return true;
}

// ASCII text is the same bytes in GBK and UTF-8: one term, named for both,
// so that one place gives one hit.
void MergeSameBytes(std::vector<SearchTerm>& terms) {
    size_t kept = 0;
    for (size_t i = 0; i < terms.size(); ++i) {
        bool merged = false;
        for (size_t j = kept; j-- > 0 && terms[j].keyword == terms[i].keyword;)
            if (terms[j].kind == terms[i].kind && terms[j].bytes == terms[i].bytes) {
                terms[j].encoding += "/" + terms[i].encoding;
                merged = true;
                break;
            }
        if (merged) continue;
        if (kept != i) terms[kept] = std::move(terms[i]);
        ++kept;
    }
    terms.resize(kept);
}

}  // namespace

KeywordSpec KeywordOfItem(const std::string& text, uint32_t number) {
    KeywordSpec spec;
    spec.text = text;
    spec.type = number & kKeywordTypeMask;
    spec.ignoreCase = (number & kKeywordIgnoreCaseBit) != 0;
    spec.encodings = (number >> kKeywordEncodingShift) & 0xF;
    return spec;
}

uint32_t KeywordItemNumber(uint32_t type, bool ignoreCase, uint32_t encodings) {
    return (type & kKeywordTypeMask) | (ignoreCase ? kKeywordIgnoreCaseBit : 0) |
           ((encodings & 0xF) << kKeywordEncodingShift);
}

bool ParseEncodings(std::string_view text, uint32_t& bits) {
    bits = 0;
    // Each round takes one comma-separated name.
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        bool known = false;
        for (const EncodingName& e : kEncodings)
            if (name == e.label) {
                bits |= e.bit;
                known = true;
            }
        if (!known) return false;
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

std::string IconvName(const std::string& encoding) {
    if (encoding == "gbk") return "GBK";
    if (encoding == "utf8") return "UTF-8";
    if (encoding == "utf16le") return "UTF-16LE";
    if (encoding == "utf16be") return "UTF-16BE";
    return encoding;
}

bool ExpandKeywords(const std::vector<KeywordSpec>& keywords, const std::string& codepage,
                    std::vector<SearchTerm>& terms, Notifier& notifier) {
    try {
        for (uint32_t k = 0; k < keywords.size(); ++k) {
            const KeywordSpec& keyword = keywords[k];
            if (keyword.type == kKeywordRegex) {
                if (keyword.text.empty()) return false;
                if (keyword.text.size() >= kKeywordTextLimit) {
                    notifier.Message(Tr("Keyword", kKeywordTooLong), "提示", MessageIcon::Error);
                    return false;
                }
                const uint32_t bits = keyword.encodings & (kEncodingGbk | kEncodingUtf8);
                for (const EncodingName& e : kEncodings)
                    if ((bits ? bits : kEncodingUtf8) & e.bit)
                        if (!AddRegexTerm(keyword, k, e.label, terms, notifier)) return false;
                continue;
            }
            // The keyword's own conversion checks its length and escapes.
            std::vector<uint8_t> pattern;
            if (!KeywordToPattern(keyword.text, keyword.type, codepage, kPatternCapacity, pattern, notifier))
                return false;
            if (pattern.empty() || TooLong(pattern, notifier)) return false;
            if (keyword.type == kKeywordHex) {
                SearchTerm term;
                term.keyword = k;
                term.encoding = "hex";
                term.length = static_cast<uint32_t>(pattern.size());
                term.bytes = std::move(pattern);
                terms.push_back(std::move(term));
                continue;
            }
            if (keyword.encodings == 0) {
                const std::string own = keyword.type == kKeywordUnicode ? "utf16le" : CodepageLabel(codepage);
                if (!keyword.ignoreCase && keyword.type == kKeywordAscii) {
                    // The code page the examiner chose, exactly as the keyword converts.
                    SearchTerm term;
                    term.keyword = k;
                    term.encoding = own;
                    term.length = static_cast<uint32_t>(pattern.size());
                    term.bytes = std::move(pattern);
                    terms.push_back(std::move(term));
                } else if (!AddTextTerm(keyword, k, keyword.type == kKeywordUnicode ? own : codepage, terms,
                                        notifier)) {
                    return false;
                } else {
                    terms.back().encoding = own;
                }
                continue;
            }
            for (const EncodingName& e : kEncodings)
                if (keyword.encodings & e.bit)
                    if (!AddTextTerm(keyword, k, e.label, terms, notifier)) return false;
        }
        MergeSameBytes(terms);
        return !terms.empty();
    } catch (const std::bad_alloc&) {
        terms.clear();
        return false;
    }
}

}  // namespace delvora
