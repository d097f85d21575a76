// Small exFAT volumes built byte by byte for what the tools never write:
// damaged sets, looping chains, short or absurd tables, clusters past the
// heap, bad boot fields. Each must load bounded, say why in one log line,
// and never crash.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "common/bytes.h"
#include "common/text_format.h"
#include "fs/exfat/exfat_boot.h"
#include "fs/exfat/exfat_entries.h"
#include "fs/exfat/exfat_test_support.h"
#include "support/recorders.h"

namespace delvora {
namespace {

/// 512-byte sectors and clusters, FAT at 24, heap at 32 with 200 clusters;
/// the bitmap in cluster 2, the up-case table in 3, the root in 4.
class TinyExfat {
public:
    static constexpr uint32_t kSectors = 256, kHeap = 32, kClusters = 200, kRoot = 4;

    TinyExfat() : m_image(size_t{kSectors} * 512, 0) {
        uint8_t* b = m_image.data();
        b[0] = 0xEB; b[1] = 0x76; b[2] = 0x90;
        std::memcpy(b + 3, "EXFAT   ", 8);
        PutLe32(b + 72, kSectors);
        PutLe32(b + 80, 24);
        PutLe32(b + 84, 8);
        PutLe32(b + 88, kHeap);
        PutLe32(b + 92, kClusters);
        PutLe32(b + 96, kRoot);
        PutLe16(b + 104, 0x0100);
        b[108] = 9;
        b[109] = 0;
        b[110] = 1;
        PutLe16(b + 510, 0xAA55);
        SetFat(0, 0xFFFFFFF8);
        SetFat(1, 0xFFFFFFFF);
        for (uint32_t c : {2u, 3u, 4u}) {
            SetFat(c, 0xFFFFFFFF);
            MarkUsed(c);
        }
        uint8_t* bitmap = Entry(kRoot, 0);
        bitmap[0] = kExfatBitmapEntry;
        PutLe32(bitmap + 20, 2);
        PutLe32(bitmap + 24, (kClusters + 7) / 8);
        uint8_t* upcase = Entry(kRoot, 1);
        upcase[0] = kExfatUpcaseEntry;
        Cluster(3)[0] = 'A';  // a table of one unit: 'A'
        PutLe32(upcase + 4, ExfatTableChecksum(ByteSpan(Cluster(3), 2)));
        PutLe32(upcase + 20, 3);
        PutLe32(upcase + 24, 2);
    }
    uint8_t* Cluster(uint32_t c) { return m_image.data() + (kHeap + c - 2) * 512; }
    uint8_t* Entry(uint32_t cluster, size_t slot) { return Cluster(cluster) + slot * kExfatEntryBytes; }
    void SetFat(uint32_t c, uint32_t value) { PutLe32(m_image.data() + 24 * 512 + c * 4, value); }
    void MarkUsed(uint32_t c) { Cluster(2)[(c - 2) / 8] |= static_cast<uint8_t>(1u << ((c - 2) % 8)); }
    /// Writes a file entry set at a slot of a folder cluster; answers the
    /// slot after it.
    size_t AddSet(uint32_t folder, size_t slot, const std::u16string& name, uint32_t first, uint64_t size,
                  bool noFatChain = true, bool directory = false) {
        const uint32_t nameEntries = static_cast<uint32_t>((name.size() + 14) / 15);
        uint8_t* file = Entry(folder, slot);
        std::memset(file, 0, (2 + nameEntries) * kExfatEntryBytes);
        file[0] = kExfatFileEntry;
        file[1] = static_cast<uint8_t>(1 + nameEntries);
        PutLe16(file + 4, directory ? 0x10 : 0x20);
        PutLe32(file + 12, (uint32_t{(2021 - 1980) << 9 | 3 << 5 | 4} << 16) | (5 << 11 | 6 << 5 | 3));
        uint8_t* stream = file + kExfatEntryBytes;
        stream[0] = kExfatStreamEntry;
        stream[1] = static_cast<uint8_t>(1 | (noFatChain ? kExfatNoFatChain : 0));
        stream[3] = static_cast<uint8_t>(name.size());
        PutLe32(stream + 8, static_cast<uint32_t>(size));
        PutLe32(stream + 20, first);
        PutLe32(stream + 24, static_cast<uint32_t>(size));
        for (size_t u = 0; u < name.size(); ++u) {
            uint8_t* n = file + (2 + u / 15) * kExfatEntryBytes;
            n[0] = kExfatNameEntry;
            PutLe16(n + 2 + (u % 15) * 2, name[u]);
        }
        Reseal(folder, slot);
        return slot + 2 + nameEntries;
    }
    /// Sets a set's checksum from its bytes (after a test changed them).
    void Reseal(uint32_t folder, size_t slot) {
        uint8_t* file = Entry(folder, slot);
        PutLe16(file + 2, ExfatSetChecksum(ByteSpan(file, (1 + file[1]) * kExfatEntryBytes), 1 + file[1]));
    }
    /// The main boot region's checksum, and the backup as its copy.
    std::vector<uint8_t> Sealed() {
        const uint32_t sum = ExfatBootChecksum(ByteSpan(m_image.data(), 11 * 512));
        for (size_t i = 0; i < 512; i += 4) PutLe32(m_image.data() + 11 * 512 + i, sum);
        std::memcpy(m_image.data() + 12 * 512, m_image.data(), 12 * 512);
        return m_image;
    }
    uint8_t* Boot() { return m_image.data(); }

private:
    std::vector<uint8_t> m_image;
};

struct BadCase {
    const char* name;
    std::function<void(TinyExfat&)> damage;
    const char* logLine;
    std::function<void(ExfatVolume&, test::RecordingContext&)> check;
};

FileItem* Child(FileItem& folder, const char* name) {
    for (uint32_t i = 0; i < folder.childCount; ++i)
        if (std::strcmp(folder.children[i].name, name) == 0) return &folder.children[i];
    return nullptr;
}

TEST(ExfatCraftedTest, BadInputLoadsBoundedAndSaysWhy) {
    const BadCase cases[] = {
        {"set checksum wrong",
         [](TinyExfat& v) {
             size_t slot = v.AddSet(TinyExfat::kRoot, 2, u"good.txt", 10, 100);
             v.AddSet(TinyExfat::kRoot, slot, u"bad.txt", 11, 100);
             v.Entry(TinyExfat::kRoot, slot)[2] ^= 0xFF;
         },
         "校验和不符",
         [](ExfatVolume& vol, test::RecordingContext&) {
             EXPECT_NE(Child(*vol.RootItem(), "good.txt"), nullptr);
             EXPECT_EQ(Child(*vol.RootItem(), "bad.txt"), nullptr);
         }},
        {"set claims 255 secondary entries",
         [](TinyExfat& v) {
             v.AddSet(TinyExfat::kRoot, 2, u"many.txt", 10, 100);
             v.Entry(TinyExfat::kRoot, 2)[1] = 255;
             v.AddSet(TinyExfat::kRoot, 5, u"after.txt", 11, 100);
         },
         "附属项数不合理",
         [](ExfatVolume& vol, test::RecordingContext&) {
             EXPECT_EQ(Child(*vol.RootItem(), "many.txt"), nullptr);
             EXPECT_NE(Child(*vol.RootItem(), "after.txt"), nullptr);
         }},
        {"file chain loops",
         [](TinyExfat& v) {
             v.AddSet(TinyExfat::kRoot, 2, u"loop.bin", 10, 5 * 512, false);
             v.SetFat(10, 11);
             v.SetFat(11, 10);
         },
         "成环",
         [](ExfatVolume& vol, test::RecordingContext& rec) {
             ClusterRunList runs;
             EXPECT_FALSE(vol.GetItemRuns(Child(*vol.RootItem(), "loop.bin"), runs));
             EXPECT_EQ(rec.notifier.Texts().size(), 1u);
         }},
        {"root chain loops",
         [](TinyExfat& v) {
             v.SetFat(TinyExfat::kRoot, 5);
             v.SetFat(5, TinyExfat::kRoot);
             v.AddSet(TinyExfat::kRoot, 2, u"a.txt", 10, 100);
         },
         "成环",
         [](ExfatVolume& vol, test::RecordingContext&) { EXPECT_NE(Child(*vol.RootItem(), "a.txt"), nullptr); }},
        {"folder names itself as its child",
         [](TinyExfat& v) {
             v.AddSet(TinyExfat::kRoot, 2, u"self", 20, 512, true, true);
             v.AddSet(20, 0, u"again", 20, 512, true, true);
             v.MarkUsed(20);
         },
         "",
         [](ExfatVolume& vol, test::RecordingContext&) {
             FileItem* self = Child(*vol.RootItem(), "self");
             ASSERT_NE(self, nullptr);
             ASSERT_NE(Child(*self, "again"), nullptr);
             EXPECT_EQ(Child(*self, "again")->childCount, 0u);
         }},
        {"bitmap shorter than the clusters",
         [](TinyExfat& v) {
             PutLe32(v.Entry(TinyExfat::kRoot, 0) + 24, 3);
             v.AddSet(TinyExfat::kRoot, 2, u"late.txt", 150, 100);
             v.Entry(TinyExfat::kRoot, 2)[0] &= 0x7F;
             for (int i = 1; i < 3; ++i) v.Entry(TinyExfat::kRoot, 2 + i)[0] &= 0x7F;
         },
         "分配位图只有",
         [](ExfatVolume& vol, test::RecordingContext&) {
             // Past the bitmap a cluster counts as in use: overwritten.
             FileItem* late = Child(*vol.RootItem(), "late.txt");
             ASSERT_NE(late, nullptr);
             EXPECT_TRUE(late->IsDeleted());
             EXPECT_FALSE(vol.ClusterInUse(10));
             EXPECT_TRUE(vol.ClusterInUse(150));
             EXPECT_EQ(vol.CountOverwrittenClusters(late), 1u);
         }},
        {"up-case table of absurd size",
         [](TinyExfat& v) { PutLe32(v.Entry(TinyExfat::kRoot, 1) + 28, 0x100); },
         "大小写转换表的长度",
         nullptr},
        {"up-case table checksum wrong",
         [](TinyExfat& v) { v.Cluster(3)[1] = 1; },
         "大小写转换表校验和不符",
         nullptr},
        {"clusters run past the heap",
         [](TinyExfat& v) { v.AddSet(TinyExfat::kRoot, 2, u"long.bin", 198, 10 * 512); },
         "超出簇堆",
         [](ExfatVolume& vol, test::RecordingContext&) {
             ClusterRunList runs;
             EXPECT_FALSE(vol.GetItemRuns(Child(*vol.RootItem(), "long.bin"), runs));
         }},
        {"first cluster outside the heap",
         [](TinyExfat& v) { v.AddSet(TinyExfat::kRoot, 2, u"far.bin", 0xFFFFFF00u, 512, false); },
         "不在簇堆内",
         [](ExfatVolume& vol, test::RecordingContext&) {
             std::vector<uint8_t> bytes;
             uint64_t allocated = 0, valid = 0;
             EXPECT_FALSE(vol.ReadWholeItem(Child(*vol.RootItem(), "far.bin"), bytes, allocated, valid));
         }},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        TinyExfat image;
        c.damage(image);
        test::RecordingContext rec;
        auto loaded = test::LoadExfatBytes(image.Sealed(), rec.context);
        ASSERT_TRUE(loaded.prepared);
        if (c.check) c.check(*loaded.volume, rec);
        if (*c.logLine) {
            EXPECT_TRUE(rec.log.Contains(c.logLine)) << testing::PrintToString(rec.log.Lines());
        }
    }
}

TEST(ExfatCraftedTest, BootSectorsOutsideTheFormatAreRefused) {
    const std::pair<const char*, std::function<void(uint8_t*)>> cases[] = {
        {"sector shift", [](uint8_t* b) { b[108] = 13; }},
        {"cluster shift", [](uint8_t* b) { b[109] = 17; }},
        {"number of FATs", [](uint8_t* b) { b[110] = 3; }},
        {"heap overlaps the FAT", [](uint8_t* b) { PutLe32(b + 88, 30); }},
        {"heap past the volume", [](uint8_t* b) { PutLe32(b + 92, 100000); }},
        {"root outside the heap", [](uint8_t* b) { PutLe32(b + 96, 1); }},
        {"FAT too short", [](uint8_t* b) { PutLe32(b + 84, 1); }},
    };
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name);
        TinyExfat image;
        damage(image.Boot());
        test::RecordingContext rec;
        auto loaded = test::LoadExfatBytes(image.Sealed(), rec.context);
        EXPECT_FALSE(loaded.prepared);
        EXPECT_TRUE(rec.log.Contains("exFAT 引导扇区无效"));
    }
}

