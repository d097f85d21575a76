#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <sstream>
#include <tuple>

#include "common/bytes.h"
#include "common/crc32.h"
#include "disk/disk_scan.h"
#include "disk/gpt.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::RecordingContext;
using test::TempDir;

// ---- tables built in memory: what damage the reader refuses and how ----

struct Ent {
    uint64_t first;
    uint64_t last;
    uint8_t typeTag = 0xA2;  // any nonzero first byte makes an entry used
};

constexpr uint32_t kEntries = 128;
constexpr uint32_t kEntryBytes = 128;

void PutLe64(uint8_t* p, uint64_t v) {
    PutLe32(p, static_cast<uint32_t>(v));
    PutLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

void Seal(uint8_t* header) {
    PutLe32(header + 16, 0);
    PutLe32(header + 16, Crc32(ByteSpan(header, 92)));
}

// A disk of lbas sectors with a protective MBR, both headers and both arrays.
std::vector<uint8_t> MakeDisk(uint32_t ss, uint64_t lbas, const std::vector<Ent>& entries) {
    std::vector<uint8_t> disk(ss * lbas);
    disk[446 + 4] = 0xEE;
    disk[510] = 0x55;
    disk[511] = 0xAA;
    std::vector<uint8_t> array(kEntries * kEntryBytes);
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* e = array.data() + i * kEntryBytes;
        e[0] = entries[i].typeTag;
        e[16] = static_cast<uint8_t>(i + 1);
        PutLe64(e + 32, entries[i].first);
        PutLe64(e + 40, entries[i].last);
        const char16_t name[] = u"part";
        for (size_t k = 0; k < 4; ++k) PutLe16(e + 56 + 2 * k, static_cast<uint16_t>(name[k]));
    }
    const uint64_t arraySectors = (array.size() + ss - 1) / ss;
    const uint64_t backupArray = lbas - 1 - arraySectors;
    for (const auto& [self, other, arrayLba] : {std::tuple{uint64_t{1}, lbas - 1, uint64_t{2}},
                                                 std::tuple{lbas - 1, uint64_t{1}, backupArray}}) {
        uint8_t* h = disk.data() + self * ss;
        std::memcpy(h, "EFI PART", 8);
        PutLe32(h + 8, 0x00010000);
        PutLe32(h + 12, 92);
        PutLe64(h + 24, self);
        PutLe64(h + 32, other);
        PutLe64(h + 40, 2 + arraySectors);
        PutLe64(h + 48, backupArray - 1);
        PutLe64(h + 72, arrayLba);
        PutLe32(h + 80, kEntries);
        PutLe32(h + 84, kEntryBytes);
        PutLe32(h + 88, Crc32(array));
        Seal(h);
        std::memcpy(disk.data() + arrayLba * ss, array.data(), array.size());
    }
    return disk;
}

bool ReadFrom(const std::vector<uint8_t>& disk, GptTable& table, std::string& error, uint32_t ss = 0) {
    const DiskReader read = [&disk](uint8_t* buffer, uint32_t count, uint64_t offset) {
        if (offset > disk.size() || count > disk.size() - offset) return false;
        std::memcpy(buffer, disk.data() + offset, count);
        return true;
    };
    return ReadGpt(read, disk.size(), ss, table, error);
}

