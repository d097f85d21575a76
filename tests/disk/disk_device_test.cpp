#include <gtest/gtest.h>

#include "disk/data_source.h"
#include "disk/disk_device.h"
#include "support/memory_backend.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::MemoryBackend;
using test::NumberedSectors;
using test::RecordingContext;

TEST(DiskDevice, OneBadSectorInEightCostsOnlyItsOwnBytes) {
    RecordingContext rc;
    DiskDevice device(rc.context);
    device.SetName("PHYSICALDRIVE0");
    ASSERT_TRUE(device.OpenWithBackend(std::make_unique<MemoryBackend>(NumberedSectors(16), std::set<uint64_t>{2})));
    std::vector<uint8_t> buf(8 * 512, 0xEE);
    EXPECT_EQ(device.Read(buf.data(), 4096, 0), 1);
    for (size_t n = 0; n < 8; ++n) {
        const uint8_t expected = n == 2 ? 0 : uint8_t(n + 1);
        EXPECT_EQ(buf[n * 512], expected) << n;
        EXPECT_EQ(buf[n * 512 + 511], expected) << n;
    }
    EXPECT_TRUE(rc.log.Lines().empty());  // reporting is off
    EXPECT_TRUE(rc.notifier.Messages().empty());
}

TEST(DiskDevice, ReportedFailuresLogEachPieceAndShowOneBox) {
    RecordingContext rc;
    DiskDevice device(rc.context);
    device.SetName("PHYSICALDRIVE1");
    device.SetReportErrors(1);
    ASSERT_TRUE(device.OpenWithBackend(std::make_unique<MemoryBackend>(NumberedSectors(16), std::set<uint64_t>{5})));
    std::vector<uint8_t> buf(512, 0xEE);
    EXPECT_EQ(device.Read(buf.data(), 512, 5), 0);
    EXPECT_EQ(buf, std::vector<uint8_t>(512, 0));
    ASSERT_EQ(rc.log.Lines().size(), 1u);
    EXPECT_EQ(rc.log.Lines()[0], "读取 PHYSICALDRIVE1 磁盘 5 扇区出错! 原因: Input/output error");
    ASSERT_EQ(rc.notifier.Messages().size(), 1u);
    EXPECT_EQ(rc.notifier.Messages()[0].caption, "Error");
    EXPECT_EQ(rc.notifier.Messages()[0].icon, MessageIcon::Information);

    // Two bad sectors in a four-sector read: a log line each, one box.
    DiskDevice device2(rc.context);
    device2.SetName("X:");
    device2.SetReportErrors(1);
    device2.OpenWithBackend(std::make_unique<MemoryBackend>(NumberedSectors(16), std::set<uint64_t>{1, 3}));
    std::vector<uint8_t> four(2048);
    EXPECT_EQ(device2.Read(four.data(), 2048, 0), 1);
    EXPECT_TRUE(rc.log.Contains("读取 X: 磁盘 1 扇区出错!"));
    EXPECT_TRUE(rc.log.Contains("读取 X: 磁盘 3 扇区出错!"));
    EXPECT_EQ(rc.notifier.Messages().size(), 2u);
}

TEST(DiskDevice, SixHundredByteFailureIsNotRetried) {
    DiskDevice device;
    device.SetName("C:");
    auto backend = std::make_unique<MemoryBackend>(NumberedSectors(4), std::set<uint64_t>{1});
    MemoryBackend* raw = backend.get();
    device.OpenWithBackend(std::move(backend));
    std::vector<uint8_t> buf(600, 0xEE);
    EXPECT_EQ(device.Read(buf.data(), 600, 0), 0);
    EXPECT_EQ(buf, std::vector<uint8_t>(600, 0));
    EXPECT_EQ(raw->reads, 1);
}

TEST(DiskDevice, NameChecks) {
    RecordingContext rc;
    DiskDevice device(rc.context);
    EXPECT_EQ(device.Open(), 0);
    device.SetName("C1");
    EXPECT_EQ(device.Open(), 0);
    device.SetName("C");  // one character: attempted, not refused by the colon rule
    device.SetReportErrors(1);
    EXPECT_EQ(device.Open(), 0);
    EXPECT_EQ(rc.notifier.Texts(),
              (std::vector<std::string>{"请设好逻辑盘符!", "请将逻辑盘符设成 A: C: D: ... ", "创建逻辑盘文件失败!"}));
}

