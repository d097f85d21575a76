// Keyword text to byte pattern and to its preview, for every type.
#include <gtest/gtest.h>

#include "search/keyword.h"
#include "support/recorders.h"

namespace delvora {
namespace {

struct PatternCase {
    const char* text;
    uint32_t type;
    const char* preview;  // empty: a format error
};

TEST(Keyword, PatternsAndPreviews) {
    const PatternCase cases[] = {
        {"AB", kKeywordAscii, "[41][42]"},
        {"AB", kKeywordUnicode, "[4100][4200]"},
        {"A\\x0B", kKeywordHex, "[41][0B]"},
        {"中", kKeywordAscii, "[D6][D0]"},
        {"中", kKeywordUnicode, "[2D4E]"},
        {"中\\x41", kKeywordHex, "[D6][D0][41]"},
        {"AB", kKeywordHex, "[41][42]"},               // no escape: as ASCII
        {"\\x0a\\X0A", kKeywordHex, "[0A][0A]"},        // either case of x and of the digits
        {"\\y41", kKeywordHex, "[5C][79][34][31]"},     // not an escape: literal bytes
        {"a\\", kKeywordHex, "[61][5C]"},
        {"A\\x4", kKeywordHex, ""},                     // one digit only
        {"A\\x", kKeywordHex, ""},
        {"\\xG1", kKeywordHex, ""},
        {"\\x4中", kKeywordHex, ""},
        {"x\\x41", kKeywordHex, "[78][41]"},
    };
    test::RecordingNotifier notifier;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " type " + std::to_string(c.type));
        std::string preview = "stale";
        preview.clear();
        const int formatted = FormatKeywordBytes(c.text, c.type, "GBK", preview, notifier);
        EXPECT_EQ(formatted, *c.preview ? 1 : 0);
        EXPECT_EQ(preview, c.preview);
        std::vector<uint8_t> pattern;
        EXPECT_EQ(KeywordToPattern(c.text, c.type, "GBK", kPatternCapacity, pattern, notifier), formatted);
        EXPECT_EQ(pattern.size() * (c.type == kKeywordUnicode ? 3 : 4), std::string(c.preview).size());
    }
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST(Keyword, LimitsAndBadTypesSayWhy) {
    struct Case {
        std::string text;
        uint32_t type;
        uint32_t capacity;
        int result;
        const char* message;  // null: none
    };
    const Case cases[] = {
        {std::string(254, 'a'), kKeywordAscii, 512, 1, nullptr},
        {std::string(255, 'a'), kKeywordAscii, 512, 0, kKeywordTooLong},
        {std::string(255, 'a'), kKeywordUnicode, 512, 0, kKeywordTooLong},
        {std::string(252, 'a') + "中", kKeywordAscii, 512, 1, nullptr},  // 254 code-page bytes, 255 in UTF-8
        {std::string(253, 'a') + "中", kKeywordHex, 512, 0, kKeywordTooLong},
        {[] { std::string s; for (int i = 0; i < 128; ++i) s += "中"; return s; }(), kKeywordAscii, 512, 0,
         kKeywordTooLong},                                                            // 256 GBK bytes
        {"ABCD", kKeywordAscii, 4, 0, kBufferTooSmall},                               // no room for the zero
        {"ABCD", kKeywordAscii, 5, 1, nullptr},
        {"AB", 3, 512, 0, kBadParameter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 8) + "... type " + std::to_string(c.type));
        test::RecordingNotifier notifier;
        std::vector<uint8_t> pattern;
        EXPECT_EQ(KeywordToPattern(c.text, c.type, "GBK", c.capacity, pattern, notifier), c.result);
        std::string preview;
        EXPECT_EQ(FormatKeywordBytes(c.text, c.type, "GBK", preview, notifier) != 0,
                  c.result == 1 || (c.message && std::string(c.message) == kBufferTooSmall));
        std::vector<std::string> expected;
        if (c.message) expected.assign(c.message == std::string(kBufferTooSmall) ? 1 : 2, c.message);
        EXPECT_EQ(notifier.Texts(), expected);
    }
}

}  // namespace
}  // namespace delvora
