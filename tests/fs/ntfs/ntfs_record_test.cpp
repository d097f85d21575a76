// Record-level decoding: run lists, the update-sequence fix-up, times, and
// the attribute walks with their fallbacks for damaged headers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "common/bytes.h"
#include "common/text_format.h"
#include "fs/ntfs/ntfs_attribute_info.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_run_list.h"
#include "fs/ntfs/ntfs_time.h"
#include "ntfs_builder.h"

namespace delvora::test {
namespace {

std::vector<ClusterRun> Decode(const Bytes& bytes) {
    ClusterRunList runs;
    DecodeRunList(bytes, runs);
    return runs.Runs();
}

TEST(NtfsRunList, DecodesSignedOffsetsHolesAndWideFields) {
    constexpr uint64_t kHoleRun = ntfs::kSparseRun;
    const std::vector<std::pair<Bytes, std::vector<ClusterRun>>> cases{
        // A one-byte offset 0x80 is -128 from the previous run's start.
        {{0x21, 0x10, 0x00, 0x01, 0x11, 0x05, 0x80, 0x00}, {{256, 16}, {128, 5}}},
        // A run without an offset is a hole, and the next offset is still
        // relative to the last real run.
        {{0x01, 0x10, 0x21, 0x10, 0x00, 0x01, 0x01, 0x04, 0x11, 0x02, 0x10, 0x00},
         {{kHoleRun, 16}, {256, 16}, {kHoleRun, 4}, {272, 2}}},
        // Five-byte lengths and offsets fit 64-bit runs.
        {{0x55, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0x00}, {{uint64_t{2} << 32, uint64_t{1} << 32}}},
        // A run whose fields run past the bytes is not read.
        {{0x11, 0x02, 0x10, 0x44, 0x01, 0x00}, {{16, 2}}},
        // Four-byte fields with a negative offset.
        {{0x44, 1, 0, 0, 0, 0, 0, 1, 0, 0x44, 2, 0, 0, 0, 0x00, 0xFF, 0xFF, 0xFF, 0}, {{0x10000, 1}, {0xFF00, 2}}},
        // An offset below cluster 0, a zero length, a nine-byte field: the list ends.
        {{0x11, 0x02, 0x10, 0x11, 0x01, 0xE0, 0x00}, {{16, 2}}},
        {{0x11, 0x02, 0x10, 0x11, 0x00, 0x05, 0x00}, {{16, 2}}},
        {{0x11, 0x02, 0x10, 0x19, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}, {{16, 2}}},
        // A count that alone passes the bound on a file's clusters.
        {{0x07, 0, 0, 0, 0, 0, 0, 0x01}, {}},
        {EncodeRuns({{100, 3}, {kHole, 9}, {40, 7}, {90000, 2}}), {{100, 3}, {kHoleRun, 9}, {40, 7}, {90000, 2}}},
    };
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(Decode(cases[i].first), cases[i].second) << "case " << i;
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
    Bytes oddCount = record;
    PutLe16(&oddCount[6], 4);  // three strides do not divide the record
    EXPECT_EQ(ApplyFixup(oddCount), FixupResult::Absent);

    // A 4 KiB record in 512-byte strides (as mkntfs writes them) and in one
    // 4096-byte stride (a volume of 4 KiB sectors may use that): the count
    // tells which.
    Bytes big = MakeRecord(1, {StandardInformation()}, 4096);
    big[0x30 + 2 + 2 * 7] = 0x5A;
    EXPECT_EQ(ApplyFixup(big), FixupResult::Applied);
    EXPECT_EQ(big[4094], 0x5A);
    Bytes oneStride(4096, 0);
    PutLe16(&oneStride[4], 0x30);
    PutLe16(&oneStride[6], 2);
    PutLe16(&oneStride[0x30], 9);
    PutLe16(&oneStride[0x32], 0x1234);
    PutLe16(&oneStride[4094], 9);
    PutLe16(&oneStride[510], 9);
    EXPECT_EQ(ApplyFixup(oneStride), FixupResult::Applied);
    EXPECT_EQ(Le16(oneStride, 4094), 0x1234);
    EXPECT_EQ(Le16(oneStride, 510), 9);
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

TEST(NtfsTime, AgreesWithTheZoneRulesAcrossOffsetChanges) {
    // Zones whose offsets change on the hour, off the hour and not at all;
    // every conversion must match localtime_r, whatever was converted before.
    const char* const zones[] = {"CET-1CEST,M3.5.0,M10.5.0/3", "XST-5:45XDT-6:15,M3.5.0/1:30,M10.5.0/2:15",
                                 "UTC", "EST5EDT,M3.2.0,M11.1.0"};
    const char* old = std::getenv("TZ");
    const std::string oldTz = old ? old : "";
    const bool hadTz = old != nullptr;
    for (const char* zone : zones) {
        setenv("TZ", zone, 1);
        tzset();
        // A year from 2021-01-01 00:00:00 UTC in steps that fall on every
        // minute and second of the hour in turn, then back and forth
        // across hours already seen.
        for (int64_t seconds = 1609459200, step = 0; step < 40000; ++step) {
            seconds += (step % 7 == 3) ? -3001 : 997;
            std::tm tm{};
            const std::time_t t = static_cast<std::time_t>(seconds);
            ASSERT_TRUE(localtime_r(&t, &tm));
            uint16_t wantDate = 0, wantTime = 0;
            PackDosDateTime(tm, wantDate, wantTime);
            // Twice: the second stamp, later within the same second, is
            // answered from the one before.
            for (const uint64_t within : {0u, 9999999u}) {
                uint16_t date = 0, time = 0;
                NtfsTimeToDos(static_cast<uint64_t>(seconds + 11644473600) * 10000000u + within, time, date);
                ASSERT_EQ(date, wantDate) << zone << " at " << seconds;
                ASSERT_EQ(time, wantTime) << zone << " at " << seconds;
            }
        }
    }
    if (hadTz) setenv("TZ", oldTz.c_str(), 1); else unsetenv("TZ");
    tzset();
}

TEST(NtfsFileFacts, GathersTimesDataPiecesAndTheListAcrossRecords) {
    const ItemTimes times{132670244960000001ull, 132670244960000002ull, 132670244960000003ull,
                          132670244960000004ull};
    // Base record: times, a resident list, and the data's first piece.
    NtfsFileFacts facts;
    Bytes base = MakeRecord(1, {StandardInformation(times),
                                ResidentAttributeList({{0x10, 40}, {0x30, 41}, {0x80, 40, 0}, {0x80, 42, 3},
                                                       {0x80, 41, 10}}),
                                NonResidentData(EncodeRuns({{100, 3}}), 20 * 4096, 0, 15 * 4096)});
    ASSERT_EQ(ApplyFixup(base), FixupResult::Applied);
    ReadFileAttributes(base, facts, nullptr);
    EXPECT_TRUE(facts.hasTimes);
    EXPECT_EQ(facts.times.created, times.created);
    EXPECT_EQ(facts.times.modified, times.modified);
    EXPECT_EQ(facts.times.changed, times.changed);
    EXPECT_EQ(facts.times.accessed, times.accessed);
    EXPECT_EQ(facts.size, 20u * 4096);
    EXPECT_EQ(facts.initialized, 15u * 4096);
    ASSERT_TRUE(facts.hasList);
    EXPECT_EQ(ListedRecords(facts.listValue, 40), (std::vector<uint64_t>{41, 42}));

    // Extension records, read in record order: a name, and the pieces from
    // VCN 10 and 3 (later pieces leave the sizes 0, which must not win).
    std::vector<NtfsNameFact> names;
    Bytes second = MakeRecord(1, {FileNameAttribute(7, u"moved.bin"), FileNameAttribute(7, u"MOVED~1.BIN", 2),
                                  NonResidentData(EncodeRuns({{500, 2}, {kHole, 8}}), 0, 10)});
    Bytes third = MakeRecord(1, {NonResidentData(EncodeRuns({{200, 5}}), 0, 3)});
    ApplyFixup(second);
    ApplyFixup(third);
    ReadFileAttributes(second, facts, &names);
    ReadFileAttributes(third, facts, &names);
    EXPECT_EQ(facts.size, 20u * 4096);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].parent, 7u);
    EXPECT_EQ(names[0].name, "moved.bin");