TEST(DiskDevice, ReadsImagesThroughTheDeviceMapAndShortReadsFail) {
    test::TempDir dir;
    auto bytes = NumberedSectors(3);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("d.img"), bytes));
    RecordingContext rc;
    rc.devices.Set("PHYSICALDRIVE0", dir.File("d.img"));
    DiskDevice device(rc.context);
    device.SetName("physicaldrive0");
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(device.SizeBytes(), 1536u);
    std::vector<uint8_t> buf(1024);
    EXPECT_EQ(device.Read(buf.data(), 1024, 1), 1);
    EXPECT_EQ(buf[0], 2);
    EXPECT_EQ(buf[1023], 3);
    // Past the end: the one whole piece inside is read, the rest is zero.
    EXPECT_EQ(device.Read(buf.data(), 1024, 2), 1);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(buf[512], 0);
    EXPECT_EQ(device.Read(buf.data(), 512, 3), 0);
}

TEST(DiskDevice, OnlyFilesAndDevicesOpen) {
    test::TempDir dir;
    ASSERT_EQ(test::RunShell("mkfifo " + dir.File("fifo")), 0);
    RecordingContext rc;
    rc.devices.Set("PHYSICALDRIVE0", dir.File("fifo"));  // would block a plain open
    rc.devices.Set("PHYSICALDRIVE1", dir.Path());
    DiskDevice device(rc.context);
    device.SetName("PHYSICALDRIVE0");
    EXPECT_EQ(device.Open(), 0);
    device.SetName("PHYSICALDRIVE1");
    EXPECT_EQ(device.Open(), 0);
    EXPECT_NE(device.LastErrorText().find("Is a directory"), std::string::npos);
}

class FakeRemote final : public RemoteDisk {
public:
    int32_t Open(const std::u16string& name, uint32_t sectorSize) override {
        opened = name;
        EXPECT_EQ(sectorSize, 512u);
        return 0;
    }
    int32_t Read(uint64_t, uint32_t count, std::vector<uint8_t>& data) override {
        data.assign(shortBy < count ? count - shortBy : 0, 0xAB);
        return 0;
    }
    int32_t SetCheckInfo(int32_t, int32_t, int32_t) override { return 0; }
    int32_t GetHardInfo(uint8_t info[10]) override {
        std::fill(info, info + 10, 0);
        return 0;
    }
    int32_t GetLogicalDrive(uint32_t& mask) override {
        mask = 0;
        return 0;
    }
    std::u16string opened;
    uint32_t shortBy = 0;
};

TEST(DataSource, RemoteReadsMustDeliverEveryByte) {
    auto remote = std::make_shared<FakeRemote>();
    DataSource source;
    EXPECT_EQ(source.SetRemote(nullptr), 0);
    ASSERT_EQ(source.SetRemote(remote), 1);
    source.SetKind(SourceKind::Remote);
    source.SetPath("PHYSICALDRIVE0");
    ASSERT_EQ(source.Open(), 1);
    EXPECT_EQ(remote->opened, u"PHYSICALDRIVE0");
    EXPECT_FALSE(source.IsLocal());
    std::vector<uint8_t> buf(512);
    EXPECT_EQ(source.GetData(buf.data(), 512, 0), 1);
    EXPECT_EQ(buf[0], 0xAB);
    remote->shortBy = 1;
    EXPECT_EQ(source.GetData(buf.data(), 512, 0), 0);
}