TEST(ExfatCraftedTest, TimesKeepTheirTenMillisecondsAndUtcOffset) {
    // Every set is modified 2021-03-04 05:06:06 (DOS time, two-second steps).
    const struct {
        uint8_t tenMs;
        uint8_t utcOffset;
        const char* modifiedUtc;
    } cases[] = {
        {0, 0x80, "2021-03-04T05:06:06Z"},
        {199, 0x80, "2021-03-04T05:06:07.99Z"},
        {150, 0x80 | 32, "2021-03-03T21:06:07.5Z"},           // UTC+8
        {0, 0x80 | (0x80 - 20), "2021-03-04T10:06:06Z"},      // UTC-5
        {0, 0x80 | 0x7F, "2021-03-04T05:21:06Z"},             // UTC-0:15
        {200, 0x80, "2021-03-04T05:06:06Z"},                   // out of range: no part
    };
    TinyExfat image;
    // Sixteen entries a cluster: the root takes a second one, and the set
    // of t4 runs across the two.
    image.SetFat(TinyExfat::kRoot, TinyExfat::kRoot + 1);
    image.SetFat(TinyExfat::kRoot + 1, 0xFFFFFFFF);
    image.MarkUsed(TinyExfat::kRoot + 1);
    size_t slot = 2;
    std::vector<size_t> slots;
    for (size_t i = 0; i < std::size(cases); ++i) {
        slots.push_back(slot);
        slot = image.AddSet(TinyExfat::kRoot, slot, std::u16string(u"t") + char16_t(u'0' + i), 10 + i, 10);
        uint8_t* file = image.Entry(TinyExfat::kRoot, slots.back());
        file[21] = cases[i].tenMs;
        file[23] = cases[i].utcOffset;
        image.Reseal(TinyExfat::kRoot, slots.back());
    }
    test::RecordingContext rec;
    auto loaded = test::LoadExfatBytes(image.Sealed(), rec.context);
    ASSERT_TRUE(loaded.prepared);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const std::string name = "t" + std::to_string(i);
        FileItem* item = Child(*loaded.volume->RootItem(), name.c_str());
        ASSERT_NE(item, nullptr);
        ItemTimes times;
        ASSERT_TRUE(loaded.volume->GetItemTimes(item, times));
        EXPECT_EQ(FormatUtcTicks(times.modified), cases[i].modifiedUtc);
    }
}

