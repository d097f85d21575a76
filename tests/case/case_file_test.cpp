#include "case/case_file.h"
#include "case/case_file_loader.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <condition_variable>
#include <csignal>
#include <filesystem>

#include "case/fake_volume.h"
#include "common/archive.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using Bytes = std::vector<uint8_t>;

// A case with fake volumes; images live in dir.
struct CaseFixture {
    CaseFixture() : workspace(rc.context) {
        test::UseFakeVolumes(workspace, script);
        workspace.SetEvents(&events);
    }
    std::string Image(const std::string& name) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(test::WriteFileBytes(path, Bytes(64 * 512, 0)));
        return path;
    }

    test::TempDir dir;
    test::RecordingContext rc;
    test::FakeVolumeScript script;
    test::RecordingEvents events;
    CaseWorkspace workspace;
};

// A record as the case file holds it.
void AppendRecord(ArchiveWriter& archive, const std::string& name, uint8_t typeId, uint32_t start,
                  uint8_t kind, const std::string& path) {
    archive.WriteString(name);
    archive.WriteU8(typeId);
    archive.WriteU32(start);
    archive.WriteU8(kind);
    archive.WriteString(path);
}

Bytes CaseBytes(int32_t count, const std::vector<std::tuple<std::string, uint8_t, uint32_t, std::string>>& items) {
    ArchiveWriter archive;
    for (char c : std::string("WSH")) archive.WriteU8(static_cast<uint8_t>(c));
    archive.WriteU32(static_cast<uint32_t>(count));
    archive.WriteU32(0);
    for (const auto& [name, typeId, start, path] : items) AppendRecord(archive, name, typeId, start, 2, path);
    return archive.Bytes();
}

std::vector<std::string> Names(const CaseWorkspace& workspace) {
    std::vector<std::string> names;
    for (const auto& item : workspace.Items()) names.push_back(item->name);
    return names;
}

