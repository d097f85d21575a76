#include "case/detect_and_load.h"

#include <gtest/gtest.h>

#include <new>
#include <regex>

#include "case/add_data.h"
#include "case/fake_volume.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::FakeVolume;
using test::FakeVolumeScript;
using test::RecordingContext;
using test::RecordingEvents;

// A case with fake volumes over a small image file.
struct LoadFixture {
    LoadFixture() : workspace(rc.context) {
        test::UseFakeVolumes(workspace, script);
        workspace.SetEvents(&events);
        EXPECT_TRUE(test::WriteFileBytes(image, std::vector<uint8_t>(64 * 512, 0)));
    }
    ChosenRow Row(uint8_t typeId, uint32_t start = 63) const {
        return ChosenRow{typeId, start, 1000, image, "C:(TEST)"};
    }
    DataItem* Add(uint8_t typeId, uint32_t start = 63) {
        DataItem* item = AddPartition(workspace, Row(typeId, start));
        workspace.WaitForWorker();
        return item;
    }

    test::TempDir dir;
    std::string image = dir.File("disk.img");
    RecordingContext rc;
    FakeVolumeScript script;
    RecordingEvents events;
    CaseWorkspace workspace;
};

bool IsLoadLine(const std::string& line, const std::string& tail) {
    static const std::regex stamp("^系统于 [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} 加载");
    std::smatch match;
    if (!std::regex_search(line, match, stamp)) return false;
    return line.substr(match.length()) == tail;
}

bool IsElapsedLine(const std::string& line) {
    static const std::regex elapsed("^分析文件系统耗时: [0-9]+ 毫秒$");
    return std::regex_match(line, elapsed);
}

TEST(DetectAndLoad, TypeBytesChooseTheVolumeAndItsFatType) {
    struct Case {
        uint8_t typeId;
        VolumeClass volumeClass;
        uint8_t fatType;
        const char* logText;
    };
    const Case cases[] = {
        {0x01, VolumeClass::Fat, 1, "FAT12文件系统,位于 %s ,63 扇区"},
        {0x04, VolumeClass::Fat, 2, "FAT16文件系统,位于 %s ,63 扇区"},
        {0x06, VolumeClass::Fat, 2, "FAT16文件系统,位于 %s ,63 扇区"},
        {0x0E, VolumeClass::Fat, 2, "FAT16文件系统,位于 %s ,63 扇区"},
        {0x14, VolumeClass::Fat, 2, "FAT16文件系统,位于 %s ,63 扇区"},
        {0x16, VolumeClass::Fat, 2, "FAT16文件系统,位于 %s ,63 扇区"},
        {0x0B, VolumeClass::Fat, 3, "FAT32文件系统,位于 %s ,63 扇区"},
        {0x0C, VolumeClass::Fat, 3, "FAT32文件系统,位于 %s ,63 扇区"},
        {0x07, VolumeClass::Ntfs, 0, "NTFS文件系统,位于 %s ,63 扇区"},
        {0x17, VolumeClass::Ntfs, 0, "NTFS文件系统,位于 %s ,63 扇区"},
        {0x86, VolumeClass::Ntfs, 0, "NTFS文件系统,位于 %s ,63 扇区"},
        {0x87, VolumeClass::Ntfs, 0, "NTFS文件系统,位于 %s ,63 扇区"},
        {0x83, VolumeClass::Ext2, 0, "EXT2文件系统,位于 %s , 63 扇区."},
        {0x85, VolumeClass::Ext2, 0, "EXT2文件系统,位于 %s , 63 扇区."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.typeId));
        LoadFixture f;
        DataItem* item = f.Add(c.typeId);
        ASSERT_NE(item, nullptr);
        ASSERT_EQ(f.script.classesAsked, std::vector<VolumeClass>{c.volumeClass});
        ASSERT_EQ(item->volumes.size(), 1u);
        const Volume& volume = *item->volumes[0];
        EXPECT_EQ(volume.FatType(), c.fatType);
        EXPECT_EQ(volume.StartSector(), 63u);
        EXPECT_EQ(volume.TotalSectors(), 1000u);
        EXPECT_EQ(volume.GetDataSource(), item->source.get());
        const auto lines = f.rc.log.Lines();
        ASSERT_EQ(lines.size(), 2u);
        char tail[256];
        std::snprintf(tail, sizeof tail, c.logText, f.image.c_str());
        EXPECT_TRUE(IsLoadLine(lines[0], tail)) << lines[0];
        EXPECT_TRUE(f.rc.notifier.Texts().empty());
    }
}

