// The search over a source in memory: block boundaries, the source's end,
// bad sectors, stopping, the hit text, and refusals.
#include <gtest/gtest.h>

#include "case/keyword_search_worker.h"
#include "disk/data_source.h"
#include "search/keyword.h"
#include "search/source_scan.h"
#include "support/memory_backend.h"
#include "support/recorders.h"

namespace delvora {
namespace {

struct MemorySource {
    test::RecordingContext rc;
    DataSource source{rc.context};
    MemorySource(std::vector<uint8_t> bytes, std::set<uint64_t> bad = {}) {
        source.OpenWithBackend(std::make_unique<test::MemoryBackend>(std::move(bytes), std::move(bad)));
    }
};

void Put(std::vector<uint8_t>& bytes, size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST(KeywordSearch, WholeSourceFindsEveryStartOnceAndSkipsWhatCannotBeRead) {
    constexpr size_t kMiB = 1 << 20;
    std::vector<uint8_t> bytes(9 * kMiB);
    Put(bytes, 0, "KEYS");
    Put(bytes, 4 * kMiB - 2, "KEYKEYS");    // across a 4 MiB read, overlapping itself
    Put(bytes, 5 * kMiB, "KEY");
    Put(bytes, 6 * kMiB, "KEY");            // in a sector that cannot be read
    Put(bytes, 9 * kMiB - 4, "KEYS");       // the last bytes of the source
    MemorySource m(bytes, {6 * kMiB / 512});
    std::vector<KeywordHit> hits;
    ASSERT_EQ(SearchSource(m.source, m.rc.context, {{"KEY", kKeywordAscii}, {"EYK", kKeywordAscii}}, 0, 9 * kMiB / 512,
                           nullptr, hits),
              1);
    std::vector<std::pair<uint64_t, uint32_t>> found;
    for (const auto& hit : hits) found.push_back({hit.byteOffset, hit.keyword});
    EXPECT_EQ(found, (std::vector<std::pair<uint64_t, uint32_t>>{
                         {0, 0}, {4 * kMiB - 2, 0}, {4 * kMiB - 1, 1}, {4 * kMiB + 1, 0}, {5 * kMiB, 0}, {9 * kMiB - 4, 0}}));
    EXPECT_EQ(hits[1].position, (4 * kMiB - 2) / 512);
    EXPECT_EQ(hits[1].offset, 510u);

    // A range that ends before a hit's last bytes still finds it: the bytes
    // after the range serve as look-ahead.
    hits.clear();
    ASSERT_EQ(SearchSource(m.source, m.rc.context, {{"KEY", kKeywordAscii}}, 0, (4 * kMiB) / 512, nullptr, hits), 1);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[1].byteOffset, 4 * kMiB - 2);
}

TEST(KeywordSearch, StoppingKeepsTheHitsFoundSoFar) {
    std::vector<uint8_t> bytes(12 << 20);
    for (size_t at : {size_t{100}, size_t{5} << 20, size_t{9} << 20}) Put(bytes, at, "STOP");
    MemorySource m(bytes);
    std::vector<KeywordHit> hits;
    // The examiner stops as soon as something was found.
    ASSERT_EQ(SearchSource(m.source, m.rc.context, {{"STOP", kKeywordAscii}}, 0, bytes.size() / 512,
                           [&] { return hits.empty(); }, hits),
              1);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].byteOffset, 100u);
}

TEST(KeywordSearch, HitTextFollowsTheWindow) {
    std::vector<uint8_t> bytes(64);
    Put(bytes, 0, "abcdefghKEY\x01mnopqrstuvwxyz");
    const ScanBlock block{ByteSpan(bytes.data(), bytes.size()), 1000};
    struct Case {
        uint64_t hit, windowStart, windowBytes, windowLimit;
        const char* text;
    };
    const Case cases[] = {
        {1008, 1000, 32, 1032, "hKEY.m"},    // 2L from p - L/2
        {1008, 1008, 32, 1040, "KEY.mn"},    // at the window's start: 2L from there
        {1008, 1000, 10, 1020, "KEY"},       // 2L would pass the window's end: L from the hit
        {1008, 1000, 32, 1011, "hKEY"},       // never past the window's limit
    };
    for (const auto& c : cases) EXPECT_EQ(HitContext(block, c.hit, 3, c.windowStart, c.windowBytes, c.windowLimit, "GBK"), c.text);
}

TEST(KeywordSearch, RefusedWhileBusyAndForBadKeywords) {
    test::RecordingContext rc;
    CaseWorkspace workspace(rc.context);
    workspace.SetBusy(1);  // a volume is loading
    SearchRequest request;
    request.keyword = workspace.Keywords().children[0].get();
    EXPECT_EQ(StartKeywordSearch(workspace, request), kSearchBusy);
    EXPECT_EQ(rc.notifier.Texts(), std::vector<std::string>{kThreadBusy});
    EXPECT_TRUE(workspace.Searches().children.empty());
    workspace.SetBusy(0);

    MemorySource m(std::vector<uint8_t>(4096));
    std::vector<KeywordHit> hits;
    for (const KeywordSpec& bad : {KeywordSpec{"A\\x4", kKeywordHex}, KeywordSpec{"", kKeywordAscii},
                                   KeywordSpec{std::string(255, 'a'), kKeywordAscii}})
        EXPECT_EQ(SearchSource(m.source, m.rc.context, {bad}, 0, 8, nullptr, hits), 0);
    EXPECT_EQ(m.rc.notifier.Texts(), std::vector<std::string>{kKeywordTooLong});
}

}  // namespace
}  // namespace delvora