    ClusterRunList runs;
    JoinPieces(facts.pieces, runs);
    // Pieces in VCN order; VCN 8..9 (between the piece ending at 8 and the one at 10) is a hole.
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{
                               {100, 3}, {200, 5}, {ntfs::kSparseRun, 2}, {500, 2}, {ntfs::kSparseRun, 8}}));
}

TEST(NtfsFileFacts, ClipsResidentValuesAndOverlappingPieces) {
    // A resident $DATA claiming 4 GiB holds only the bytes its attribute has.
    Bytes data = ResidentData(Bytes(100, 'r'));
    PutLe32(&data[0x10], 0xFFFFFFFFu);
    NtfsFileFacts facts;
    ReadFileAttributes(MakeRecord(1, {StandardInformation(), data}, 1024, false), facts, nullptr);
    EXPECT_TRUE(facts.resident);
    EXPECT_EQ(facts.size, 104u);  // the value's bytes up to the attribute's end (8-byte aligned)
    EXPECT_EQ(facts.residentValue.size(), 104u);

    // A named stream is not the file's data.
    Bytes named = ResidentData(Bytes(10, 'n'));
    named[9] = 1;
    NtfsFileFacts streams;
    ReadFileAttributes(MakeRecord(1, {named}, 1024, false), streams, nullptr);
    EXPECT_FALSE(streams.hasData);

    // A piece that starts inside what is covered already is left out.
    std::vector<NtfsDataPiece> pieces(2);
    pieces[0].runs.Add(10, 4);
    pieces[1].firstVcn = 2;
    pieces[1].runs.Add(90, 4);
    ClusterRunList runs;
    JoinPieces(pieces, runs);
    EXPECT_EQ(runs.Runs(), (std::vector<ClusterRun>{{10, 4}}));

    // List entries shorter than an entry end the walk.
    Bytes list = AttributeListBytes({{0x80, 9}, {0x80, 8}});
    PutLe16(&list[0x24], 4);
    EXPECT_EQ(ListedRecords(list, 1), (std::vector<uint64_t>{9}));
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
    // The record's last name, as its tree item is named; null without one.
    const char* NameOf(uint32_t number) const {
        const char* name = nullptr;
        for (const NtfsLink& link : tables.links)
            if (link.child == number) name = link.name;
        return name;
    }
    NtfsLoadTables tables;
    RecordingLog log;
};

