// Keyword lists: the file format with its faults, and a 500-term list
// searched in one pass against a byte-by-byte comparison for every term.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "cli/cli_run.h"
#include "search/hit_csv.h"
#include "search/keyword.h"
#include "search/keyword_list.h"
#include "support/recorders.h"

namespace delvora {
namespace {

TEST(KeywordList, ReadsPrefixesCommentsAndLineEnds) {
    KeywordSpec base;
    base.ignoreCase = true;
    std::vector<KeywordSpec> out;
    std::string error;
    ASSERT_TRUE(ParseKeywordList("\xEF\xBB\xBF# names\r\nalpha\r\n\r\n  # indented comment\nunicode:张三\n"
                                 "hex:\\x00AB\nregex:[0-9]+\nascii:regex:x\nbeta #not a comment",
                                 base, out, error))
        << error;
    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"alpha", kKeywordAscii}, {"张三", kKeywordUnicode},     {"\\x00AB", kKeywordHex},
        {"[0-9]+", kKeywordRegex}, {"regex:x", kKeywordAscii}, {"beta #not a comment", kKeywordAscii}};
    ASSERT_EQ(out.size(), expected.size());
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].text, expected[i].first);
        EXPECT_EQ(out[i].type, expected[i].second);
        EXPECT_TRUE(out[i].ignoreCase);
    }
}

TEST(KeywordList, RefusesWhatCannotBeSearchedNamingTheLine) {
    std::string many;
    for (size_t i = 0; i <= kKeywordListLimit; ++i) many += "term" + std::to_string(i) + "\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ok\n\xC3\x28\n", "第 2 行不是 UTF-8"},
        {"a\nb\nregex:\n", "第 3 行: 关键字不能为空"},
        {"x\n" + std::string(255, 'y') + "\n", "第 2 行: 关键字太长"},
        {many, "第 10001 行: 一次最多查找 10000 个关键字"},
        {"# only comments\n\n", "关键字列表中没有关键字"},
    };
    for (const auto& [text, message] : cases) {
        std::vector<KeywordSpec> out;
        std::string error;
        EXPECT_FALSE(ParseKeywordList(text, KeywordSpec{}, out, error));
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

TEST(HitCsv, QuotesEscapesAndKeepsRowsWhole) {
    std::string out = HitCsvHeader();
    HitCsvRow row;
    row.keyword = "say \"hi\", then";
    row.encoding = "gbk/utf8";
    row.sector = 7;
    row.offset = 3;
    row.byteOffset = 3587;
    row.filePath = "\\dir\\a,b.txt";
    row.context = std::string_view("line\r\nnext\x1b[2J\xFF", 15);
    AppendHitCsv(out, row);
    row.hasFileOffset = true;
    row.fileOffset = 0;
    row.context = "";
    AppendHitCsv(out, row);
    EXPECT_EQ(out,
              "keyword,encoding,sector,offset,byteOffset,filePath,fileOffset,context\r\n"
              "\"say \"\"hi\"\", then\",\"gbk/utf8\",7,3,3587,\"\\dir\\a,b.txt\",,\"line\\x0d\\x0anext\\x1b[2J\xEF\xBF\xBD\"\r\n"
              "\"say \"\"hi\"\", then\",\"gbk/utf8\",7,3,3587,\"\\dir\\a,b.txt\",0,\"\"\r\n");
}

TEST(KeywordList, FiveHundredTermsInOnePassAgainstAPlainComparison) {
    test::TempDir dir;
    std::mt19937 random(500);
    // Short terms over a small alphabet overlap and nest often.
    auto word = [&](size_t length) {
        std::string w;
        for (size_t i = 0; i < length; ++i) w += "abcd"[random() % 4];
        return w;
    };
    std::vector<std::string> terms;
    std::set<std::string> seen;
    std::string list = "# 500 terms\n";
    while (terms.size() < 500) {
        const std::string w = word(4 + random() % 5);
        if (!seen.insert(w).second) continue;
        terms.push_back(w);
        // Some as hexadecimal escapes: the same bytes by another kind.
        if (terms.size() % 7 == 0) {
            list += "hex:";
            for (char c : w) list += "\\x" + std::string{"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
            list += "\n";
        } else {
            list += w + "\n";
        }
    }
    ASSERT_TRUE(test::WriteFileBytes(dir.File("list.txt"), {list.begin(), list.end()}));
    std::vector<uint8_t> data(6 << 20);
    for (auto& b : data) b = random() % 8 ? 0 : static_cast<uint8_t>("abcd\n"[random() % 5]);
    // Dense runs of the alphabet, one across the 4 MiB read block.
    for (uint64_t at : {uint64_t{1000}, uint64_t{(4 << 20) - 300}, uint64_t{(6 << 20) - 600}})
        for (uint64_t i = 0; i < 600; ++i) data[at + i] = static_cast<uint8_t>("abcd"[random() % 4]);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("data.img"), data));

    const test::CliResult r =
        test::RunCli(dir, "search '" + dir.File("data.img") + "' --raw --keywords-file '" + dir.File("list.txt") + "' --json");
    ASSERT_EQ(r.status, 0) << r.err;
    std::multiset<std::pair<uint64_t, std::string>> found, expected;
    for (size_t from = 0; from < r.out.size();) {
        const size_t end = r.out.find('\n', from);
        const std::string line = r.out.substr(from, end - from);
        from = end == std::string::npos ? r.out.size() : end + 1;
        const size_t k = line.find("\"keyword\":\"") + 11;
        std::string keyword = line.substr(k, line.find('"', k) - k);
        const size_t b = line.find("\"byteOffset\":") + 13;
        found.insert({std::stoull(line.substr(b)), keyword});
    }
    // The plain comparison: every position against every term (4 to 8
    // letters), looked up by the bytes there.
    std::map<std::string, std::string> shownOf;
    for (size_t t = 0; t < terms.size(); ++t) {
        const std::string& w = terms[t];
        std::string shown = w;
        if ((t + 1) % 7 == 0) {
            shown.clear();
            for (char c : w)
                shown += "\\\\x" + std::string{"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
        }
        shownOf[w] = shown;
    }
    for (size_t p = 0; p < data.size(); ++p) {
        if (data[p] < 'a' || data[p] > 'd') continue;
        for (size_t length = 4; length <= 8 && p + length <= data.size(); ++length) {
            const auto it = shownOf.find(std::string(data.begin() + static_cast<std::ptrdiff_t>(p),
                                                     data.begin() + static_cast<std::ptrdiff_t>(p + length)));
            if (it != shownOf.end()) expected.insert({p, it->second});
        }
    }
    EXPECT_GT(expected.size(), 1000u);
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace delvora
