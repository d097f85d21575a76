#include "hashset/hash_line.h"

#include "common/hash.h"

namespace delvora {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsHexText(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (HexDigit(c) < 0) return false;
    return true;
}

// Stronger digests win when a row carries several.
int Strength(unsigned kind) { return kind == kHashSha256 ? 3 : kind == kHashSha1 ? 2 : kind == kHashMd5 ? 1 : 0; }

unsigned KindOfColumnName(std::string_view name) {
    std::string lower;
    for (char c : name)
        if (c != '-' && c != '_') lower.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
    if (lower == "md5") return kHashMd5;
    if (lower == "sha1") return kHashSha1;
    if (lower == "sha256") return kHashSha256;
    return 0;
}

// Splits a CSV line into at most maxFields fields (the last takes the
// rest, so a hashdeep file name with commas stays whole). A field that
// starts with a quote runs to its closing quote (doubled quotes inside), so
// a quoted NSRL file name may hold commas; the quotes are stripped.
std::vector<std::string_view> SplitCsv(std::string_view line, size_t maxFields) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    // Each pass consumes at least one byte or ends the line, so the loop ends.
    while (pos <= line.size()) {
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (fields.size() + 1 >= maxFields) {
            fields.push_back(line.substr(pos));
            break;
        }
        size_t end = pos;
        if (pos < line.size() && line[pos] == '"') {
            end = pos + 1;
            while (end < line.size() && !(line[end] == '"' && (end + 1 == line.size() || line[end + 1] != '"'))) {
                end += line[end] == '"' ? 2 : 1;
            }
            end = line.find(',', end < line.size() ? end : line.size());
        } else {
            end = line.find(',', pos);
        }
        if (end == std::string_view::npos) {
            fields.push_back(line.substr(pos));
            break;
        }
        fields.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    for (auto& f : fields) {
        f = Trim(f);
        if (f.size() >= 2 && f.front() == '"' && f.back() == '"') f = f.substr(1, f.size() - 2);
    }
    return fields;
}

}  // namespace

bool ParseHexDigest(std::string_view text, HashValue& out) {
    unsigned kind = 0;
    switch (text.size()) {
        case 32: kind = kHashMd5; break;
        case 40: kind = kHashSha1; break;
        case 64: kind = kHashSha256; break;
        default: return false;
    }
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.bytes[i / 2] = uint8_t(hi << 4 | lo);
    }
    out.kind = kind;
    out.length = uint8_t(text.size() / 2);
    return true;
}

LineResult HashLineParser::Feed(std::string_view line, HashValue& out) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!m_bStarted) {
        m_bStarted = true;
        // A byte order mark in front of the first line is not part of it.
        if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
        return Header(line, out);
    }
    if (m_format == HashListFormat::kHashdeep && Trim(line).substr(0, 4) == "%%%%") {
        HashdeepColumns(Trim(line).substr(4));
        return LineResult::kIgnored;
    }
    return m_format == HashListFormat::kPlain ? PlainRow(line, out) : ColumnRow(line, out);
}

void HashLineParser::HashdeepColumns(std::string_view text) {
    // "%%%% HASHDEEP-1.0" names no columns; "%%%% size,md5,sha256,filename"
    // does, and a later header (one per run) replaces the earlier.
    if (text.find(',') == std::string_view::npos) return;
    m_columns.clear();
    for (auto name : SplitCsv(text, 64)) m_columns.push_back(KindOfColumnName(name));
}

LineResult HashLineParser::Header(std::string_view line, HashValue& out) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.substr(0, 4) == "%%%%") {
        m_format = HashListFormat::kHashdeep;
        HashdeepColumns(trimmed.substr(4));
        return LineResult::kIgnored;
    }
    if (!trimmed.empty() && trimmed.front() == '"') {
        // Quoted column names: the NSRL CSV (or a list of its shape).
        const auto names = SplitCsv(trimmed, 64);
        for (auto name : names) m_columns.push_back(KindOfColumnName(name));
        for (unsigned kind : m_columns)
            if (kind) {
                m_format = HashListFormat::kNsrlCsv;
                return LineResult::kIgnored;
            }
        m_columns.clear();
        return LineResult::kMalformed;
    }
    return PlainRow(line, out);
}

LineResult HashLineParser::PlainRow(std::string_view line, HashValue& out) const {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') return LineResult::kIgnored;
    size_t end = 0;
    while (end < trimmed.size() && !IsBlank(trimmed[end])) ++end;
    std::string_view token = trimmed.substr(0, end);
    // md5sum marks binary-mode names with '*' after the blanks; a leading
    // backslash marks an escaped name. Neither touches the digest itself.
    if (!token.empty() && token.front() == '\\') token.remove_prefix(1);
    if (ParseHexDigest(token, out)) return LineResult::kHash;
    return IsHexText(token) ? LineResult::kBadLength : LineResult::kMalformed;
}

LineResult HashLineParser::ColumnRow(std::string_view line, HashValue& out) const {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') return LineResult::kIgnored;
    if (m_columns.empty()) return LineResult::kMalformed;
    const auto fields = SplitCsv(trimmed, m_columns.size());
    // Only the digest columns must be there; a short or odd tail does not
    // make the row's digests wrong.
    for (size_t i = fields.size(); i < m_columns.size(); ++i)
        if (m_columns[i]) return LineResult::kMalformed;
    int best = 0;
    bool badLength = false;
    for (size_t i = 0; i < fields.size(); ++i) {
        const unsigned kind = m_columns[i];
        if (!kind || fields[i].empty()) continue;
        HashValue value;
        if (!ParseHexDigest(fields[i], value) || value.kind != kind) {
            if (IsHexText(fields[i])) badLength = true;
            else return LineResult::kMalformed;
            continue;
        }
        if (Strength(kind) > best) {
            best = Strength(kind);
            out = value;
        }
    }
    // A damaged digest column makes the whole row suspect.
    if (badLength) return LineResult::kBadLength;
    return best > 0 ? LineResult::kHash : LineResult::kMalformed;
}

}  // namespace delvora