TEST(CaseFileBytes, AnEmptyCaseIsElevenBytes) {
    CaseWorkspace workspace;
    EXPECT_EQ(SerializeCase(workspace, 1), (Bytes{0x57, 0x53, 0x48, 0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(SerializeCase(workspace, 0), (Bytes{0x57, 0x53, 0x48, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(CaseFileBytes, AnItemRecordHoldsNameTypeStartAndSource) {
    CaseWorkspace workspace;
    auto item = workspace.NewItem();
    item->name = "C:(NTFS)";
    item->typeId = 7;
    item->startSector = 63;
    item->totalSectors = 12345;  // not stored
    item->source->SetKind(SourceKind::Device);
    item->source->SetPath("PHYSICALDRIVE0");
    workspace.AddItem(std::move(item));

    Bytes expected{0x57, 0x53, 0x48, 1, 0, 0, 0, 1, 0, 0, 0, 0x08};
    for (char c : std::string("C:(NTFS)")) expected.push_back(static_cast<uint8_t>(c));
    expected.insert(expected.end(), {0x07, 0x3F, 0x00, 0x00, 0x00, 0x02, 0x0E});
    for (char c : std::string("PHYSICALDRIVE0")) expected.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(SerializeCase(workspace, 1), expected);
}

TEST(CaseFileBytes, NamesAreWrittenInGbk) {
    CaseWorkspace workspace;
    auto item = workspace.NewItem();
    item->name = "软盘";
    item->source->SetPath("A:");
    workspace.AddItem(std::move(item));
    const Bytes bytes = SerializeCase(workspace, 0);
    // 软 = C8 ED, 盘 = C5 CC in GBK.
    const Bytes name(bytes.begin() + 11, bytes.begin() + 16);
    EXPECT_EQ(name, (Bytes{0x04, 0xC8, 0xED, 0xC5, 0xCC}));
}

TEST(CaseFileLoad, SavedItemsComeBackAnalysedInOrder) {
    CaseFixture f;
    const std::string first = f.Image("first.img");
    const std::string second = f.Image("second.img");
    const Bytes bytes = CaseBytes(2, {{"C:(FAT32)", 0x0C, 63, first}, {"D:(NTFS)", 0x07, 2048, second}});

    EXPECT_EQ(SerializeCase(f.workspace, bytes), 1);
    ASSERT_EQ(f.workspace.ItemCount(), 2u);
    const DataItem& a = *f.workspace.Items()[0];
    const DataItem& b = *f.workspace.Items()[1];
    EXPECT_EQ(a.name, "C:(FAT32)");
    EXPECT_EQ(a.typeId, 0x0C);
    EXPECT_EQ(a.startSector, 63u);
    EXPECT_EQ(a.source->Path(), first);
    EXPECT_EQ(a.source->Kind(), SourceKind::Device);
    EXPECT_EQ(a.source->IsOpen(), 1);
    EXPECT_EQ(b.name, "D:(NTFS)");
    EXPECT_EQ(b.startSector, 2048u);
    // Each item was analysed, one load after the other.
    ASSERT_EQ(a.volumes.size(), 1u);
    ASSERT_EQ(b.volumes.size(), 1u);
    EXPECT_EQ(f.script.loads.load(), 2);
    EXPECT_EQ(f.events.Built(), (std::vector<DataItem*>{f.workspace.Items()[0].get(), f.workspace.Items()[1].get()}));
    EXPECT_EQ(f.workspace.IsBusy(), 0);
    EXPECT_EQ(f.workspace.IsModified(), 1);
    EXPECT_EQ(f.rc.log.Lines().size(), 4u);
    EXPECT_TRUE(f.rc.notifier.Texts().empty());
}

TEST(CaseFileLoad, TheSaveItemsFlagDoesNotSkipTheAnalysis) {
    CaseFixture f;
    Bytes bytes = CaseBytes(1, {{"C:(FAT32)", 0x0C, 63, f.Image("a.img")}});
    bytes[7] = 1;
    EXPECT_EQ(SerializeCase(f.workspace, bytes), 1);
    ASSERT_EQ(f.workspace.ItemCount(), 1u);
    EXPECT_EQ(f.workspace.Items()[0]->volumes.size(), 1u);
}

TEST(CaseFileLoad, AFileThatIsNotACaseIsRefused) {
    for (const Bytes& bytes : {Bytes{'W', 'S', 'X', 0, 0, 0, 0, 0, 0, 0, 0}, Bytes{'W', 'S'}, Bytes{}}) {
        CaseFixture f;
        EXPECT_EQ(SerializeCase(f.workspace, bytes), 0);
        EXPECT_EQ(f.rc.notifier.Texts(), std::vector<std::string>{"文件格式不对!"});
        EXPECT_EQ(f.workspace.ItemCount(), 0u);
        EXPECT_EQ(f.workspace.IsModified(), 0);
    }
}

TEST(CaseFileLoad, ACutShortFileKeepsTheItemsReadSoFar) {
    CaseFixture f;
    const Bytes whole = CaseBytes(2, {{"C:(FAT32)", 0x0C, 63, f.Image("a.img")}, {"D:(FAT32)", 0x0C, 63, f.Image("b.img")}});
    const Bytes oneItem = CaseBytes(1, {{"C:(FAT32)", 0x0C, 63, f.Image("a.img")}});
    // Every cut inside the second record keeps exactly the first item.
    for (size_t cut = oneItem.size(); cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        CaseFixture g;
        EXPECT_EQ(SerializeCase(g.workspace, std::span<const uint8_t>(whole.data(), cut)), 0);
        EXPECT_EQ(Names(g.workspace), std::vector<std::string>{"C:(FAT32)"});
        EXPECT_EQ(g.rc.notifier.Texts(), std::vector<std::string>{"案例文件不完整,已读入的数据项保留!"});
        // The half-read record made no volume.
        EXPECT_EQ(g.script.made.load(), 1);
    }
}

TEST(CaseFileLoad, AbsurdCountsEndAtTheFilesEnd) {
    CaseFixture f;
    const std::string image = f.Image("a.img");
    EXPECT_EQ(SerializeCase(f.workspace, CaseBytes(0x7FFFFFFF, {{"C:(FAT32)", 0x0C, 63, image}})), 0);
    EXPECT_EQ(Names(f.workspace), std::vector<std::string>{"C:(FAT32)"});

    // A negative count reads no record.
    CaseFixture g;
    EXPECT_EQ(SerializeCase(g.workspace, CaseBytes(-1, {{"C:(FAT32)", 0x0C, 63, image}})), 1);
    EXPECT_EQ(g.workspace.ItemCount(), 0u);
    EXPECT_TRUE(g.rc.notifier.Texts().empty());
}

TEST(CaseFileLoad, AbsurdStringLengthsAreACutShortFile) {
    CaseFixture f;
    // A name claiming 0xFFFFFFF0 bytes.
    Bytes bytes = CaseBytes(1, {});
    bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 'x'});
    EXPECT_EQ(SerializeCase(f.workspace, bytes), 0);
    EXPECT_EQ(f.workspace.ItemCount(), 0u);
    EXPECT_EQ(f.rc.notifier.Texts(), std::vector<std::string>{"案例文件不完整,已读入的数据项保留!"});
}

TEST(CaseFileLoad, AFailedAnalysisStopsTheLoadAndKeepsEarlierItems) {
    CaseFixture f;
    const std::string image = f.Image("a.img");
    const Bytes bytes = CaseBytes(3, {{"C:(FAT32)", 0x0C, 63, image}, {"E:(?)", 0x1C, 63, image}, {"F:(FAT16)", 0x06, 63, image}});
    EXPECT_EQ(SerializeCase(f.workspace, bytes), 0);
    EXPECT_EQ(Names(f.workspace), std::vector<std::string>{"C:(FAT32)"});
    EXPECT_EQ(f.rc.notifier.Texts(), std::vector<std::string>{"分析文件系统错误!"});
    EXPECT_TRUE(f.rc.log.Contains("未知格式的文件系统,结果失败!"));
    // The third record was never analysed.
    EXPECT_EQ(f.script.made.load(), 1);
}

TEST(CaseFileLoad, ASourceThatDoesNotReopenFailsItsAnalysis) {
    CaseFixture f;
    const std::string gone = f.dir.File("gone.img");
    const Bytes bytes = CaseBytes(2, {{"C:(FAT32)", 0x0C, 63, f.Image("a.img")}, {"G:(FAT32)", 0x0C, 63, gone}});
    EXPECT_EQ(SerializeCase(f.workspace, bytes), 0);
    EXPECT_EQ(Names(f.workspace), std::vector<std::string>{"C:(FAT32)"});
    EXPECT_EQ(f.rc.notifier.Texts(), (std::vector<std::string>{"分析文件系统出错!", "分析文件系统错误!"}));
    EXPECT_TRUE(f.rc.log.Contains("无法打开数据源 " + gone));
    EXPECT_TRUE(f.rc.log.Contains(" 在分析文件系统过程中出现错误,无法加载!"));
}

TEST(CaseFileLoad, BadTextAndUnknownKindsDoNotCrash) {
    CaseFixture f;
    ArchiveWriter archive;
    for (char c : std::string("WSH")) archive.WriteU8(static_cast<uint8_t>(c));
    archive.WriteU32(2);
    archive.WriteU32(0);
    // Invalid GBK in the name, then a source kind nobody knows.
    archive.WriteRawString(std::string("\x81\x20\xFF", 3));
    archive.WriteU8(0x0C);
    archive.WriteU32(63);
    archive.WriteU8(0x63);
    archive.WriteString(f.Image("a.img"));
    EXPECT_EQ(SerializeCase(f.workspace, archive.Bytes()), 0);
    EXPECT_EQ(f.workspace.ItemCount(), 0u);
    EXPECT_EQ(f.rc.notifier.Texts(), (std::vector<std::string>{"分析文件系统出错!", "分析文件系统错误!"}));
}

TEST(CaseFileLoad, WideNamesAreRead) {
    CaseFixture f;
    Bytes bytes = CaseBytes(1, {});
    // 0xFF 0xFFFE marks UTF-16; then 2 units: 软盘.
    bytes.insert(bytes.end(), {0xFF, 0xFE, 0xFF, 0x02, 0x6F, 0x8F, 0xD8, 0x76, 0x0C, 63, 0, 0, 0, 2});
    ArchiveWriter path;
    path.WriteString(f.Image("a.img"));
    bytes.insert(bytes.end(), path.Bytes().begin(), path.Bytes().end());
    EXPECT_EQ(SerializeCase(f.workspace, bytes), 1);
    EXPECT_EQ(Names(f.workspace), std::vector<std::string>{"软盘"});
}

TEST(CaseFile, SavedFileReopensAndOpeningTwiceListsItemsTwice) {
    CaseFixture f;
    const std::string image = f.Image("a.img");
    ASSERT_EQ(SerializeCase(f.workspace, CaseBytes(2, {{"C:(FAT32)", 0x0C, 63, image}, {"D:(NTFS)", 0x07, 9, image}})), 1);
    const std::string path = f.dir.File("case.wsh");
    std::string error;
    ASSERT_EQ(SaveCaseFile(f.workspace, path, 1, &error), 1) << error;
    EXPECT_EQ(f.workspace.IsModified(), 0);
    EXPECT_EQ(test::ReadFileBytes(path), SerializeCase(f.workspace, 1));
    // Only the case file is left in the folder: the temporary file is gone.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(f.dir.Path())) ++files;
    EXPECT_EQ(files, 2u);

    CaseFixture other;
    ASSERT_EQ(LoadCaseFile(other.workspace, path, &error), 1) << error;
    ASSERT_EQ(LoadCaseFile(other.workspace, path, &error), 1) << error;
    EXPECT_EQ(Names(other.workspace), (std::vector<std::string>{"C:(FAT32)", "D:(NTFS)", "C:(FAT32)", "D:(NTFS)"}));
    EXPECT_EQ(other.events.rebuilds.load(), 2);
    EXPECT_EQ(other.workspace.IsModified(), 1);
    for (const auto& item : other.workspace.Items()) EXPECT_EQ(item->volumes.size(), 1u);
}

TEST(CaseFile, OpeningIsRefusedWhileBusyAndAMissingFileEndsQuietly) {
    CaseFixture f;
    std::string error;
    EXPECT_EQ(LoadCaseFile(f.workspace, f.dir.File("none.wsh"), &error), 0);
    EXPECT_NE(error.find("none.wsh"), std::string::npos);
    EXPECT_TRUE(f.rc.notifier.Texts().empty());
    EXPECT_EQ(f.events.rebuilds.load(), 0);

    const std::string path = f.dir.File("empty.wsh");
    ASSERT_EQ(SaveCaseFile(f.workspace, path, 1), 1);
    f.workspace.SetBusy(1);
    EXPECT_EQ(LoadCaseFile(f.workspace, path), 0);
    EXPECT_EQ(f.rc.notifier.Texts(), std::vector<std::string>{"线程忙!"});
    f.workspace.SetBusy(0);
}

TEST(CaseFile, AFailedSaveLeavesTheOldFileIntact) {
    CaseFixture f;
    const std::string path = f.dir.File("case.wsh");
    const Bytes old{'W', 'S', 'H', 0, 0, 0, 0, 7, 0, 0, 0};
    ASSERT_TRUE(test::WriteFileBytes(path, old));
    auto item = f.workspace.NewItem();
    item->name = "C:(FAT32)";
    item->source->SetPath("PHYSICALDRIVE0");
    f.workspace.AddItem(std::move(item));

    // Writes beyond four bytes fail in this process (EFBIG) while the limit holds.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tiny = saved;
    tiny.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    std::string error;
    const int result = SaveCaseFile(f.workspace, path, 1, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::ReadFileBytes(path), old);
    EXPECT_EQ(f.workspace.IsModified(), 1);
    ASSERT_EQ(f.rc.notifier.Texts().size(), 1u);
    EXPECT_EQ(f.rc.notifier.Texts()[0].rfind("写入文件 " + path + " 时出错", 0), 0u);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(f.dir.Path())) ++files;
    EXPECT_EQ(files, 1u);

    // A folder that does not exist: nothing shown, the reason in error.
    EXPECT_EQ(SaveCaseFile(f.workspace, f.dir.File("no/case.wsh"), 1, &error), 0);
    EXPECT_EQ(f.rc.notifier.Texts().size(), 1u);
    EXPECT_NE(error.find("no/case.wsh"), std::string::npos);
}

}  // namespace
}  // namespace delvora

namespace delvora {
namespace {

TEST(CaseFileLoader, StepsWithoutBlockingAndNeverOverlapsWorkers) {
    CaseFixture f;
    const std::string image = f.Image("a.img");
    const Bytes bytes = CaseBytes(3, {{"A", 0x0C, 1, image}, {"B", 0x07, 2, image}, {"C", 0x83, 3, image}});
    std::atomic<int> active{0};
    std::atomic<int> mostActive{0};
    f.script.onLoadTree = [&] {
        const int now = ++active;
        if (now > mostActive) mostActive = now;
        --active;
    };
    // Tree-built events reach the "front end" through a queue of one.
    std::mutex mutex;
    std::condition_variable cv;
    int built = 0;
    f.events.onBuild = [&](DataItem&) {
        std::lock_guard lock(mutex);
        ++built;
        cv.notify_all();
    };

    CaseFileLoader loader(f.workspace, bytes);
    int steps = 0;
    for (CaseFileLoader::Step step = loader.Next(); step == CaseFileLoader::Step::Continue; step = loader.Next()) {
        ++steps;
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return built == steps; });
    }
    f.workspace.WaitForWorker();
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(loader.ItemsAdded(), 3u);
    EXPECT_EQ(Names(f.workspace), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(mostActive.load(), 1);
    EXPECT_EQ(f.events.rebuilds.load(), 1);
    // Once finished it stays finished.
    EXPECT_EQ(loader.Next(), CaseFileLoader::Step::Done);
    EXPECT_EQ(f.events.rebuilds.load(), 1);
}

}  // namespace
}  // namespace delvora
