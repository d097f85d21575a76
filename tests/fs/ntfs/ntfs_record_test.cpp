// Record-level decoding: run lists, the update-sequence fix-up, times, and
// the attribute walks with their fallbacks for damaged headers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "common/bytes.h"
#include "fs/ntfs/ntfs_attribute_info.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_run_list.h"
#include "fs/ntfs/ntfs_time.h"
#include "ntfs_builder.h"

namespace delvora::test {
namespace {

std::vector<ClusterRun> Decode(const Bytes& bytes) {
    ClusterRunList runs;
    EXPECT_TRUE(DecodeRunList(bytes, runs));
    return runs.Runs();
}

TEST(NtfsRunList, DecodesSignedOffsetsAndStopsWhereTheModelEnds) {
    // A one-byte offset 0x80 is -128 from the previous run's start.
    EXPECT_EQ(Decode({0x21, 0x10, 0x00, 0x01, 0x11, 0x05, 0x80, 0x00}),
              (std::vector<ClusterRun>{{256, 16}, {128, 5}}));
    // A sparse first run (no offset field) ends the list at once.
    EXPECT_TRUE(Decode({0x01, 0x10, 0x21, 0x10, 0x00, 0x01, 0x00}).empty());
    // A five-byte length does not fit a 32-bit count: the list ends there.
    EXPECT_EQ(Decode({0x11, 0x02, 0x10, 0x15, 1, 2, 3, 4, 5, 0x20, 0x00}), (std::vector<ClusterRun>{{16, 2}}));
    // A run whose fields run past the bytes is not read.
    EXPECT_EQ(Decode({0x11, 0x02, 0x10, 0x44, 0x01, 0x00}), (std::vector<ClusterRun>{{16, 2}}));
    // Four-byte fields with a negative offset.
    EXPECT_EQ(Decode({0x44, 1, 0, 0, 0, 0, 0, 1, 0, 0x44, 2, 0, 0, 0, 0x00, 0xFF, 0xFF, 0xFF, 0}),
              (std::vector<ClusterRun>{{0x10000, 1}, {0xFF00, 2}}));
    EXPECT_EQ(Decode(EncodeRuns({{100, 3}, {40, 7}, {90000, 2}})),
              (std::vector<ClusterRun>{{100, 3}, {40, 7}, {90000, 2}}));
}

TEST(NtfsFixup, RestoresStrideEndsAndRefusesTornRecords) {
    Bytes record = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"a")});
    record[0x33] = 0xAB;  // saved bytes of stride 0 (the original were 0)
    Bytes copy = record;
    EXPECT_EQ(ApplyFixup(copy), FixupResult::Applied);
    EXPECT_EQ(copy[511], 0xAB);
    EXPECT_EQ(copy[1022], 0);

    Bytes torn = record;
    PutLe16(&torn[1022], 7);  // second stride written by a later update
    Bytes tornCopy = torn;
    EXPECT_EQ(ApplyFixup(tornCopy), FixupResult::Mismatch);
    EXPECT_EQ(tornCopy, torn);

    Bytes zero(1024, 0);
    EXPECT_EQ(ApplyFixup(zero), FixupResult::Absent);
    Bytes badArray = record;
    PutLe16(&badArray[4], 1020);  // array would run past the record
    EXPECT_EQ(ApplyFixup(badArray), FixupResult::Absent);
}

TEST(NtfsTime, ConvertsExactlyToLocalTimeWithinTheDosRange) {
    setenv("TZ", "UTC", 1);
    tzset();
    uint16_t time = 1, date = 1;
    ASSERT_TRUE(NtfsTimeToDos(kSampleFileTime, time, date));  // 2021-06-01 12:34:56
    EXPECT_EQ(date, (41 << 9) | (6 << 5) | 1);
    EXPECT_EQ(time, (12 << 11) | (34 << 5) | 28);
    // 1980-01-01 00:00:00 is the first DOS date; the second before it is not.
    const uint64_t dosEpoch = (315532800ull + 11644473600ull) * 10000000ull;
    EXPECT_TRUE(NtfsTimeToDos(dosEpoch, time, date));
    EXPECT_EQ(date, (0 << 9) | (1 << 5) | 1);
    EXPECT_FALSE(NtfsTimeToDos(dosEpoch - 10000000, time, date));
    EXPECT_EQ(date, 0);
    EXPECT_EQ(time, 0);
    EXPECT_FALSE(NtfsTimeToDos(0, time, date));
    // 2108 does not fit the seven year bits.
    const uint64_t y2108 = (4354819200ull + 11644473600ull) * 10000000ull;
    EXPECT_FALSE(NtfsTimeToDos(y2108, time, date));
    EXPECT_TRUE(NtfsTimeToDos(y2108 - 10000000, time, date));
    EXPECT_EQ(date >> 9, 127);
}

