#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/bytes.h"
#include "disk/disk_scan.h"
#include "disk/partition_types.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::RecordingContext;
using test::TempDir;

struct Part {
    uint8_t type;
    uint32_t start;
    uint32_t count;
};

// Writes a boot record (signature included) at a sector of a sparse image.
void WriteRecord(const std::string& path, uint32_t sector, std::vector<Part> parts, bool sign = true) {
    std::vector<uint8_t> rec(512, 0);
    for (size_t i = 0; i < parts.size() && i < 4; ++i) {
        uint8_t* e = rec.data() + 446 + 16 * i;
        e[4] = parts[i].type;
        PutLe32(e + 8, parts[i].start);
        PutLe32(e + 12, parts[i].count);
    }
    if (sign) {
        rec[510] = 0x55;
        rec[511] = 0xAA;
    }
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!f) f.open(path, std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(sector) * 512);
    f.write(reinterpret_cast<const char*>(rec.data()), 512);
}

void Resize(const std::string& path, uint64_t bytes) {
    ASSERT_EQ(test::RunShell("truncate -s " + std::to_string(bytes) + " '" + path + "'"), 0);
}

std::vector<std::string> Rows(const DiskScan& scan) {
    std::vector<std::string> rows;
    for (const auto& e : scan.Entries()) {
        std::string line;
        for (const auto& cell : DiskScan::RowTexts(e)) line += cell + "|";
        rows.push_back(line);
    }
    return rows;
}

TEST(DiskScan, ExtendedChainIsAddressedRelativeToItsRecords) {
    TempDir dir;
    const std::string img = dir.File("disk.img");
    WriteRecord(img, 0, {{0x07, 63, 900}, {0x05, 1000, 9000}});
    WriteRecord(img, 1000, {{0x06, 63, 800}, {0x05, 5000, 2000}});
    WriteRecord(img, 6000, {{0x83, 63, 1000}});
    Resize(img, 10000 * 512);

    RecordingContext rc;
    rc.devices.Set("PHYSICALDRIVE0", img);
    DiskScan scan(rc.context);
    ASSERT_EQ(scan.Scan(), 1);
    EXPECT_EQ(Rows(scan), (std::vector<std::string>{
                              "C:|NTFS|  7(0x07)|63|900|460800|PHYSICALDRIVE0|",
                              "D:|FAT16|  6(0x06)|1063|800|409600|PHYSICALDRIVE0|",
                              "E:|Linux|131(0x83)|6063|1000|512000|PHYSICALDRIVE0|",
                          }));
    EXPECT_EQ(scan.GetEntry(0).walkLetter, "C:");
    EXPECT_EQ(scan.GetEntry(7).source, "");
}

TEST(DiskScan, BrokenTablesGiveNoRowsOrStopTheWalk) {
    TempDir dir;
    RecordingContext rc;
    // No signature.
    const std::string b = dir.File("b.img");
    WriteRecord(b, 0, {{0x07, 63, 100}}, false);
    Resize(b, 1 << 20);
    // Unsigned extended record: rows before it stay, the walk stops.
    const std::string c = dir.File("c.img");
    WriteRecord(c, 0, {{0x0C, 63, 100}, {0x0F, 200, 300}, {0x83, 600, 10}});
    WriteRecord(c, 200, {{0x06, 63, 100}}, false);
    Resize(c, 1 << 20);
    rc.devices.Set("PHYSICALDRIVE1", b);
    rc.devices.Set("PHYSICALDRIVE2", c);
    rc.devices.Set("PHYSICALDRIVE3", dir.File("missing.img"));
    DiskScan scan(rc.context);
    EXPECT_EQ(scan.WalkDisk("PHYSICALDRIVE1"), 0);
    EXPECT_EQ(scan.WalkDisk("PHYSICALDRIVE2"), 0);
    EXPECT_EQ(scan.WalkDisk("PHYSICALDRIVE3"), 0);
    ASSERT_EQ(scan.Entries().size(), 1u);
    EXPECT_EQ(scan.Entries()[0].typeId, 0x0C);
}