TEST_F(NtfsBatchRecords, FillsNameParentTimesAndSize) {
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(7, u"Ünïcode名.txt"),
                         ResidentData(Bytes(100, 'x'))}),
          20);
    const NtfsRecordItem& item = tables.items[20];
    EXPECT_EQ(item.size, 100u);
    EXPECT_EQ(item.flags, item_flags::kInRecord);
    EXPECT_EQ(item.writeDate, (41 << 9) | (6 << 5) | 1);
    EXPECT_EQ(item.writeTime, (12 << 11) | (34 << 5) | 28);
    EXPECT_EQ(item.accessDate, item.writeDate);
    EXPECT_EQ(item.createDate, item.writeDate);
    ASSERT_EQ(tables.links.size(), 1u);
    EXPECT_EQ(tables.links[0].parent, 7u);
    EXPECT_EQ(tables.links[0].child, 20u);
    EXPECT_STREQ(tables.links[0].name, "Ünïcode名.txt");
    // The tree's record takes the link's name and the record's number.
    const FileItem tree = item.ToItem(tables.links[0].name, 20);
    EXPECT_STREQ(tree.name, "Ünïcode名.txt");
    EXPECT_EQ(tree.startCluster, 20u);
    EXPECT_EQ(tree.size, 100u);
    EXPECT_EQ(tree.flags, item_flags::kInRecord);
    EXPECT_EQ(tree.writeDate, item.writeDate);
    EXPECT_EQ(tree.writeTime, item.writeTime);

    Parse(MakeRecord(0, {StandardInformation(), FileNameAttribute(5, u"old"),
                         NonResidentData(EncodeRuns({{9, 1}}), 5000)}),
          21);
    EXPECT_EQ(tables.items[21].flags, item_flags::kDeleted);
    EXPECT_EQ(tables.items[21].size, 5000u);
    Parse(MakeRecord(3, {StandardInformation(), FileNameAttribute(5, u"dir")}), 22);
    EXPECT_EQ(tables.items[22].flags, item_flags::kDirectory | item_flags::kInRecord);

    // The times are $STANDARD_INFORMATION's (kept current), not the name's copy.
    const uint64_t later = kSampleFileTime + 86400ull * 10000000;  // a day on
    Parse(MakeRecord(1, {StandardInformation(later), FileNameAttribute(5, u"touched")}), 23);
    EXPECT_EQ(tables.items[23].writeDate, (41 << 9) | (6 << 5) | 2);
    // A resident $DATA whose length claims 4 GiB is as long as the record holds.
    Bytes claims = ResidentData(Bytes(40, 'c'));
    PutLe32(&claims[0x10], 0xFFFFFFFFu);
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"claims"), claims}), 24);
    EXPECT_EQ(tables.items[24].size, 40u);
    // A non-resident size beyond 32 bits is kept whole.
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"huge"),
                         NonResidentData(EncodeRuns({{9, 1}}), 6ull << 30)}),
          25);
    EXPECT_EQ(tables.items[25].size, 6ull << 30);
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