TEST(Gpt, DamagedTablesAreRefusedOrRepairedFromTheBackup) {
    using Edit = std::function<void(std::vector<uint8_t>&, uint32_t ss)>;
    const uint64_t lbas = 2048;
    auto headers = [lbas](bool backupToo) {
        return [lbas, backupToo](std::vector<uint8_t>& d, uint32_t ss, const std::function<void(uint8_t*)>& f) {
            f(d.data() + ss);
            Seal(d.data() + ss);
            if (!backupToo) return;
            f(d.data() + (lbas - 1) * ss);
            Seal(d.data() + (lbas - 1) * ss);
        };
    };
    auto both = headers(true), primary = headers(false);
    auto field32 = [](size_t offset, uint32_t value) { return [=](uint8_t* h) { PutLe32(h + offset, value); }; };
    auto field64 = [](size_t offset, uint64_t value) { return [=](uint8_t* h) { PutLe64(h + offset, value); }; };
    const std::vector<Ent> three{{40, 99}, {100, 199}, {300, 399}};
    struct Case {
        const char* what;
        std::vector<Ent> entries;
        Edit edit;
        bool ok;
        size_t partitions;
        const char* text;  // in the error, or in the notes when ok
    } cases[] = {
        {"sound", three, nullptr, true, 3, nullptr},
        {"2^32-1 entries", three, [&](auto& d, uint32_t ss) { both(d, ss, field32(80, 0xFFFFFFFF)); }, false, 0,
         "4294967295 entries"},
        {"entry size 0", three, [&](auto& d, uint32_t ss) { both(d, ss, field32(84, 0)); }, false, 0, "entry size 0 "},
        {"entry size 2^31", three, [&](auto& d, uint32_t ss) { both(d, ss, field32(84, 0x80000000u)); }, false, 0,
         "entry size 2147483648"},
        {"array past the end", three, [&](auto& d, uint32_t ss) { both(d, ss, field64(72, lbas - 1)); }, false, 0,
         "outside the disk"},
        {"array CRC", three,
         [&](auto& d, uint32_t ss) {
             d[2 * ss + 40] ^= 1;
             d[(lbas - 1 - kEntries * kEntryBytes / ss) * ss + 40] ^= 1;
         },
         false, 0, "entry array CRC mismatch"},
        {"primary header CRC", three, [](auto& d, uint32_t ss) { d[ss + 40] ^= 1; }, true, 3,
         "header CRC mismatch); the backup header at LBA 2047 is used"},
        {"primary signature wiped", three, [](auto& d, uint32_t ss) { std::memset(&d[ss], 0, 8); }, true, 3,
         "the backup header at LBA 2047 is used"},
        {"primary names another LBA", three, [&](auto& d, uint32_t ss) { primary(d, ss, field64(24, 7)); }, true, 3,
         "names itself LBA 7"},
        {"entry past the end", {{40, 99}, {5000, 6000}}, nullptr, true, 1, "entry 2 starts at LBA 5000"},
        {"entry running past the end", {{40, 99}, {1000, 3000}}, nullptr, true, 2, "entry 2 runs past"},
        {"overlap", {{40, 199}, {100, 299}}, nullptr, true, 2, "entries 1 and 2 overlap"},
        {"reversed", {{40, 99}, {300, 200}}, nullptr, true, 1, "entry 2 ends before it starts"},
    };
    for (uint32_t ss : {512u, 4096u}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(ss));
            std::vector<uint8_t> disk = MakeDisk(ss, lbas, c.entries);
            if (c.edit) c.edit(disk, ss);
            GptTable table;
            std::string error;
            ASSERT_EQ(ReadFrom(disk, table, error), c.ok) << error;
            if (!c.ok) {
                EXPECT_NE(error.find(c.text), std::string::npos) << error;
                continue;
            }
            EXPECT_EQ(table.sectorSize, ss);
            ASSERT_EQ(table.partitions.size(), c.partitions);
            EXPECT_EQ(table.partitions[0].name, "part");
            EXPECT_EQ(table.partitions[0].firstLba, c.entries[0].first);
            std::string notes;
            for (const auto& n : table.notes) notes += n + "\n";
            if (c.text) EXPECT_NE(notes.find(c.text), std::string::npos) << notes;
            else EXPECT_EQ(notes, "");
        }
    }
}

TEST(Gpt, GivenSectorSizeIsTheOnlyOneTried) {
    const std::vector<uint8_t> disk = MakeDisk(4096, 64, {{10, 20}});
    GptTable table;
    std::string error;
    EXPECT_FALSE(ReadFrom(disk, table, error, 512));
    EXPECT_TRUE(ReadFrom(disk, table, error, 4096)) << error;
    EXPECT_FALSE(ReadFrom(disk, table, error, 1000));
    EXPECT_NE(error.find("sector size 1000"), std::string::npos);
}

// ---- disks made by the partitioning tools, against mmls ----

struct Row {
    uint64_t start, length;
    std::string name;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << r.start << "+" << r.length << " '" << r.name << "'";
}