TEST(DataSource, FixedParametersStandAndTheRecordRoundTrips) {
    DataSource source;
    FatBootParams fat{};
    fat[0] = 'M';
    source.SetFat_BPB(fat);
    // Closed, yet both answer 1: the typed-in blocks are never re-read.
    EXPECT_EQ(source.ReadFat_BPB(63), 1);
    EXPECT_EQ(source.ReadNtfs_BPB(63), 1);
    EXPECT_EQ(source.GetFat_BPB()[0], 'M');
    EXPECT_EQ(source.GetNtfs_BPB(), NtfsBootParams{});

    DataSource saved;
    saved.SetKind(SourceKind::ImageFile);
    saved.SetPath("/nonexistent/镜像.img");
    ArchiveWriter w;
    saved.Save(w);
    EXPECT_EQ(w.Bytes()[0], 3);
    ArchiveReader r(w.Bytes());
    DataSource loaded;
    EXPECT_EQ(loaded.Load(r), 0);  // read back, but the image does not open
    EXPECT_EQ(loaded.Kind(), SourceKind::ImageFile);
    EXPECT_EQ(loaded.Path(), "/nonexistent/镜像.img");
}

TEST(DataSource, ImageFileReadsGoThroughTheRetryLayer) {
    test::TempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("v.img"), NumberedSectors(4)));
    DataSource source;
    source.SetKind(SourceKind::ImageFile);
    source.SetPath(dir.File("v.img"));
    ASSERT_EQ(source.Open(), 1);
    std::vector<uint8_t> buf(1024);
    EXPECT_EQ(source.GetData(buf.data(), 1024, 2), 1);
    EXPECT_EQ(buf[600], 4);
    // As on a device: the piece inside is read, the piece past the end is 0.
    EXPECT_EQ(source.GetData(buf.data(), 1024, 3), 1);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[600], 0);
    EXPECT_EQ(source.GetData(buf.data(), 512, 4), 0);
    EXPECT_EQ(source.Close(), 1);
    EXPECT_EQ(source.Close(), 0);
    EXPECT_EQ(source.GetData(buf.data(), 512, 0), 0);
}

TEST(DeviceMap, ParsesMapsAndResolvesNames) {
    DeviceMap map;
    std::string error;
    ASSERT_TRUE(DeviceMap::Parse("# disks\nPHYSICALDRIVE0 = /img/d0.img\nc:=/dev/sdb1 # data\n\n", map, error));
    EXPECT_EQ(map.Resolve("physicaldrive0"), "/img/d0.img");
    EXPECT_EQ(map.Resolve("C:"), "/dev/sdb1");
    EXPECT_EQ(map.Resolve("/abs/path.img"), "/abs/path.img");
    EXPECT_EQ(map.Resolve("D:"), "");
    EXPECT_EQ(map.LogicalDriveMask(), 1u << 2);
    DeviceMap bad;
    EXPECT_FALSE(DeviceMap::Parse("A:=/x\nnonsense\n", bad, error));
    EXPECT_EQ(error, "device map line 2: expected NAME=PATH");
}

// A map file is a small regular file; anything else fails at once with a
// one-line message instead of hanging (a FIFO) or reading without end.
TEST(DeviceMap, OnlySmallRegularFilesAreRead) {
    test::TempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("ok.map"), {'A', ':', '=', 'f', '.', 'i', 'm', 'g', '\n'}));
    ASSERT_EQ(test::RunShell("mkfifo " + dir.File("fifo") + " && mkdir " + dir.File("folder") + " && truncate -s " +
                             std::to_string(DeviceMap::kMaxMapFileBytes + 1) + " " + dir.File("big.map") +
                             " && truncate -s " + std::to_string(DeviceMap::kMaxMapFileBytes) + " " +
                             dir.File("edge.map")),
              0);
    const struct {
        const char* name;
        bool ok;
        const char* error;
    } cases[] = {
        {"ok.map", true, ""},
        {"edge.map", false, "line 1: expected NAME=PATH"},  // read whole: NUL bytes are no map line
        {"fifo", false, "is not a regular file"},
        {"folder", false, "is not a regular file"},
        {"big.map", false, "is larger than 1048576 bytes"},
        {"missing.map", false, "cannot read device map"},
    };
    for (const auto& c : cases) {
        DeviceMap map;
        std::string error;
        EXPECT_EQ(DeviceMap::LoadFile(dir.File(c.name), map, error), c.ok) << c.name;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.name;
        if (c.ok) {
            EXPECT_EQ(map.Resolve("A:"), dir.File("f.img"));
        }
    }
}

}  // namespace
}  // namespace delvora
