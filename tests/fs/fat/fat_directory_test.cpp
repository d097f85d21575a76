// Directory entries to records: names, deletion marks, skips, and the check
// that decides whether a buffer looks like a directory.
#include <gtest/gtest.h>

#include "common/codepage.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_test_images.h"

namespace delvora {
namespace {

using test::LongEntry;
using test::ShortEntry;

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> entries) {
    std::vector<uint8_t> out;
    for (const auto& e : entries) out.insert(out.end(), e.begin(), e.end());
    return out;
}

std::vector<FileItem> Convert(const std::vector<uint8_t>& buffer, bool folderDeleted = false, int kind = 2) {
    std::vector<FileItem> out;
    ConvertDirectoryEntries(buffer, folderDeleted, kind, "GBK", out);
    return out;
}

TEST(FatShortNames, PaddingDotsAndCaseFlags) {
    struct Case {
        std::string name11;
        uint8_t attributes;
        uint8_t caseFlags;
        std::string expected;
    } cases[] = {
        {"README  TXT", 0x20, 0, "README.TXT"},
        {"NOEXT      ", 0x20, 0, "NOEXT"},
        {"DOCS       ", 0x10, 0, "DOCS"},
        {"V1      0  ", 0x10, 0, "V1.0"},        // a folder keeps its extension
        {"HELLO   TXT", 0x20, 0x18, "hello.txt"},  // both lower-case flags
        {"HELLO   TXT", 0x20, 0x08, "hello.TXT"},  // base only
        {"HELLO   TXT", 0x20, 0x10, "HELLO.txt"},  // extension only
        {"\xE5" "EADME  TXT", 0x20, 0, "_EADME.TXT"},
        {"\xEB" "EADME  TXT", 0x20, 0, "_EADME.TXT"},
        {"\xD6\xD0\xCE\xC4    TXT", 0x20, 0x18, "中文.txt"},  // GBK short name
    };
    for (const auto& c : cases) {
        const auto entry = ShortEntry(c.name11, c.attributes, 3, 0, c.caseFlags);
        EXPECT_EQ(FatShortName(entry, "GBK"), c.expected) << c.name11;
    }
    // 0x05 stands for a live first byte 0xE5 (a GBK lead byte).
    const auto kanji = ShortEntry("\x05\xB0      TXT", 0x20, 3, 0);
    EXPECT_EQ(FatShortName(kanji, "GBK"), ToUtf8("\xE5\xB0.TXT", "GBK"));
    EXPECT_FALSE(Convert(kanji)[0].IsDeleted());
    // Another code page decodes the same bytes differently.
    EXPECT_EQ(FatShortName(ShortEntry("\x82" "A      TXT", 0x20, 3, 0), "CP437"), "éA.TXT");
}

TEST(FatLongNames, SetsJoinAndSkip) {
    // A 30-character name in three entries, stored last part first (0x43).
    const std::u16string name = u"A very long file name here.txt";
    const auto buffer = Join({LongEntry(0x43, name.substr(26)), LongEntry(0x02, name.substr(13, 13)),
                              LongEntry(0x01, name.substr(0, 13)), ShortEntry("AVERYL~1TXT", 0x20, 5, 10),
                              ShortEntry("NEXT    TXT", 0x20, 6, 1)});
    const auto items = Convert(buffer);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_STREQ(items[0].name, "A very long file name here.txt");
    EXPECT_STREQ(items[1].name, "NEXT.TXT");

    // A deleted file keeps its long name: the deleted long-name entry is
    // skipped alone and the short entry still joins it.
    const auto deleted = Convert(Join({LongEntry(0xE5, u"中文长文件名.txt"), ShortEntry("\xE5" "E6D7~1TXT", 0x20, 7, 3)}));
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_STREQ(deleted[0].name, "中文长文件名.txt");
    EXPECT_TRUE(deleted[0].IsDeleted());

    // A damaged first entry that claims more entries than follow must not
    // swallow the short entries after the set.
    const auto damaged = Convert(Join({LongEntry(0x7F, u"x"), ShortEntry("KEPT    TXT", 0x20, 8, 1)}));
    ASSERT_EQ(damaged.size(), 1u);
    EXPECT_STREQ(damaged[0].name, "x");

    // A set without characters leaves the short name.
    const auto empty = Convert(Join({LongEntry(0x41, u""), ShortEntry("SHORT   TXT", 0x20, 8, 1)}));
    EXPECT_STREQ(empty[0].name, "SHORT.TXT");
}

TEST(FatLongNames, NamesAreCutAt259BytesOnACharacterBoundary) {
    const std::u16string chunk(13, u'中');  // three UTF-8 bytes each
    std::vector<uint8_t> buffer;
    for (int seq = 25; seq >= 1; --seq) {
        const auto e = LongEntry(static_cast<uint8_t>(seq == 25 ? 0x40 | seq : seq), chunk);
        buffer.insert(buffer.end(), e.begin(), e.end());
    }
    const auto s = ShortEntry("LONG~1  TXT", 0x20, 3, 1);
    buffer.insert(buffer.end(), s.begin(), s.end());
    const auto items = Convert(buffer);
    ASSERT_EQ(items.size(), 1u);
    std::string expected;
    for (int i = 0; i < 86; ++i) expected += "中";
    EXPECT_EQ(std::string(items[0].name), expected);  // 258 bytes: a 259th would split a character
}

TEST(FatDirectoryEntries, SkipsStopsAndFlags) {
    const auto buffer = Join({ShortEntry(".          ", 0x10, 3, 0), ShortEntry("..         ", 0x10, 0, 0),
                              ShortEntry("MYVOLUME   ", 0x08, 0, 0), ShortEntry("SUB        ", 0x10, 9, 0),
                              ShortEntry("\xE5" "ONE    TXT", 0x20, 10, 6), ShortEntry("FILE    BIN", 0x21, 0x12345, 77),
                              std::vector<uint8_t>(32, 0), ShortEntry("AFTER   TXT", 0x20, 11, 1)});
    const auto items = Convert(buffer);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_STREQ(items[0].name, "SUB");
    EXPECT_TRUE(items[0].IsDirectory());
    EXPECT_FALSE(items[0].IsDeleted());
    EXPECT_STREQ(items[1].name, "_ONE.TXT");
    EXPECT_TRUE(items[1].IsDeleted());
    EXPECT_EQ(items[2].attributes, 0x21);
    EXPECT_EQ(items[2].size, 77u);
    EXPECT_EQ(items[2].createTime, 0x5000);
    EXPECT_EQ(items[2].writeDate, ((2021 - 1980) << 9) | (1 << 5) | 2);
    // FAT16 takes the low word only; FAT32 joins the high word.
    EXPECT_EQ(items[2].startCluster, 0x2345u);
    EXPECT_EQ(Convert(buffer, false, 3)[2].startCluster, 0x12345u);
    // Everything in a deleted folder is deleted.
    for (const auto& item : Convert(buffer, true)) EXPECT_TRUE(item.IsDeleted()) << item.name;
}

class DirectoryBufferCheck : public ::testing::Test {
protected:
    bool Check(std::vector<uint8_t> buffer, uint32_t clusterCount = 100, uint64_t dataBytes = 1 << 20) {
        return CheckDirectoryBuffer(buffer, static_cast<uint32_t>(buffer.size() / 32), clusterCount, 2, dataBytes,
                                    options);
    }
    AnalysisOptions options;
    std::vector<uint8_t> good = ShortEntry("GOOD    TXT", 0x20, 5, 100);
};

TEST_F(DirectoryBufferCheck, EndMarkerNeedsAZeroTail) {
    auto buffer = Join({good, std::vector<uint8_t>(96, 0)});
    EXPECT_TRUE(Check(buffer));
    buffer[32 * 2 + 7] = 1;  // one stray byte after the end marker
    EXPECT_FALSE(Check(buffer));
}

TEST_F(DirectoryBufferCheck, EveryRuleRejects) {
    auto with = [&](auto change) {
        auto e = good;
        change(e);
        return Join({e, std::vector<uint8_t>(32, 0)});
    };
    EXPECT_FALSE(Check(with([](auto& e) { e[11] |= 0x40; })));
    EXPECT_FALSE(Check(with([](auto& e) { e[14] = e[15] = 0; })));  // creation time 0
    EXPECT_FALSE(Check(with([](auto& e) { e[18] = e[19] = 0; })));  // access date 0
    EXPECT_FALSE(Check(with([](auto& e) { e[16] = 33; e[17] = 0; })));  // 1980 creation date
    EXPECT_FALSE(Check(with([](auto& e) { e[11] = 0x10; })));  // live folder with a size
    EXPECT_FALSE(Check(with([](auto& e) { e[26] = 200; })));   // cluster beyond the volume
    EXPECT_FALSE(Check(with([](auto& e) { e[3] = ':'; })));
    EXPECT_FALSE(Check(with([](auto& e) { std::fill(e.begin(), e.begin() + 17, 'A'); })));
    EXPECT_FALSE(Check(with([](auto& e) { e[31] = 0x80; })));  // size from 2^31
    EXPECT_FALSE(Check(with([](auto& e) { e[30] = 0x20; })));  // size beyond the data bytes
    // A deleted folder may have a size; a long-name entry has no dates.
    EXPECT_TRUE(Check(with([](auto& e) { e[0] = 0xE5; e[11] = 0x10; })));
    EXPECT_TRUE(Check(Join({LongEntry(0x41, u"good.txt"), good})));
}

TEST_F(DirectoryBufferCheck, ZeroTimesPassWhenTheOptionsAreOff) {
    auto e = good;
    e[14] = e[15] = 0;
    e[18] = e[19] = 0;
    EXPECT_FALSE(Check(e));
    options.ignoreZeroTime = 0;
    EXPECT_FALSE(Check(e));  // the zero access date still fails
    options.ignoreZeroDate = 0;
    EXPECT_FALSE(Check(e));  // below 512 whatever the options
    e[18] = 0x21;
    e[19] = 0x50;
    EXPECT_TRUE(Check(e));
}

}  // namespace
}  // namespace delvora