TEST(NtfsRecordLookups, FindDataAndItsRunsOrLogWhyNot) {
    RecordingLog log;
    const Bytes record = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"f"),
                                        NonResidentData(EncodeRuns({{300, 4}, {10, 2}}), 20000)});
    Bytes fixed = record;
    ASSERT_EQ(ApplyFixup(fixed), FixupResult::Applied);
    ClusterRunList runs;
    EXPECT_TRUE(GetRunArray(fixed, runs, log));
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{300, 4}, {10, 2}}));
    const uint32_t data = GetAttrbuteByType(fixed, 0x80, log);
    EXPECT_EQ(Le32(fixed, data), 0x80u);
    EXPECT_EQ(GetAttrbuteByType(fixed, 0x40, log), 0u);

    Bytes bad = fixed;
    PutLe16(&bad[0x14], 40);
    EXPECT_FALSE(GetRunArray(bad, runs, log));
    EXPECT_EQ(GetAttrbuteByType(bad, 0x80, log), 0u);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"取出第一个属性的偏移位置出错!位于GetRunArray函数",
                                                     "取出第一个属性的偏移位置出错!位于GetAttrbuteByType函数"}));
    // A zero length before any $DATA fails; a walk off the record's end does not.
    Bytes stuck = fixed;
    PutLe32(&stuck[0x3C], 0);
    EXPECT_FALSE(GetRunArray(stuck, runs, log));
    const Bytes noData = MakeRecord(1, {StandardInformation()});
    Bytes noDataFixed = noData;
    ApplyFixup(noDataFixed);
    PutLe32(&noDataFixed[0x38 + 0x60 + 4], 2000);  // end marker's length leaps past the record
    runs.Clear();
    runs.Add(1, 1);
    EXPECT_TRUE(GetRunArray(noDataFixed, runs, log));
    EXPECT_EQ(runs.Size(), 1u);
}

class NtfsBatchRecords : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        tables.items.resize(64);
    }
    void Parse(const Bytes& record, uint32_t number) {
        GetAttributeInfo(record, number, 1024, tables, log);
    }
    NtfsLoadTables tables;
    RecordingLog log;
};

TEST_F(NtfsBatchRecords, FillsNameParentTimesAndSize) {
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(7, u"Ünïcode名.txt"),
                         ResidentData(Bytes(100, 'x'))}),
          20);
    const FileItem& item = tables.items[20];
    EXPECT_STREQ(item.name, "Ünïcode名.txt");
    EXPECT_EQ(item.startCluster, 20u);
    EXPECT_EQ(item.size, 100u);
    EXPECT_EQ(item.flags, item_flags::kInRecord);
    EXPECT_EQ(item.writeDate, (41 << 9) | (6 << 5) | 1);
    EXPECT_EQ(item.writeTime, (12 << 11) | (34 << 5) | 28);
    EXPECT_EQ(item.accessDate, item.writeDate);
    EXPECT_EQ(item.createDate, item.writeDate);
    ASSERT_EQ(tables.links.size(), 1u);
    EXPECT_EQ(tables.links[0].parent, 7u);
    EXPECT_EQ(tables.links[0].child, 20u);

    Parse(MakeRecord(0, {StandardInformation(), FileNameAttribute(5, u"old"),
                         NonResidentData(EncodeRuns({{9, 1}}), 5000)}),
          21);
    EXPECT_EQ(tables.items[21].flags, item_flags::kDeleted);
    EXPECT_EQ(tables.items[21].size, 5000u);
    Parse(MakeRecord(3, {StandardInformation(), FileNameAttribute(5, u"dir")}), 22);
    EXPECT_EQ(tables.items[22].flags, item_flags::kDirectory | item_flags::kInRecord);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(NtfsBatchRecords, SkipsDosNamesAndLinksEveryOtherName) {
    // Long name plus DOS name: one link, under the long name.
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"LONGNA~1.TXT", 2),
                         FileNameAttribute(5, u"long name.txt", 1)}),
          30);
    // Two hard links in different folders: each keeps its own name.
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(40, u"first", 1),
                         FileNameAttribute(41, u"second", 0)}),
          31);
    ASSERT_EQ(tables.links.size(), 3u);
    EXPECT_STREQ(tables.links[0].name, "long name.txt");
    EXPECT_EQ(tables.links[1].parent, 40u);
    EXPECT_STREQ(tables.links[1].name, "first");
    EXPECT_EQ(tables.links[2].parent, 41u);
    EXPECT_STREQ(tables.links[2].name, "second");
}

