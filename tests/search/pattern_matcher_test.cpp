// The matcher against a plain comparison at every position.
#include <gtest/gtest.h>

#include <random>

#include "search/pattern_matcher.h"

namespace delvora {
namespace {

std::vector<PatternStart> Naive(const std::vector<std::vector<uint8_t>>& patterns, const std::vector<uint8_t>& data,
                                size_t limit) {
    std::vector<PatternStart> out;
    for (size_t p = 0; p < data.size() && p < limit; ++p)
        for (uint32_t i = 0; i < patterns.size(); ++i)
            if (p + patterns[i].size() <= data.size() &&
                std::equal(patterns[i].begin(), patterns[i].end(), data.begin() + static_cast<std::ptrdiff_t>(p)))
                out.push_back({p, i});
    return out;
}

TEST(PatternMatcher, FindsWhatAPlainComparisonFinds) {
    std::mt19937 random(7);
    // A small alphabet makes overlapping and partial matches common.
    const std::vector<std::vector<std::vector<uint8_t>>> sets = {
        {{'a'}},
        {{'a', 'a'}},
        {{'a', 'a', 'a'}, {'a', 'b'}},
        {{'a', 'b', 'a', 'b', 'c'}, {'c'}, {'b', 'a'}},
        {{0, 0}, {0, 'a', 0}},
        {std::vector<uint8_t>(40, 'a')},
    };
    for (const auto& patterns : sets) {
        for (size_t size : {0u, 1u, 31u, 32u, 33u, 100u, 4099u}) {
            std::vector<uint8_t> data(size);
            for (auto& b : data) b = "aabc\0"[random() % 5];
            for (size_t limit : {size, size / 2, size + 7}) {
                PatternMatcher matcher;
                ASSERT_TRUE(matcher.SetPatterns(patterns));
                std::vector<PatternStart> found;
                matcher.FindAll(data, limit, found);
                const auto expected = Naive(patterns, data, limit);
                ASSERT_EQ(found.size(), expected.size()) << "size " << size << " limit " << limit;
                for (size_t i = 0; i < found.size(); ++i) {
                    EXPECT_EQ(found[i].position, expected[i].position);
                    EXPECT_EQ(found[i].pattern, expected[i].pattern);
                }
            }
        }
    }
}

TEST(PatternMatcher, RefusesEmptyPatterns) {
    PatternMatcher matcher;
    EXPECT_FALSE(matcher.SetPatterns({}));
    EXPECT_FALSE(matcher.SetPatterns({{'a'}, {}}));
    EXPECT_EQ(matcher.PatternCount(), 0u);
}

}  // namespace
}  // namespace delvora
