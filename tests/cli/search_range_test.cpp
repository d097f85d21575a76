// search --range: parts that tile a search give its hits once each, in its
// order, with the same text and file, whatever the cuts.
#include <gtest/gtest.h>

#include <random>

#include "cli/cli_run.h"

namespace delvora::test {
namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Plants text at byte offsets of an existing image.
void Plant(const std::string& path, const std::vector<std::pair<uint64_t, std::string>>& texts) {
    for (const auto& [at, text] : texts) ASSERT_TRUE(PatchFile(path, at, std::vector<uint8_t>(text.begin(), text.end())));
}

// The concatenated output of search over [first, end) cut at cuts.
std::string SearchInParts(const TempDir& dir, const std::string& base, uint64_t first, uint64_t end,
                          std::vector<uint64_t> cuts) {
    cuts.push_back(end);
    std::string out;
    uint64_t at = first;
    for (uint64_t cut : cuts) {
        if (cut <= at) continue;
        const CliResult r = RunCli(dir, base + " --range " + std::to_string(at) + "-" + std::to_string(cut - 1));
        EXPECT_EQ(r.status, 0) << r.err;
        out += r.out;
        at = cut;
    }
    return out;
}

struct RangeCase {
    const char* name;
    const char* keywordArgs;
};

// Keywords planted across the cuts (3 bytes before each, so every one
// straddles a sector edge), plus random ones between them.
TEST(SearchRange, RawPartsGiveTheWholeSearchsHitsOnce) {
    TempDir dir;
    const std::string img = dir.File("raw.img");
    ASSERT_EQ(RunShell("truncate -s 24M " + Quote(img)), 0);
    const std::vector<uint64_t> cuts = {1, 777, 8192, 8193, 16384, 30000, 45055};
    std::vector<std::pair<uint64_t, std::string>> texts;
    for (uint64_t cut : cuts) texts.push_back({cut * 512 - 3, "needle at the edge"});
    std::mt19937_64 random(7);
    for (int i = 0; i < 200; ++i) texts.push_back({random() % (24u << 20) - 64, "a needle, NEEDLE!"});
    texts.push_back({4096, std::string("n\0e\0e\0d\0l\0e\0", 12)});
    Plant(img, texts);
    const RangeCase cases[] = {
        {"literal", "--keyword needle"},
        {"any case, two keywords", "--keyword needle --keyword edge --ignore-case"},
        {"word boundary expression", "--kind regex --keyword '\\bneedle\\b'"},
        {"encodings", "--keyword needle --encodings gbk,utf16le"},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = "search " + Quote(img) + " --raw --json " + c.keywordArgs;
        const CliResult whole = RunCli(dir, base);
        ASSERT_EQ(whole.status, 0) << whole.err;
        ASSERT_GT(LineCount(whole.out), cuts.size());
        EXPECT_EQ(SearchInParts(dir, base, 0, 49152, cuts), whole.out);
        // A part that holds only a straddling hit's first bytes reports it.
        const std::string edgeHit = "\"byteOffset\":" + std::to_string(777 * 512 - 3) + ",";
        const CliResult edge = RunCli(dir, base + " --range 776-776");
        EXPECT_NE(edge.out.find(edgeHit), std::string::npos) << edge.out;
        // The next part does not.
        const CliResult next = RunCli(dir, base + " --range 777-800");
        EXPECT_EQ(next.out.find(edgeHit), std::string::npos) << next.out;
    }
}

// A volume's hits name their files and count clusters from the search's
// start, not the part's.
TEST(SearchRange, FatVolumePartsKeepClustersAndFiles) {
    for (const char* tool : {"mkfs.fat", "mcopy"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    const std::string img = dir.File("fat.img");
    std::string body(300000, 'x');
    for (size_t at = 1000; at + 20 < body.size(); at += 4093) body.replace(at, 6, "needle");
    ASSERT_TRUE(WriteFileBytes(dir.File("a.txt"), std::vector<uint8_t>(body.begin(), body.end())));
    ASSERT_EQ(RunShell("truncate -s 16M " + Quote(img) + " && mkfs.fat -F 16 -s 4 " + Quote(img) +
                       " >/dev/null && mcopy -i " + Quote(img) + " " + Quote(dir.File("a.txt")) + " ::a.txt"),
              0);
    const std::string base = "search " + Quote(img) + " --json --keyword needle";
    const CliResult whole = RunCli(dir, base);
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_GT(LineCount(whole.out), 50u);
    EXPECT_EQ(SearchInParts(dir, base, 0, 32768, {100, 333, 334, 500, 1000, 9000}), whole.out);
}

TEST(SearchRange, BadRangesAreUsageErrors) {
    TempDir dir;
    const std::string img = dir.File("raw.img");
    ASSERT_EQ(RunShell("truncate -s 1M " + Quote(img)), 0);
    const std::string base = "search " + Quote(img) + " --raw --keyword x --range ";
    const struct {
        const char* range;
        const char* message;
    } cases[] = {
        {"5", "--range takes FIRST-LAST sectors: 5"},
        {"9-3", "--range: the last sector comes before the first: 9-3"},
        {"0-2048", "--range 0-2048 leaves the sectors scanned, 0-2047"},
        {"a-b", "--range takes FIRST-LAST sectors: a-b"},
    };
    for (const auto& c : cases) {
        const CliResult r = RunCli(dir, base + c.range);
        EXPECT_EQ(r.status, 2) << c.range;
        EXPECT_EQ(r.err, std::string("delvora-cli: ") + c.message + "\n");
    }
    // --from/--to narrow the search; the range must lie inside them.
    const CliResult r = RunCli(dir, base + "10-20 --from 50");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "delvora-cli: --range 10-20 leaves the sectors scanned, 50-2047\n");
}

}  // namespace
}  // namespace delvora::test