TEST_F(NtfsBatchRecords, ReadsResidenceFromTheFlagAndNamesFromExtensionRecords) {
    // Some writers leave the name offset of an unnamed attribute at 0.
    Bytes data = ResidentData(Bytes(10, 'd'));
    PutLe16(&data[0x0A], 0);
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"short"), data}), 32);
    EXPECT_EQ(tables.items[32].size, 10u);
    EXPECT_EQ(tables.items[32].flags, item_flags::kInRecord);
    // Extension record 33 of base record 32 carries a second name of it; a
    // stale extension record (not in use) counts for nothing.
    Bytes extension = MakeRecord(1, {FileNameAttribute(9, u"link", 1), ResidentData(Bytes(99, 'e'))});
    extension[0x20] = 32;
    Parse(extension, 33);
    extension[0x16] = 0;
    Parse(extension, 34);
    ASSERT_EQ(tables.links.size(), 2u);
    EXPECT_EQ(tables.links[1].parent, 9u);
    EXPECT_EQ(tables.links[1].child, 32u);
    EXPECT_STREQ(tables.links[1].name, "link");
    EXPECT_EQ(tables.items[33].name, nullptr);
    EXPECT_EQ(tables.items[32].size, 10u);
}

TEST_F(NtfsBatchRecords, IgnoresRecordsAndParentsOutsideTheTable) {
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(500, u"orphan")}), 10);
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"beyond")}), 64);
    EXPECT_TRUE(tables.links.empty());
    EXPECT_EQ(tables.items[10].name, nullptr);
}

TEST_F(NtfsBatchRecords, FallsBackTo48Or56WhenTheHeaderIsDamaged) {
    // Zeroed header, $STANDARD_INFORMATION of length 0x60 at 0x30.
    Bytes at48(1024, 0);
    {
        Bytes si = StandardInformation();
        Bytes fn = FileNameAttribute(5, u"from48");
        std::copy(si.begin(), si.end(), at48.begin() + 0x30);
        std::copy(fn.begin(), fn.end(), at48.begin() + 0x30 + si.size());
        PutLe32(&at48[0x30 + si.size() + fn.size()], 0xFFFFFFFF);
        PutLe16(&at48[0x16], 1);
    }
    Parse(at48, 11);
    EXPECT_STREQ(tables.items[11].name, "from48");

    // Header says 48, byte 0x34 is 0, the real attributes start at 56.
    Bytes at56 = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"from56")}, 1024, false);
    PutLe16(&at56[0x14], 48);
    Parse(at56, 12);
    EXPECT_STREQ(tables.items[12].name, "from56");

    Bytes hopeless(1024, 0);
    Parse(hopeless, 13);
    EXPECT_EQ(tables.items[13].name, nullptr);

    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{
                  "取出第一个属性的偏移位置出错,位于 MFT 11 , GetAttributeInfo函数,但强制设为 offsize = 48",
                  "取出第一个属性的偏移位置出错,位于 MFT 12 , GetAttributeInfo函数,但强制设为 OffSize = 56",
                  "取出第一个属性的偏移位置出错,位于 MFT 13 , GetAttributeInfo函数,无法强制转换"}));
}

TEST_F(NtfsBatchRecords, StaysInsideDamagedRecords) {
    // A name length that would run past the record is not read.
    Bytes longName = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"x")}, 1024, false);
    longName[0x38 + 0x60 + 0x58] = 255;
    PutLe32(&longName[0x38 + 0x60 + 4], 1024 - 0x98 - 0x60 + 0x60);  // attribute reaching the end
    std::fill(longName.begin() + 0x38 + 0x60 + 0x5A, longName.end(), 0x41);
    Parse(longName, 14);
    EXPECT_EQ(tables.items[14].name, nullptr);

    // A zero-length $FILE_NAME ends the record with its log line.
    Bytes zeroName = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"y")}, 1024, false);
    PutLe32(&zeroName[0x38 + 0x60 + 4], 0);
    Parse(zeroName, 15);
    EXPECT_TRUE(log.Contains("文件名属性错 MFT:15"));

    // A torn record is skipped rather than parsed with wrong stride ends.
    Bytes torn = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"torn")});
    PutLe16(&torn[510], 9);
    Parse(torn, 16);
    EXPECT_EQ(tables.items[16].name, nullptr);
    EXPECT_TRUE(log.Contains("MFT 16"));
}

TEST(NtfsSingleRecord, FillsADeletedItemAndItsParent) {
    RecordingLog log;
    FileItem item;
    uint32_t parent = 0;
    EXPECT_TRUE(GetAttributeInfo(MakeRecord(1, {StandardInformation(), FileNameAttribute(77, u"lost.doc"),
                                                ResidentData(Bytes(33, 1))}),
                                 item, parent, log));
    EXPECT_STREQ(item.name, "lost.doc");
    EXPECT_EQ(parent, 77u);
    EXPECT_EQ(item.size, 33u);
    EXPECT_EQ(item.flags, item_flags::kDeleted | item_flags::kInRecord);

    FileItem none;
    Bytes bad = MakeRecord(1, {StandardInformation()}, 1024, false);
    PutLe16(&bad[0x14], 0);
    EXPECT_FALSE(GetAttributeInfo(bad, none, parent, log));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"取出第一个属性的偏移位置出错,位于 GetAttributeInfo"});
}

}  // namespace
}  // namespace delvora::test