TEST_F(NtfsBatchRecords, ReadsResidenceFromTheFlagAndLeavesExtensionRecordsToTheList) {
    // Some writers leave the name offset of an unnamed attribute at 0.
    Bytes data = ResidentData(Bytes(10, 'd'));
    PutLe16(&data[0x0A], 0);
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"short"), data}), 32);
    EXPECT_EQ(tables.items[32].size, 10u);
    EXPECT_EQ(tables.items[32].flags, item_flags::kInRecord);
    // Extension record 33 of base record 32 is no file of its own: its name
    // and data are reached through the base's list after the batch.
    Parse(MakeRecord(1, {FileNameAttribute(9, u"link", 1), ResidentData(Bytes(99, 'e'))}, 1024, true, 32), 33);
    ASSERT_EQ(tables.links.size(), 1u);
    EXPECT_EQ(NameOf(33), nullptr);
    EXPECT_EQ(tables.items[32].size, 10u);
    EXPECT_TRUE(tables.withList.empty());
    // A base record with a list (and no name of its own) is noted for that.
    Parse(MakeRecord(1, {StandardInformation(), ResidentAttributeList({{0x30, 35}, {0x80, 35}})}), 34);
    EXPECT_EQ(tables.withList, std::vector<uint32_t>{34});
    EXPECT_EQ(tables.items[34].writeDate, (41 << 9) | (6 << 5) | 1);
}

TEST_F(NtfsBatchRecords, IgnoresRecordsAndParentsOutsideTheTable) {
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(500, u"orphan")}), 10);
    Parse(MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"beyond")}), 64);
    EXPECT_TRUE(tables.links.empty());
    EXPECT_EQ(NameOf(10), nullptr);
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
    EXPECT_STREQ(NameOf(11), "from48");

    // Header says 48, byte 0x34 is 0, the real attributes start at 56.
    Bytes at56 = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"from56")}, 1024, false);
    PutLe16(&at56[0x14], 48);
    Parse(at56, 12);
    EXPECT_STREQ(NameOf(12), "from56");

    // A record never written (all zeros) is no error; a written one that
    // cannot be parsed is.
    Parse(Bytes(1024, 0), 14);
    Bytes hopeless(1024, 0);
    std::memcpy(hopeless.data(), "FILE", 4);
    Parse(hopeless, 13);
    EXPECT_EQ(NameOf(13), nullptr);

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
    EXPECT_EQ(NameOf(14), nullptr);

    // A zero-length $FILE_NAME ends the record with its log line.
    Bytes zeroName = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"y")}, 1024, false);
    PutLe32(&zeroName[0x38 + 0x60 + 4], 0);
    Parse(zeroName, 15);
    EXPECT_TRUE(log.Contains("文件名属性错 MFT:15"));

    // A torn record is skipped rather than parsed with wrong stride ends.
    Bytes torn = MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"torn")});
    PutLe16(&torn[510], 9);
    Parse(torn, 16);
    EXPECT_EQ(NameOf(16), nullptr);
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