// Which signed sectors 0 are taken for a partition table: any plausible
// slot makes a table; a volume boot sector never does.
TEST(DiskScan, TableIsTakenWhenAnySlotIsPlausible) {
    struct Case {
        const char* what;
        std::vector<Part> parts;
        uint8_t bootFlag;                         // written into every used slot
        std::vector<uint8_t> head;                // bytes 0.. written over the record (a boot sector)
        std::vector<uint32_t> starts;             // rows expected; empty: the walk answers 0
    };
    // A FAT16 boot sector: jump, 512-byte sectors, 4 per cluster, 1 reserved,
    // 2 FATs, media F8.
    std::vector<uint8_t> fat(22, 0);
    fat[0] = 0xEB; fat[1] = 0x3C; fat[2] = 0x90;
    PutLe16(fat.data() + 11, 512); fat[13] = 4; PutLe16(fat.data() + 14, 1); fat[16] = 2; fat[21] = 0xF8;
    std::vector<uint8_t> ntfs{0xEB, 0x52, 0x90, 'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '};
    const Case cases[] = {
        {"only slot 2", {{0, 0, 0}, {0x07, 63, 100}}, 0x00, {}, {63}},
        {"only slot 4", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0x83, 300, 100}}, 0x80, {}, {300}},
        {"all slots empty", {}, 0x00, {}, {}},
        {"bad boot flag", {{0x07, 63, 100}}, 0x12, {}, {}},
        {"past the disk's end", {{0x07, 63, 5000}}, 0x00, {}, {}},
        {"zero count", {{0x07, 63, 0}}, 0x00, {}, {}},
        {"FAT boot sector", {{0x07, 63, 100}}, 0x00, fat, {}},
        {"NTFS boot sector", {{0x07, 63, 100}}, 0x00, ntfs, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string img = dir.File("disk.img");
        WriteRecord(img, 0, c.parts);
        Resize(img, 2048 * 512);
        for (size_t i = 0; i < c.parts.size(); ++i) {
            if (c.parts[i].type) {
                ASSERT_TRUE(test::PatchFile(img, 446 + 16 * i, {c.bootFlag}));
            }
        }
        if (!c.head.empty()) {
            ASSERT_TRUE(test::PatchFile(img, 0, c.head));
        }
        RecordingContext rc;
        rc.devices.Set("PHYSICALDRIVE0", img);
        DiskScan scan(rc.context);
        EXPECT_EQ(scan.WalkDisk("PHYSICALDRIVE0"), c.starts.empty() ? 0 : 1);
        std::vector<uint32_t> starts;
        for (const auto& e : scan.Entries()) starts.push_back(e.startSector);
        EXPECT_EQ(starts, c.starts);
    }
}

TEST(DiskScan, CyclicExtendedChainEnds) {
    TempDir dir;
    const std::string img = dir.File("loop.img");
    WriteRecord(img, 0, {{0x05, 100, 1000}});
    WriteRecord(img, 100, {{0x13, 10, 5}, {0x05, 200, 50}});
    WriteRecord(img, 300, {{0x01, 10, 5}, {0x05, 0, 50}});  // points back to the first record
    Resize(img, 1 << 20);
    RecordingContext rc;
    rc.devices.Set("PHYSICALDRIVE0", img);
    DiskScan scan(rc.context);
    EXPECT_EQ(scan.WalkDisk("PHYSICALDRIVE0"), 1);
    ASSERT_EQ(scan.Entries().size(), 2u);
    EXPECT_EQ(scan.Entries()[0].startSector, 110u);
    EXPECT_EQ(scan.Entries()[0].fsName, "");  // 0x13 is not in the table
    EXPECT_EQ(scan.Entries()[1].startSector, 310u);
}

TEST(DiskScan, LettersMatchMountedDrivesAndNewOnesFollow) {
    TempDir dir;
    const std::string disk = dir.File("disk.img");
    WriteRecord(disk, 0, {{0x07, 64, 64}, {0x0B, 128, 64}, {0x06, 192, 64}});
    Resize(disk, 256 * 512);
    // The second partition's first 2048 bytes are what "C:" holds.
    std::vector<uint8_t> marker(2048, 0x5A);
    {
        std::fstream f(disk, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(128 * 512);
        f.write(reinterpret_cast<const char*>(marker.data()), 2048);
    }
    ASSERT_TRUE(test::WriteFileBytes(dir.File("c.img"), marker));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("d.img"), std::vector<uint8_t>(2048, 0x11)));
    RecordingContext rc;
    rc.devices.Set("PHYSICALDRIVE0", disk);
    rc.devices.Set("C:", dir.File("c.img"));
    rc.devices.Set("D:", dir.File("d.img"));
    DiskScan scan(rc.context);
    ASSERT_EQ(scan.Scan(), 1);
    ASSERT_EQ(scan.Entries().size(), 3u);
    // Sorted by the given letters; the matched one is C:, the others E:, F:.
    EXPECT_EQ(scan.Entries()[0].letter, "C:");
    EXPECT_EQ(scan.Entries()[0].typeId, 0x0B);
    EXPECT_EQ(scan.Entries()[0].walkLetter, "D:");
    EXPECT_EQ(scan.Entries()[1].letter, "E:");
    EXPECT_EQ(scan.Entries()[1].typeId, 0x07);
    EXPECT_EQ(scan.Entries()[2].letter, "F:");
}