// Partition slots of "mmls" output (Slot "000", "001"..: numbered entries).
std::vector<Row> MmlsRows(const std::string& text) {
    std::vector<Row> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream f(line);
        std::string index, slot, start, end, length, name;
        f >> index >> slot >> start >> end >> length;
        if (slot.size() != 3 || !std::all_of(slot.begin(), slot.end(), ::isdigit)) continue;
        std::getline(f >> std::ws, name);
        rows.push_back({std::stoull(start), std::stoull(length), name});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.start < b.start; });
    return rows;
}

std::vector<Row> OurRows(const DiskScan& scan) {
    std::vector<Row> rows;
    for (const auto& e : scan.Entries()) rows.push_back({e.startSector, e.totalSectors, e.name});
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.start < b.start; });
    return rows;
}

TEST(GptScan, AgreesWithMmlsOnToolMadeDisks) {
    for (const char* tool : {"sgdisk", "sfdisk", "mmls"})
        if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    struct Case {
        const char* what;
        const char* make;    // shell text over $img, before mmls runs
        const char* damage;  // shell text run after mmls: the scan must still agree
        const char* note;    // expected in the scan's notes
        size_t rows;
    } cases[] = {
        {"sfdisk, three partitions",
         "printf 'label: gpt\\nstart=2048,size=8192,type=U,name=\"EFI\"\\nsize=16384,"
         "type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7,name=\"Daten\"\\nsize=8192,type=L,name=\"root\"\\n' "
         "| sfdisk -q $img",
         "", nullptr, 3},
        {"unused entries between used ones",
         "sgdisk -n 2:2048:+4M -c 2:two -n 5:0:+4M -t 5:8200 -c 5:swap -n 9:0:+2M -t 9:8e00 -c 9:lvm $img >/dev/null", "",
         nullptr, 3},
        {"hybrid MBR", "sgdisk -n 1:2048:+4M -t 1:0700 -c 1:data -n 2:0:+8M -c 2:linux -h 1:2 $img >/dev/null", "", nullptr, 2},
        {"damaged primary header", "sgdisk -n 1:2048:+4M -c 1:first -n 2:0:+4M -c 2:second $img >/dev/null",
         "printf 'XXXX' | dd of=$img bs=1 seek=600 conv=notrunc status=none", "the backup header at LBA", 2},
        {"damaged primary array", "sgdisk -n 1:2048:+4M -c 1:first -n 2:0:+4M -c 2:second $img >/dev/null",
         "printf 'XXXX' | dd of=$img bs=1 seek=1100 conv=notrunc status=none", "entry array CRC mismatch", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string img = dir.File("disk.img");
        std::string log;
        ASSERT_EQ(test::RunShell("img=" + img + "; truncate -s 32M $img && " + c.make, &log), 0) << log;
        std::string mmls;
        ASSERT_EQ(test::RunShell("mmls " + img, &mmls), 0) << mmls;
        if (*c.damage) {
            ASSERT_EQ(test::RunShell(std::string("img=") + img + "; " + c.damage), 0);
        }
        const std::vector<Row> expected = MmlsRows(mmls);
        ASSERT_EQ(expected.size(), c.rows) << mmls;

        RecordingContext rc;
        rc.devices.Set("PHYSICALDRIVE0", img);
        DiskScan scan(rc.context);
        ASSERT_EQ(scan.WalkDisk("PHYSICALDRIVE0"), 1);
        EXPECT_EQ(OurRows(scan), expected);
        for (const auto& e : scan.Entries()) {
            EXPECT_EQ(e.scheme, "gpt");
            EXPECT_EQ(e.sizeBytes, e.totalSectors * 512);
        }
        std::string notes;
        for (const auto& n : scan.Notes()) notes += n + "\n";
        if (c.note) EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
        else EXPECT_EQ(notes, "");
    }
}

TEST(GptScan, EntryOrderGivesLettersAndTypesNameTheRows) {
    DELVORA_REQUIRE_TOOL("sgdisk");
    TempDir dir;
    const std::string img = dir.File("disk.img");
    // Entry 1 lies behind entry 2 on the disk: letters follow the entries.
    ASSERT_EQ(test::RunShell("truncate -s 32M " + img + " && sgdisk -n 2:2048:+4M -t 2:ef00 -n 1:0:+4M -t 1:0700 "
                             "-n 3:0:+4M -t 3:8300 -n 4:0:+4M -t 4:11223344-5566-7788-99AA-BBCCDDEEFF00 -u 4:11111111-2222-3333-4444-555555555555 " +
                             img + " >/dev/null"),
              0);
    RecordingContext rc;
    rc.devices.Set("PHYSICALDRIVE0", img);
    DiskScan scan(rc.context);
    ASSERT_EQ(scan.Scan(), 1);
    std::vector<std::string> rows;
    for (const auto& e : scan.Entries()) rows.push_back(e.letter + " " + e.fsName + " " + std::to_string(e.startSector));
    EXPECT_EQ(rows, (std::vector<std::string>{"C: Microsoft basic data 10240", "D: EFI system 2048",
                                              "E: Linux filesystem 18432", "F: 11223344-5566-7788-99AA-BBCCDDEEFF00 26624"}));
    EXPECT_EQ(scan.GetEntry(1).typeId, 0xEF);
    EXPECT_EQ(scan.GetEntry(3).partitionGuid, "11111111-2222-3333-4444-555555555555");
    const ChosenRow row = ChosenRowOf(scan.GetEntry(0));
    EXPECT_EQ(row.itemName, "C:(Microsoft basic data)");
    EXPECT_EQ(row.startSector, 10240u);
}

// A disk partitioned through a loop device with 4096-byte logical sectors.
TEST(GptScan, FourKibSectorsThroughALoopDevice) {
    for (const char* tool : {"losetup", "sfdisk", "mmls", "mkfs.fat"})
        if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    const std::string img = dir.File("disk.img");
    ASSERT_EQ(test::RunShell("truncate -s 64M " + img), 0);
    std::string loop;
    if (test::RunShell("losetup --find --show --sector-size 4096 " + img, &loop) != 0 || loop.rfind("/dev/", 0) != 0)
        GTEST_SKIP() << "no loop device: " << loop;
    loop.erase(loop.find_last_not_of("\n") + 1);
    std::string log;
    const int made = test::RunShell(
        "printf 'label: gpt\\nstart=256,size=4096,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7,name=\"four\"\\n"
        "size=2048,type=L\\n' | sfdisk -q --no-reread " + loop,
        &log);
    test::RunShell("losetup -d " + loop);
    ASSERT_EQ(made, 0) << log;
    std::string mmls;
    ASSERT_EQ(test::RunShell("mmls -b 4096 " + img, &mmls), 0) << mmls;
    // A FAT volume with 4096-byte sectors in the first partition.
    ASSERT_EQ(test::RunShell("mkfs.fat --mbr=n -S 4096 -s 1 --offset 256 " + img + " 16384", &log), 0) << log;

    RecordingContext rc;
    rc.devices.Set("PHYSICALDRIVE0", img);
    DiskScan scan(rc.context);
    ASSERT_EQ(scan.WalkDisk("PHYSICALDRIVE0"), 1);
    EXPECT_EQ(OurRows(scan), MmlsRows(mmls));
    ASSERT_EQ(scan.Entries().size(), 2u);
    const PartitionEntry& fat = scan.GetEntry(0);
    EXPECT_EQ(fat.sectorSize, 4096u);
    EXPECT_EQ(fat.sizeBytes, 4096u * 4096);
    EXPECT_EQ(fat.typeId, 0x06);  // what the volume holds
    const ChosenRow row = ChosenRowOf(fat);
    EXPECT_EQ(row.startSector, 256u * 8);
    EXPECT_EQ(row.totalSectors, 4096u * 8);

    // Told 512, the reader does not look at 4096: the protective entry stays.
    rc.devices.Set("PHYSICALDRIVE0", img, 512);
    DiskScan told(rc.context);
    told.WalkDisk("PHYSICALDRIVE0");
    ASSERT_FALSE(told.Notes().empty());
    EXPECT_NE(told.Notes()[0].find("GPT header at LBA 1"), std::string::npos);
}

}  // namespace
}  // namespace delvora