TEST(ExfatCraftedTest, DeletedSetChecksAgainstItsWrittenValue) {
    TinyExfat image;
    image.AddSet(TinyExfat::kRoot, 2, u"一个很长的文件名-long name past fifteen units.txt", 10, 700);
    std::vector<uint8_t> bytes = image.Sealed();
    ExfatEntrySet set;
    const ByteSpan root(bytes.data() + (TinyExfat::kHeap + TinyExfat::kRoot - 2) * 512, 512);
    ASSERT_EQ(DecodeExfatSet(root, 2 * kExfatEntryBytes, set), ExfatSetFault::None);
    EXPECT_EQ(set.nameUnits, 41u);
    EXPECT_EQ(set.entries, 5u);
    // Deleting clears the in-use bit of every entry and leaves the checksum.
    std::vector<uint8_t> deleted(root.begin(), root.end());
    for (int i = 2; i < 7; ++i) deleted[i * kExfatEntryBytes] &= 0x7F;
    ASSERT_EQ(DecodeExfatSet(deleted, 2 * kExfatEntryBytes, set), ExfatSetFault::None);
    EXPECT_FALSE(set.inUse);
    // A set half taken by a live one is none.
    deleted[4 * kExfatEntryBytes] |= 0x80;
    EXPECT_NE(DecodeExfatSet(deleted, 2 * kExfatEntryBytes, set), ExfatSetFault::None);
}

}  // namespace
}  // namespace delvora
