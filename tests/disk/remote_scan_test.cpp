#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "common/bytes.h"
#include "common/codepage.h"
#include "disk/disk_scan.h"
#include "support/recorders.h"

namespace delvora {
namespace {

// A remote machine with in-memory disks named like local ones.
class FakeMachine final : public RemoteDisk {
public:
    int32_t Open(const std::u16string& name, uint32_t) override {
        std::string key;
        for (char16_t c : name) key.push_back(static_cast<char>(c));
        if (!disks.count(key)) return -1;
        current = key;
        return 0;
    }
    int32_t Read(uint64_t sector, uint32_t count, std::vector<uint8_t>& data) override {
        const auto& disk = disks[current];
        const uint64_t off = uint64_t{sector} * 512;
        if (off + count > disk.size()) return -1;
        data.assign(disk.begin() + static_cast<ptrdiff_t>(off), disk.begin() + static_cast<ptrdiff_t>(off + count));
        return 0;
    }
    int32_t SetCheckInfo(int32_t f, int32_t p, int32_t w) override {
        checkInfo = {f, p, w};
        return 0;
    }
    int32_t GetHardInfo(uint8_t info[10]) override {
        if (failHardInfo) return -1;
        std::memcpy(info, hardInfo, 10);
        return 0;
    }
    int32_t GetLogicalDrive(uint32_t& mask) override {
        mask = driveMask;
        return 0;
    }
    std::map<std::string, std::vector<uint8_t>> disks;
    std::string current;
    std::vector<int32_t> checkInfo;
    uint8_t hardInfo[10] = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    uint32_t driveMask = 0;
    bool failHardInfo = false;
};

std::vector<uint8_t> DiskWithOnePartition(uint8_t type, uint32_t start, uint32_t count) {
    std::vector<uint8_t> disk(uint64_t{start + count} * 512, 0);
    PutLe32(disk.data() + 446 + 8, start);
    PutLe32(disk.data() + 446 + 12, count);
    disk[446 + 4] = type;
    disk[510] = 0x55;
    disk[511] = 0xAA;
    std::memset(disk.data() + uint64_t{start} * 512, 0x77, 2048);
    return disk;
}

TEST(RemoteScan, FloppyIsFixedAndDrivesMatchThroughTheService) {
    auto machine = std::make_shared<FakeMachine>();
    machine->disks["PHYSICALDRIVE0"] = DiskWithOnePartition(0x07, 63, 100);
    machine->disks["C:"] = std::vector<uint8_t>(4096, 0x77);
    machine->driveMask = 1u << 2;
    test::RecordingContext rc;
    DiskScan scan(rc.context);
    scan.SetOptions(1, 1, 0);
    scan.SetRemote(machine);
    ASSERT_EQ(scan.Scan(), 1);
    EXPECT_EQ(machine->checkInfo, (std::vector<int32_t>{1, 1, 1}));  // whole disks always asked
    ASSERT_EQ(scan.Entries().size(), 2u);
    EXPECT_EQ(scan.Entries()[0].letter, "A:");
    EXPECT_EQ(scan.Entries()[0].totalSectors, 2880u);
    EXPECT_EQ(scan.Entries()[0].sizeBytes, 1474560u);
    EXPECT_EQ(scan.Entries()[0].fsName, "FAT12");
    EXPECT_EQ(scan.Entries()[1].letter, "C:");
    EXPECT_EQ(scan.Entries()[1].startSector, 63u);
}

TEST(RemoteScan, ServiceFailuresAreShownAndEmptyTheList) {
    auto machine = std::make_shared<FakeMachine>();
    machine->failHardInfo = true;
    test::RecordingContext rc;
    DiskScan scan(rc.context);
    scan.SetRemote(machine);
    EXPECT_EQ(scan.Scan(), 0);
    EXPECT_TRUE(scan.Entries().empty());
    ASSERT_EQ(rc.notifier.Messages().size(), 1u);
    EXPECT_EQ(rc.notifier.Messages()[0].text, "GetHardInfo Error!");
    EXPECT_EQ(rc.notifier.Messages()[0].caption, "DCOM Error");
}

}  // namespace
}  // namespace delvora
