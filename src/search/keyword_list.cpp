#include "search/keyword_list.h"

#include <fstream>
#include <iterator>
#include <new>

#include "common/codepage.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "search/keyword.h"

namespace delvora {
namespace {

struct Prefix {
    std::string_view text;
    uint32_t type;
};
constexpr Prefix kPrefixes[] = {
    {"ascii:", kKeywordAscii}, {"unicode:", kKeywordUnicode}, {"hex:", kKeywordHex}, {"regex:", kKeywordRegex}};

bool IsUtf8(std::string_view text) {
    // Each round moves past one valid character.
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t n = DecodeUtf8(text, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace

bool ParseKeywordList(std::string_view text, const KeywordSpec& base, std::vector<KeywordSpec>& out,
                      std::string& error) {
    try {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        size_t lineNumber = 0;
        // Each round takes one line; the text's end ends the loop.
        while (!text.empty()) {
            ++lineNumber;
            const size_t newline = text.find('\n');
            std::string_view line = text.substr(0, newline);
            text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (!IsUtf8(line)) {
                error = Format(Tr("KeywordList", "关键字列表第 %zu 行不是 UTF-8 文字"), lineNumber);
                return false;
            }
            const size_t first = line.find_first_not_of(" \t");
            if (first == std::string_view::npos || line[first] == '#') continue;
            KeywordSpec keyword = base;
            for (const Prefix& prefix : kPrefixes)
                if (line.substr(0, prefix.text.size()) == prefix.text) {
                    keyword.type = prefix.type;
                    line.remove_prefix(prefix.text.size());
                    break;
                }
            if (line.empty()) {
                error = Format(Tr("KeywordList", "关键字列表第 %zu 行: 关键字不能为空"), lineNumber);
                return false;
            }
            if (line.size() >= kKeywordTextLimit) {
                error = Format(Tr("KeywordList", "关键字列表第 %zu 行: 关键字太长 (%zu 字节, 最多 %zu)"), lineNumber, line.size(),
                               kKeywordTextLimit - 1);
                return false;
            }
            if (out.size() >= kKeywordListLimit) {
                error = Format(Tr("KeywordList", "关键字列表第 %zu 行: 一次最多查找 %zu 个关键字"), lineNumber, kKeywordListLimit);
                return false;
            }
            keyword.text.assign(line);
            out.push_back(std::move(keyword));
        }
        if (out.empty()) {
            error = Tr("KeywordList", "关键字列表中没有关键字");
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        error = Tr("KeywordList", "关键字列表太大");
        return false;
    }
}

bool ReadKeywordList(const std::string& path, const KeywordSpec& base, std::vector<KeywordSpec>& out,
                     std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = Tr("KeywordList", "无法打开关键字列表 ") + path;
        return false;
    }
    std::string text(kKeywordListBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kKeywordListBytes) {
        error = Format(Tr("KeywordList", "关键字列表太大 (最多 %zu 字节): %s"), kKeywordListBytes, path.c_str());
        return false;
    }
    return ParseKeywordList(text, base, out, error);
}

}  // namespace delvora
