#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>

#include "common/archive.h"
#include "common/bytes.h"
#include "common/codepage.h"
#include "common/text_encoding.h"
#include "common/text_format.h"

namespace delvora {
namespace {

TEST(Codepage, GbkRoundTripAndBadBytes) {
    const std::string utf8 = "回收站 report.txt";
    const std::string gbk = Utf8ToGbk(utf8);
    EXPECT_EQ(gbk, "\xBB\xD8\xCA\xD5\xD5\xBE report.txt");
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
    // A lead byte without its trail byte decodes to a replacement, not a crash.
    EXPECT_EQ(GbkToUtf8("A\x81"), "A\xEF\xBF\xBD");
    // A character GBK lacks becomes '?', the rest survives.
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80" "b"), "a?b");
}

TEST(Codepage, Utf16AndCuts) {
    const uint8_t le[] = {0x2D, 0x4E, 0x87, 0x65, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8};
    // 中文, a surrogate pair (U+1F600) and an unpaired high surrogate.
    EXPECT_EQ(Utf16LeBytesToUtf8(le), "中文\xF0\x9F\x98\x80\xEF\xBF\xBD");
    // ASCII before and after other characters, and a text longer than any
    // name; an odd last byte is no unit.
    std::vector<uint8_t> longer;
    for (int i = 0; i < 300; ++i) longer.insert(longer.end(), {static_cast<uint8_t>('a' + i % 26), 0});
    longer.insert(longer.end(), {0x2D, 0x4E, 'z', 0, 'q'});
    std::string want;
    for (int i = 0; i < 300; ++i) want += static_cast<char>('a' + i % 26);
    EXPECT_EQ(Utf16LeBytesToUtf8(longer), want + "中z");
    EXPECT_EQ(Utf16LeBytesToUtf8(std::span<const uint8_t>(longer).last(5)), "中z");
    EXPECT_EQ(Utf8ToUtf16("中a"), std::u16string(u"中a"));
    EXPECT_EQ(CutUtf8("ab中文", 4), "ab");  // never splits a character
    EXPECT_EQ(CutUtf8("ab中文", 5), "ab中");
    EXPECT_EQ(SanitizeUtf8("ok\xFF\xC3"), "ok\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8("Bl\xC3\xA4tter\xFFx\xE4\xB8\xAD"), "Bl\xC3\xA4tter\xEF\xBF\xBDx\xE4\xB8\xAD");
}

TEST(TextFormat, DatesAndLogNumbers) {
    // 2004-01-10 13:37:04 as DOS date and time.
    const uint16_t date = ((2004 - 1980) << 9) | (1 << 5) | 10;
    const uint16_t time = (13 << 11) | (37 << 5) | 2;
    EXPECT_EQ(FormatDosDateTime(date, time), "2004-01-10 13:37:04");
    EXPECT_EQ(FormatDosDateTime(0, 0), "1980-00-00 00:00:00");
    EXPECT_EQ(LogLinePrefix(1), "    1.  ");
    EXPECT_EQ(LogLinePrefix(12345), "12345.  ");
    EXPECT_EQ(LogLinePrefix(123456), "123456.  ");
}

TEST(TextFormat, DosPackingKeepsToTheDosRange) {
    std::tm tm{};
    tm.tm_year = 2107 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 31;
    tm.tm_hour = 23;
    tm.tm_min = 59;
    tm.tm_sec = 59;
    uint16_t date = 1, time = 1;
    ASSERT_TRUE(PackDosDateTime(tm, date, time));
    EXPECT_EQ(FormatDosDateTime(date, time), "2107-12-31 23:59:58");
    for (int year : {1979, 2108}) {
        tm.tm_year = year - 1900;
        EXPECT_FALSE(PackDosDateTime(tm, date, time)) << year;
        EXPECT_EQ(date, 0);
        EXPECT_EQ(time, 0);
    }
}

TEST(TextFormat, DosPackingOfSecondsAgreesWithTheBrokenDownForm) {
    // Days from before 1970 to past 2107 in uneven steps, each followed by a
    // second earlier, a day later and a stamp far away, so the remembered
    // day is both reused and replaced; the range ends are checked exactly.
    std::vector<int64_t> stamps = {315532800, 315532799, 4354819199, 4354819200, -1, 0};
    for (int64_t t = -86400 * 400; t < 4354819200 + 86400 * 400; t += 86400 * 13 + 4111)
        stamps.insert(stamps.end(), {t, t - 1, t + 86400, 1700000000});
    for (const int64_t t : stamps) {
        const time_t value = static_cast<time_t>(t);
        std::tm tm{};
        ASSERT_NE(gmtime_r(&value, &tm), nullptr);
        uint16_t wantDate = 1, wantTime = 1, date = 1, time = 1;
        const bool wantFits = PackDosDateTime(tm, wantDate, wantTime);
        ASSERT_EQ(PackDosDateTime(t, date, time), wantFits) << t;
        ASSERT_EQ(date, wantDate) << t;
        ASSERT_EQ(time, wantTime) << t;
    }
}

TEST(TextFormat, UtcTicksAgreeWithTheCLibrary) {
    EXPECT_EQ(FormatUtcTicks(0), "1601-01-01T00:00:00Z");
    EXPECT_EQ(FormatUtcTicks(UnixToUtcTicks(0, 123456700)), "1970-01-01T00:00:00.1234567Z");
    EXPECT_EQ(FormatUtcTicks(UnixToUtcTicks(951782400, 500000000)), "2000-02-29T00:00:00.5Z");
    // Every leap-year rule and month end, checked against gmtime_r.
    for (int64_t t = -11644473600 + 86399; t < 32503680000; t += 86400 * 37 + 3671) {
        const time_t value = static_cast<time_t>(t);
        std::tm tm{};
        ASSERT_NE(gmtime_r(&value, &tm), nullptr);
        char expected[40];
        std::strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%SZ", &tm);
        ASSERT_EQ(FormatUtcTicks(UnixToUtcTicks(t)), expected) << t;
    }
}

// Bytes from a medium (boot-sector fields, names) in JSON strings and in
// text for a terminal or a log line.
TEST(TextFormat, JsonStringsAreValidUtf8AndControlsAreEscaped) {
    const struct {
        std::string_view in, json, text;
    } cases[] = {
        {"plain", "\"plain\"", "plain"},
        {"q\"b\\", "\"q\\\"b\\\\\"", "q\"b\\"},
        {"\x1b[2J\n\t\x7f", "\"\\u001b[2J\\n\\t\\u007f\"", "\\x1b[2J\\x0a\\x09\\x7f"},
        {"中文", "\"中文\"", "中文"},
        // An invalid lead, a cut sequence, an overlong form, a surrogate.
        {"FAT\xff\xfe", "\"FAT\xEF\xBF\xBD\xEF\xBF\xBD\"", "FAT\xff\xfe"},
        {"a\xe4\xb8", "\"a\xEF\xBF\xBD\xEF\xBF\xBD\"", "a\xe4\xb8"},
        {"\xc0\xaf", "\"\xEF\xBF\xBD\xEF\xBF\xBD\"", "\xc0\xaf"},
        {"\xed\xa0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"", "\xed\xa0\x80"},
        // U+009B is a one-character CSI for some terminals.
        {"x\xc2\x9b" "2J", "\"x\xc2\x9b" "2J\"", "x\\u009b2J"},
        {std::string_view("nul\0end", 7), "\"nul\\u0000end\"", "nul\\x00end"},
        // Plain runs around escapes, a lead byte cut at the end.
        {"\xc2\xa9 a\x01", "\"\xc2\xa9 a\\u0001\"", "\xc2\xa9 a\\x01"},
        {"cut\xc2", "\"cut\xEF\xBF\xBD\"", "cut\xc2"},
        // Long runs, where whole words are passed over at a time.
        {"0123456789abcdef\x7f" "0123456789\xc2\x9b" "x", "\"0123456789abcdef\\u007f0123456789\xc2\x9b" "x\"",
         "0123456789abcdef\\x7f0123456789\\u009bx"},
        {"abcdefgh\xc2\xa9ijklmnopqrstuvw\x1f", "\"abcdefgh\xc2\xa9ijklmnopqrstuvw\\u001f\"",
         "abcdefgh\xc2\xa9ijklmnopqrstuvw\\x1f"},
    };
    for (const auto& c : cases) {
        std::string json;
        AppendJsonString(json, c.in);
        EXPECT_EQ(json, c.json) << c.in;
        EXPECT_EQ(SanitizeUtf8(json), json) << c.in;
        EXPECT_EQ(EscapeControls(c.in), c.text) << c.in;
    }
}

TEST(Bytes, ReadsOutsideTheSpanGiveZero) {
    const uint8_t b[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(Le32(b, 1), 0x05040302u);
    EXPECT_EQ(Le32(b, 2), 0u);
    EXPECT_EQ(Le16(b, SIZE_MAX), 0u);
    EXPECT_FALSE(Has(b, 4, SIZE_MAX));
    EXPECT_EQ(Slice(b, 3, 100).size(), 2u);
    EXPECT_TRUE(Slice(b, 9, 1).empty());
}

std::vector<uint8_t> Written(const std::string& text) {
    ArchiveWriter w;
    w.WriteRawString(text);
    return w.Bytes();
}

TEST(Archive, StringLengthForms) {
    EXPECT_EQ(Written("ab"), (std::vector<uint8_t>{2, 'a', 'b'}));
    const auto at254 = Written(std::string(254, 'x'));
    EXPECT_EQ(at254[0], 254);
    const auto at255 = Written(std::string(255, 'x'));
    EXPECT_EQ((std::vector<uint8_t>(at255.begin(), at255.begin() + 3)), (std::vector<uint8_t>{0xFF, 0xFF, 0x00}));
    const auto at65534 = Written(std::string(0xFFFE, 'x'));
    EXPECT_EQ((std::vector<uint8_t>(at65534.begin(), at65534.begin() + 7)),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
    for (size_t n : {0u, 254u, 255u, 0xFFFDu, 0xFFFEu, 70000u}) {
        const auto bytes = Written(std::string(n, 'y'));
        ArchiveReader r(bytes);
        std::string back;
        ASSERT_TRUE(r.ReadString(back)) << n;
        EXPECT_EQ(back.size(), n);
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(Archive, GbkAndWideStrings) {
    ArchiveWriter w;
    w.WriteString("文件");
    w.WriteU32(0x11223344);
    ArchiveReader r(w.Bytes());
    std::string text;
    uint32_t v = 0;
    ASSERT_TRUE(r.ReadString(text));
    ASSERT_TRUE(r.ReadU32(v));
    EXPECT_EQ(text, "文件");
    EXPECT_EQ(v, 0x11223344u);

    const std::vector<uint8_t> wide{0xFF, 0xFE, 0xFF, 2, 0x2D, 0x4E, 'A', 0};
    ArchiveReader rw(wide);
    ASSERT_TRUE(rw.ReadString(text));
    EXPECT_EQ(text, "中A");
}

TEST(Archive, TruncatedAndAbsurdLengthsFail) {
    // A 32-bit length far beyond the data must fail without allocating it.
    const std::vector<uint8_t> absurd{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'};
    ArchiveReader r(absurd);
    std::string text = "kept";
    EXPECT_FALSE(r.ReadString(text));
    EXPECT_EQ(text, "kept");
    EXPECT_TRUE(r.Failed());
    uint8_t b;
    EXPECT_FALSE(r.ReadU8(b));  // stays failed

    const std::vector<uint8_t> cut{3, 'a', 'b'};
    ArchiveReader rc(cut);
    EXPECT_FALSE(rc.ReadString(text));
    const std::vector<uint8_t> nestedWide{0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 1};
    ArchiveReader rn(nestedWide);
    EXPECT_FALSE(rn.ReadString(text));
}

TEST(TextEncoding, FirstBytesDecide) {
    using E = TextEncoding;
    const struct {
        const char* what;
        std::string bytes;
        bool more;
        std::optional<E> expected;
    } cases[] = {
        {"plain ASCII leaves it open", "line one\r\n", false, std::nullopt},
        {"UTF-8 Chinese", "x \xE4\xB8\xAD\xE6\x96\x87\n", false, E::kUtf8},
        {"GBK Chinese", "x \xD6\xD0\xCE\xC4\n", false, E::kGbk},
        {"UTF-8 mark", "\xEF\xBB\xBF" "abc", false, E::kUtf8},
        {"UTF-16LE mark", std::string("\xFF\xFE" "a\0", 4), false, E::kUtf16Le},
        {"a NUL is no text", std::string("\xE4\xB8\xAD\0", 4), false, E::kGbk},
        {"a character cut by the page end", "abc\xE4\xB8", true, std::nullopt},
        {"the same at the file end", "abc\xE4\xB8", false, E::kGbk},
        {"UTF-8 before a cut character", "\xC3\xA9\xE4", true, E::kUtf8},
        {"overlong form", "\xC0\xAF", false, E::kGbk},
    };
    for (const auto& c : cases) {
        const auto bytes = std::span(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
        EXPECT_EQ(SniffTextEncoding(bytes, c.more), c.expected) << c.what;
    }
}

TEST(TextEncoding, CharactersAreNeverSplit) {
    const std::string utf8 = "a\xE4\xB8\xAD\xF0\x9F\x98\x80";
    const auto u8 = std::span(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size());
    EXPECT_EQ(TextCharLength(u8, 1, TextEncoding::kUtf8), 3u);
    EXPECT_EQ(TextCharLength(u8, 4, TextEncoding::kUtf8), 4u);
    // A GBK lead byte takes its trail; one left at the end stands alone.
    const uint8_t gbk[] = {'a', 0xD6, 0xD0, 0xCE};
    EXPECT_EQ(TextCharLength(gbk, 1, TextEncoding::kGbk), 2u);
    EXPECT_EQ(TextCharLength(gbk, 3, TextEncoding::kGbk), 1u);
    // UTF-16LE: a surrogate pair as one character, "\n\0" a line feed.
    const uint8_t wide[] = {0x3D, 0xD8, 0x00, 0xDE, '\n', 0, 0x0A, 0x4E};
    EXPECT_EQ(TextCharLength(wide, 0, TextEncoding::kUtf16Le), 4u);
    EXPECT_TRUE(IsLineFeedAt(wide, 4, TextEncoding::kUtf16Le));
    EXPECT_FALSE(IsLineFeedAt(wide, 6, TextEncoding::kUtf16Le));
    EXPECT_EQ(DecodeText(std::span(wide).first(6), TextEncoding::kUtf16Le), "\xF0\x9F\x98\x80\n");
}

}  // namespace
}  // namespace delvora