TEST(DetectAndLoad, UnknownAndEmptyTypesBuildNoVolume) {
    // Hidden FAT32 (0x1C) and hidden FAT12 (0x11) are not in the table.
    for (uint8_t typeId : {uint8_t{0x1C}, uint8_t{0x11}, uint8_t{0xEE}}) {
        LoadFixture f;
        EXPECT_EQ(f.Add(typeId), nullptr);
        EXPECT_EQ(f.rc.log.Lines(), std::vector<std::string>{"未知格式的文件系统,结果失败!"});
        EXPECT_EQ(f.rc.notifier.Texts(), std::vector<std::string>{"分析文件系统错!"});
        EXPECT_EQ(f.script.made.load(), 0);
        EXPECT_EQ(f.workspace.ItemCount(), 0u);
        EXPECT_EQ(f.workspace.IsModified(), 0);
    }
    // Type 0 fails without a log line; the command still says so.
    LoadFixture f;
    EXPECT_EQ(f.Add(0x00), nullptr);
    EXPECT_TRUE(f.rc.log.Lines().empty());
    EXPECT_EQ(f.rc.notifier.Texts(), std::vector<std::string>{"分析文件系统错!"});
}

TEST(DetectAndLoad, AKindThatIsNotAvailableFailsCleanly) {
    LoadFixture f;
    f.workspace.SetVolumeFactory([](VolumeClass) { return std::unique_ptr<Volume>(); });
    EXPECT_EQ(f.Add(0x07), nullptr);
    EXPECT_TRUE(f.rc.log.Lines().empty());
    EXPECT_EQ(f.rc.notifier.Texts(), std::vector<std::string>{"分析文件系统错!"});
    EXPECT_EQ(f.workspace.ItemCount(), 0u);
}

TEST(DetectAndLoad, AFailedOpenIsReportedAndNothingStays) {
    LoadFixture f;
    f.script.prepareAnswer = false;
    EXPECT_EQ(f.Add(0x0C), nullptr);
    EXPECT_EQ(f.rc.notifier.Texts(), (std::vector<std::string>{"分析文件系统出错!", "分析文件系统错!"}));
    EXPECT_EQ(f.rc.log.Lines(), std::vector<std::string>{" 在分析文件系统过程中出现错误,无法加载!"});
    EXPECT_EQ(f.script.made.load(), 1);
    EXPECT_EQ(f.script.destroyed.load(), 1);
    EXPECT_EQ(f.script.loads.load(), 0);
    EXPECT_EQ(f.workspace.ItemCount(), 0u);
    EXPECT_EQ(f.workspace.IsBusy(), 0);
}

TEST(LoadingWorker, RunsTheProtocolInOrderAndEndsIdle) {
    LoadFixture f;
    std::vector<std::string> seenDuringLoad;
    f.script.onLoadTree = [&] {
        seenDuringLoad.push_back(std::to_string(f.workspace.IsBusy()) + std::to_string(f.workspace.IsStoppable()));
        seenDuringLoad.push_back(f.workspace.StopMessage());
    };
    std::string stateAtBuild;
    f.events.onBuild = [&](DataItem& item) {
        stateAtBuild = std::to_string(f.workspace.IsBusy()) + f.workspace.StopMessage() +
                       std::to_string(item.volumes.size());
    };
    DataItem* item = AddPartition(f.workspace, ChosenRow{0x0C, 63, 1000, f.image, "D:(FAT32)"});
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(f.workspace.ItemCount(), 1u);
    f.workspace.WaitForWorker();

    EXPECT_EQ(seenDuringLoad, (std::vector<std::string>{"10", "加载文件系统过程中暂时不能终止!"}));
    EXPECT_EQ(stateAtBuild, "1加载树视图过程中暂时不能终止!1");
    EXPECT_EQ(f.events.Built(), std::vector<DataItem*>{item});
    EXPECT_EQ(f.workspace.IsBusy(), 0);
    EXPECT_EQ(f.workspace.IsStoppable(), 1);
    EXPECT_EQ(f.workspace.StopMessage(), "无消息");
    EXPECT_EQ(f.workspace.IsModified(), 1);

    const auto lines = f.rc.log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsLoadLine(lines[0], "FAT32文件系统,位于 " + f.image + " ,63 扇区")) << lines[0];
    EXPECT_TRUE(IsElapsedLine(lines[1])) << lines[1];
    EXPECT_EQ(f.rc.progress.Events(),
              (std::vector<std::string>{"text:正在加载文件系统...", "start", "text:正在加载树视图...", "stop",
                                        "text:进度"}));
    EXPECT_TRUE(f.rc.notifier.Texts().empty());
}

