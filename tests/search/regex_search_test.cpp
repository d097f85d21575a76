// Regular expressions and letters in either case, compared with grep -P over
// the same bytes: texts planted across 512-byte sectors and 4 MiB read
// blocks, adjacent and overlapping matches, and expressions the engine
// cannot take.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "cli/cli_run.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

constexpr uint64_t kMiB = 1 << 20;

// Offsets of "offset":... in the JSON lines, in output order.
std::vector<uint64_t> ByteOffsets(const std::string& json) {
    std::vector<uint64_t> out;
    const std::string key = "\"byteOffset\":";
    for (size_t at = json.find(key); at != std::string::npos; at = json.find(key, at + 1))
        out.push_back(std::stoull(json.substr(at + key.size())));
    return out;
}

std::vector<uint64_t> GrepOffsets(const std::string& image, const std::string& pattern) {
    std::string out;
    // grep answers 1 when nothing matched; only the output counts.
    RunShell("LC_ALL=C grep -obUaP '" + pattern + "' '" + image + "' | cut -d: -f1", &out);
    std::vector<uint64_t> offsets;
    for (size_t from = 0; from < out.size();) {
        const size_t end = out.find('\n', from);
        offsets.push_back(std::stoull(out.substr(from, end - from)));
        from = end == std::string::npos ? out.size() : end + 1;
    }
    return offsets;
}

// 9 MiB of high bytes and zeros (nothing an expression below matches by
// chance) with texts planted at sector and block edges.
std::string MakeImage(const TempDir& dir) {
    std::mt19937 random(27);
    std::vector<uint8_t> bytes(9 * kMiB);
    for (auto& b : bytes) b = random() % 4 ? 0 : static_cast<uint8_t>(0x80 + random() % 0x7F);
    auto put = [&](uint64_t at, const std::string& text) {
        std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put(100, "mail anna.li@example.com and bo@test.org.");
    put(4 * kMiB - 9, "ops@corp.com");                  // across the first read block
    put(512 * 7 - 2, "123-4567");                        // across a sector
    put(8 * kMiB - 4, "555-1234555-9876");               // adjacent, across the second block
    put(2 * kMiB, "ababababa abcabc");                   // overlapping
    put(3 * kMiB + 511, "SeCrEt Secret sECRET");         // letters in either case
    put(9 * kMiB - 8, "x@y.com");                        // the source's last bytes
    const std::string path = dir.File("regex.img");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
}

TEST(RegexSearch, FindsWhatGrepFinds) {
    if (!HaveTool("grep")) GTEST_SKIP() << "grep missing";
    TempDir dir;
    const std::string image = MakeImage(dir);
    struct Case {
        std::string pattern;  // for both
        std::string grep;     // grep's pattern where it differs
        std::string options;
    };
    // Overlapping starts are every place a match begins: grep gives them
    // through a look-ahead, which the engine does not need.
    const std::vector<Case> cases = {
        {"[a-z0-9._]+@[a-z0-9]+\\.(com|org)", "", ""},
        {"\\d{3}-\\d{4}", "", ""},
        {"(555|123)-\\d{4}", "", ""},
        {"aba", "(?=aba).", ""},
        {"abc|bab", "(?=abc|bab).", ""},
        {"secret", "(?i)secret", "--ignore-case"},
        {"(?i)s[e]cret", "(?i)secret", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const CliResult r = RunCli(dir, "search '" + image + "' --raw --kind regex --keyword '" + c.pattern + "' " +
                                            c.options + " --json");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<uint64_t> ours = ByteOffsets(r.out);
        EXPECT_EQ(ours, GrepOffsets(image, c.grep.empty() ? c.pattern : c.grep));
        EXPECT_FALSE(ours.empty());
    }
    // A literal in either case is the same search as its expression.
    const CliResult literal = RunCli(dir, "search '" + image + "' --raw --keyword SECRET --ignore-case --json");
    EXPECT_EQ(ByteOffsets(literal.out), GrepOffsets(image, "(?i)secret"));
}

TEST(RegexSearch, BoundsMatchLengthAndSaysWhereAnExpressionFails) {
    TempDir dir;
    std::vector<uint8_t> bytes(64 * 1024, 'a');
    bytes[100] = 'b';
    const std::string image = dir.File("a.img");
    ASSERT_TRUE(WriteFileBytes(image, bytes));
    // A run of 64 KiB matches from its first byte; the bound keeps the
    // matches short, so the run's start and the one after 'b' are found.
    CliResult r = RunCli(dir, "search '" + image + "' --raw --kind regex --keyword 'a+' --max-match 16 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ByteOffsets(r.out), (std::vector<uint64_t>{0, 101}));

    const std::vector<std::pair<std::string, std::string>> refused = {
        {"ab(c", "正则表达式 ab(c 在第 2 字节处不能使用"},
        {"x{70000}", "Bounded repeat is too large"},
        {"(a|aa){1000}", "Pattern is too large"},
        {"(a(b(c)*)*)*", "matches empty buffer"},
        {"a(?=b)", "not supported"},
        {".{2000}", "最短也要匹配 2000 字节, 超过匹配长度上限 1024"},
        {"[张]", "字符类中只能用 ASCII 字符"},
    };
    for (const auto& [pattern, message] : refused) {
        r = RunCli(dir, "search '" + image + "' --raw --kind regex --keyword '" + pattern + "'");
        EXPECT_EQ(r.status, 1) << pattern;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    // Ten thousand expressions would compile for minutes: refused at once.
    std::string many;
    for (int i = 0; i < 1001; ++i) many += "regex:w" + std::to_string(i) + "[a-j]{2,6}x\n";
    ASSERT_TRUE(WriteFileBytes(dir.File("many.txt"), {many.begin(), many.end()}));
    r = RunCli(dir, "search '" + image + "' --raw --keywords-file '" + dir.File("many.txt") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("一次最多查找 1000 个正则表达式"), std::string::npos) << r.err;
    for (const char* bad : {"--max-match 0", "--max-match 70000", "--encodings gbk,latin1", "--kind perl"}) {
        r = RunCli(dir, "search '" + image + "' --raw --keyword a " + std::string(bad));
        EXPECT_EQ(r.status, 2) << bad;
    }
}

}  // namespace
}  // namespace delvora::test