TEST(DiskScan, FloppyAndWholeDiskRows) {
    TempDir dir;
    std::vector<uint8_t> boot(1474560, 0);
    PutLe16(boot.data() + 11, 512);
    PutLe16(boot.data() + 19, 2880);
    std::memcpy(boot.data() + 43, "MYDISK     ", 11);
    std::memcpy(boot.data() + 54, "FAT12   ", 8);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("fd.img"), boot));
    const std::string disk = dir.File("disk.img");
    WriteRecord(disk, 0, {{0x0C, 63, 100}});
    Resize(disk, 1 << 20);
    RecordingContext rc;
    rc.devices.Set("A:", dir.File("fd.img"));
    rc.devices.Set("PHYSICALDRIVE0", disk);
    DiskScan scan(rc.context);
    scan.SetOptions(1, 1, 1);
    ASSERT_EQ(scan.Scan(), 1);
    ASSERT_EQ(scan.Entries().size(), 3u);
    const auto& floppy = scan.Entries()[0];
    EXPECT_EQ(floppy.letter, "A:");
    EXPECT_EQ(floppy.label, "MYDISK     ");
    EXPECT_EQ(floppy.fsName, "FAT12   ");
    EXPECT_EQ(floppy.sizeBytes, 1474560u);
    EXPECT_EQ(scan.Entries()[1].letter, "C:");
    const auto& whole = scan.Entries()[2];
    EXPECT_EQ(whole.source, "PHYSICALDRIVE0");
    EXPECT_EQ(whole.typeId, 0);
    // Whole disks are given letters like unmatched partitions; the walk
    // letter keeps the drive number.
    EXPECT_EQ(whole.letter, "D:");
    EXPECT_EQ(whole.walkLetter, "0");
}

TEST(DiskScan, ChosenRowAndTypeNames) {
    PartitionEntry entry;
    entry.letter = "C:";
    entry.fsName = "NTFS  ";
    entry.typeId = 7;
    entry.startSector = 63;
    entry.totalSectors = 1000;
    entry.source = "PHYSICALDRIVE0";
    const ChosenRow row = ChosenRowOf(entry);
    EXPECT_EQ(row.typeId, 7);
    EXPECT_EQ(row.startSector, 63u);
    EXPECT_EQ(row.totalSectors, 1000u);
    EXPECT_EQ(row.sourceDevice, "PHYSICALDRIVE0");
    EXPECT_EQ(row.itemName, "C:(NTFS)");
    EXPECT_EQ(TypeName(0x14), "Hidden FAT16 <32M");
    EXPECT_EQ(TypeName(0x87), "NTFS volume set");
    EXPECT_EQ(TypeName(0x13), "");
}

// Same partitions as sleuthkit's mmls finds on sfdisk-made disks.
TEST(DiskScan, AgreesWithMmlsOnSfdiskDisks) {
    DELVORA_REQUIRE_TOOL("sfdisk");
    DELVORA_REQUIRE_TOOL("mmls");
    struct Case {
        const char* script;  // sfdisk input
        size_t partitions;
    };
    const Case cases[] = {
        {"label: dos\\nstart=2048,size=20000,type=c\\nsize=10000,type=7\\ntype=5\\nsize=8000,type=6\\n"
         "size=4000,type=83\\ntype=b\\n",
         5},
        // Slot 1 left empty: partition 2 is the only one.
        {"label: dos\\nx2 : start=2048,size=20000,type=7\\n", 1},
        {"label: dos\\nstart=2048,size=8000,type=83\\nstart=20000,size=8000,type=c\\n", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        TempDir dir;
        const std::string img = dir.File("disk.img");
        ASSERT_EQ(test::RunShell("truncate -s 64M " + img + " && printf '" + c.script + "' | sfdisk -q " + img), 0);
        std::string mmls;
        ASSERT_EQ(test::RunShell("mmls -a " + img, &mmls), 0);
        std::vector<std::pair<uint32_t, uint32_t>> expected;  // start, length
        std::istringstream lines(mmls);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream f(line);
            std::string slot, kind, start, end, length;
            f >> slot >> kind >> start >> end >> length;
            if (kind.size() == 7 && kind[3] == ':')  // "000:001": a partition slot
                expected.emplace_back(std::stoul(start), std::stoul(length));
        }
        RecordingContext rc;
        rc.devices.Set("PHYSICALDRIVE0", img);
        DiskScan scan(rc.context);
        ASSERT_EQ(scan.WalkDisk("PHYSICALDRIVE0"), 1);
        std::vector<std::pair<uint32_t, uint32_t>> ours;
        for (const auto& e : scan.Entries()) ours.emplace_back(e.startSector, e.totalSectors);
        std::sort(expected.begin(), expected.end());
        std::sort(ours.begin(), ours.end());
        EXPECT_EQ(ours.size(), c.partitions);
        EXPECT_EQ(ours, expected);
    }
}

}  // namespace
}  // namespace delvora