// The pauses only let a window draw: with them turned off a volume kind that
// asks for an hour's pause loads at once (with them on, this would hang).
TEST(LoadingWorker, PausesAreASettingAFrontEndMayTurnOff) {
    LoadFixture f;
    f.rc.options.treeViewPauses = 0;
    for (bool before : {true, false}) {
        f.script.traits = LoadTraits{true, 3600 * 1000, before};
        ASSERT_NE(f.Add(0x0C), nullptr);
    }
    EXPECT_EQ(f.events.Built().size(), 2u);
    EXPECT_EQ(f.workspace.IsBusy(), 0);
    EXPECT_EQ(AnalysisOptions{}.treeViewPauses, 1);  // the workstation keeps them
}

TEST(LoadingWorker, StopRequestsShowWhatCannotBeStopped) {
    LoadFixture f;
    test::Gate inLoad, endLoad, inBuild, endBuild;
    f.script.onLoadTree = [&] {
        inLoad.Open();
        endLoad.Wait();
    };
    f.events.onBuild = [&](DataItem&) {
        inBuild.Open();
        endBuild.Wait();
    };
    ASSERT_NE(AddPartition(f.workspace, f.Row(0x0C)), nullptr);

    inLoad.Wait();
    f.workspace.RequestStop();
    // Another command meanwhile is refused.
    EXPECT_EQ(AddPartition(f.workspace, f.Row(0x0C)), nullptr);
    endLoad.Open();

    inBuild.Wait();
    f.workspace.RequestStop();
    endBuild.Open();
    f.workspace.WaitForWorker();

    EXPECT_EQ(f.rc.notifier.Texts(),
              (std::vector<std::string>{"加载文件系统过程中暂时不能终止!", "线程忙!", "加载树视图过程中暂时不能终止!"}));
    EXPECT_TRUE(f.rc.notifier.Questions().empty());
    EXPECT_EQ(f.workspace.ItemCount(), 1u);
    EXPECT_EQ(f.script.made.load(), 1);
    EXPECT_EQ(f.workspace.IsBusy(), 0);
}

TEST(LoadingWorker, AFailingTreeLoadStillEndsIdle) {
    LoadFixture f;
    f.script.onLoadTree = [] { throw std::bad_alloc(); };
    ASSERT_NE(f.Add(0x06), nullptr);
    EXPECT_EQ(f.workspace.IsBusy(), 0);
    const auto lines = f.rc.log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "内存不足,文件系统未能全部加载!");
    EXPECT_TRUE(IsElapsedLine(lines[2]));
    EXPECT_EQ(f.events.Built().size(), 1u);
}

TEST(LoadingWorker, ErrorReportingComesBackOnlyWhenTheKindSaysSo) {
    // With reporting on, a read past the image's end logs each failing piece.
    for (bool reportAfterLoad : {true, false}) {
        SCOPED_TRACE(reportAfterLoad);
        LoadFixture f;
        f.script.traits.reportErrorsAfterLoad = reportAfterLoad;
        f.script.onLoadTree = [&] {
            // Reporting is off while the volume loads.
            std::vector<uint8_t> buffer(1024);
            DataSource* source = f.script.lastSource;
            if (source) source->GetData(buffer.data(), 1024, 1000);
        };
        DataItem* item = f.Add(0x0C);
        ASSERT_NE(item, nullptr);
        EXPECT_FALSE(f.rc.log.Contains("扇区出错"));
        std::vector<uint8_t> buffer(1024);
        EXPECT_EQ(item->source->GetData(buffer.data(), 1024, 1000), 0);
        EXPECT_EQ(f.rc.log.Contains("扇区出错"), reportAfterLoad);
    }
}

TEST(LoadingWorker, ItemsAddedOneAfterAnotherKeepTheirOrder) {
    LoadFixture f;
    ASSERT_NE(f.Add(0x0C, 63), nullptr);
    ASSERT_NE(f.Add(0x07, 2048), nullptr);
    ASSERT_EQ(f.workspace.ItemCount(), 2u);
    EXPECT_EQ(f.workspace.Items()[1]->startSector, 2048u);
    const auto built = f.events.Built();
    ASSERT_EQ(built.size(), 2u);
    EXPECT_EQ(built[0], f.workspace.Items()[0].get());
    EXPECT_EQ(built[1], f.workspace.Items()[1].get());
    const auto lines = f.rc.log.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(IsElapsedLine(lines[1]));
    EXPECT_TRUE(IsLoadLine(lines[2], "NTFS文件系统,位于 " + f.image + " ,2048 扇区")) << lines[2];
}

