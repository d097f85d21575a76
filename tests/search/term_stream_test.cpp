// The read loop as one stream (a source read block by block, not mapped):
// matches that begin far back in the previous block, literals through the
// engine and through the vector filter together, hits in source order.
#include <gtest/gtest.h>

#include "disk/data_source.h"
#include "search/keyword.h"
#include "search/keyword_search.h"
#include "search/search_terms.h"
#include "support/memory_backend.h"
#include "support/recorders.h"

namespace delvora {
namespace {

constexpr uint64_t kMiB = 1 << 20;

void Put(std::vector<uint8_t>& bytes, uint64_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST(TermStream, MatchesAcrossReadBlocksComeOnceAndInOrder) {
    std::vector<uint8_t> bytes(9 * kMiB);
    const uint64_t edge = 4 * kMiB;
    Put(bytes, edge - 1500, "<<" + std::string(3000, 'x') + ">>");  // begins 1500 bytes before the block's end
    Put(bytes, 2 * edge - 2, "ab123");
    Put(bytes, edge + 4000, "ab9 k1 k2 k3 k4 k5 k6 EXACT");
    Put(bytes, 8 * kMiB + 100, "k6EXACT");
    test::RecordingContext rc;
    DataSource source(rc.context);
    source.OpenWithBackend(std::make_unique<test::MemoryBackend>(bytes, std::set<uint64_t>{}));

    std::vector<KeywordSpec> keywords = {{"<<x+>>", kKeywordRegex}, {"ab\\d+", kKeywordRegex}};
    keywords[0].maxMatch = 4096;
    // Six literals in either case go to the engine, one exact text through the filter.
    for (const char* literal : {"K1", "k2", "k3", "k4", "k5", "k6"}) {
        keywords.push_back({literal, kKeywordAscii});
        keywords.back().ignoreCase = true;
    }
    keywords.push_back({"EXACT", kKeywordHex});
    std::vector<KeywordHit> hits;
    ASSERT_EQ(SearchSource(source, rc.context, keywords, 0, bytes.size() / 512, nullptr, hits), 1);
    std::vector<std::pair<uint64_t, uint32_t>> found;
    for (const KeywordHit& hit : hits) found.push_back({hit.byteOffset, hit.keyword});
    const uint64_t k = edge + 4004;
    EXPECT_EQ(found, (std::vector<std::pair<uint64_t, uint32_t>>{{edge - 1500, 0}, {edge + 4000, 1}, {k, 2},
                                                                  {k + 3, 3}, {k + 6, 4}, {k + 9, 5}, {k + 12, 6},
                                                                  {k + 15, 7}, {k + 18, 8}, {2 * edge - 2, 1},
                                                                  {8 * kMiB + 100, 7}, {8 * kMiB + 102, 8}}));
    ASSERT_FALSE(hits.empty());
    EXPECT_EQ(hits[0].length, 3004u);
    EXPECT_NE(hits[0].hitText.find("<<xxx"), std::string::npos);
    EXPECT_EQ(hits[1].length, 3u);
    ASSERT_EQ(hits.size(), 12u);
    EXPECT_EQ(hits[9].length, 5u);

    // With the default bound the long match is not reported; the rest stay.
    keywords[0].maxMatch = kDefaultMaxMatch;
    hits.clear();
    ASSERT_EQ(SearchSource(source, rc.context, keywords, 0, bytes.size() / 512, nullptr, hits), 1);
    EXPECT_EQ(hits.size(), found.size() - 1);
}

}  // namespace
}  // namespace delvora