// A remote machine whose one disk is a byte vector.
class VectorRemote final : public RemoteDisk {
public:
    int32_t Open(const std::u16string& name, uint32_t) override {
        opened = name;
        return 0;
    }
    int32_t Read(uint64_t, uint32_t count, std::vector<uint8_t>& data) override {
        data.assign(count, 0);
        return 0;
    }
    int32_t SetCheckInfo(int32_t, int32_t, int32_t) override { return 0; }
    int32_t GetHardInfo(uint8_t info[10]) override {
        for (int i = 0; i < 10; ++i) info[i] = 0;
        return 0;
    }
    int32_t GetLogicalDrive(uint32_t& mask) override {
        mask = 0;
        return 0;
    }
    std::u16string opened;
};

TEST(AddData, ARemotePartitionLoadsOnTheWorkerAsALocalOneDoes) {
    LoadFixture f;
    auto remote = std::make_shared<VectorRemote>();
    RemoteChoice connection{remote, "192.168.1.5"};
    std::thread::id loadThread;
    f.script.onLoadTree = [&] { loadThread = std::this_thread::get_id(); };
    DataItem* item = AddPartition(f.workspace, ChosenRow{0x0B, 63, 1000, "PHYSICALDRIVE0", "C:(FAT32)"},
                                  &connection);
    ASSERT_NE(item, nullptr);
    // On the worker, where a stop reaches it and the window stays alive.
    f.workspace.WaitForWorker();
    EXPECT_NE(loadThread, std::thread::id());
    EXPECT_NE(loadThread, std::this_thread::get_id());
    EXPECT_EQ(item->name, "C:(FAT32)(\\\\192.168.1.5)");
    EXPECT_EQ(item->source->Kind(), SourceKind::Remote);
    EXPECT_EQ(remote->opened, u"PHYSICALDRIVE0");
    EXPECT_EQ(f.events.Built(), std::vector<DataItem*>{item});
    EXPECT_EQ(f.workspace.IsBusy(), 0);
    // The load line, then the loader's elapsed time, as for a local source.
    const auto lines = f.rc.log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsLoadLine(lines[0], "FAT32文件系统,位于 PHYSICALDRIVE0 ,63 扇区")) << lines[0];
    EXPECT_TRUE(IsElapsedLine(lines[1])) << lines[1];
}

TEST(AddData, TheFloppyRowReadsDriveA) {
    LoadFixture f;
    f.rc.devices.Set("A:", f.image);
    DataItem* item = AddPartition(f.workspace, ChosenRow{0x01, 0, 2880, "软盘", "A:(FAT12)"});
    f.workspace.WaitForWorker();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->source->Path(), "A:");
    EXPECT_EQ(item->name, "A:(FAT12)");
    EXPECT_EQ(item->source->Kind(), SourceKind::Device);
}

TEST(AddData, ASourceThatDoesNotOpenIsDroppedSilently) {
    LoadFixture f;
    EXPECT_EQ(AddPartition(f.workspace, ChosenRow{0x0C, 63, 1000, f.dir.File("missing.img"), "X:(FAT32)"}),
              nullptr);
    EXPECT_TRUE(f.rc.notifier.Texts().empty());
    EXPECT_TRUE(f.rc.log.Lines().empty());
    EXPECT_EQ(f.script.made.load(), 0);
    EXPECT_EQ(f.workspace.ItemCount(), 0u);
}

TEST(AddData, AVirtualVolumeUsesTheTypedParameters) {
    LoadFixture f;
    VirtualVolumeChoice choice;
    choice.typeId = 0x0B;
    choice.deviceName = f.image;
    choice.startSector = 8;
    choice.fatParams[0] = 0x00;
    choice.fatParams[1] = 0x02;  // 512 bytes per sector
    DataItem* item = AddVirtualVolume(f.workspace, choice);
    f.workspace.WaitForWorker();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->name, f.image);
    EXPECT_EQ(item->totalSectors, 0xFFFFFFFFu);
    EXPECT_EQ(item->startSector, 8u);
    EXPECT_EQ(item->source->HasFixedParams(), 1);
    EXPECT_EQ(item->source->GetFat_BPB(), choice.fatParams);
    ASSERT_EQ(item->volumes.size(), 1u);
    EXPECT_EQ(item->volumes[0]->TotalSectors(), 0xFFFFFFFFu);
}

TEST(AddData, RefusedWhileBusyWithoutTouchingTheSource) {
    LoadFixture f;
    f.workspace.SetBusy(1);
    EXPECT_EQ(AddPartition(f.workspace, f.Row(0x0C)), nullptr);
    EXPECT_EQ(AddVirtualVolume(f.workspace, VirtualVolumeChoice{0x0C, f.image, 0, {}, {}, {}}), nullptr);
    EXPECT_EQ(f.rc.notifier.Texts(), (std::vector<std::string>{"线程忙!", "线程忙!"}));
    EXPECT_EQ(f.script.made.load(), 0);
    f.workspace.SetBusy(0);
}

}  // namespace
}  // namespace delvora
