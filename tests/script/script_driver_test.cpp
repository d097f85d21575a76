// The Delvora object's methods, each through a real engine run.
#include <gtest/gtest.h>

#include "script/script_support.h"
#include "support/memory_backend.h"

namespace delvora::test {
namespace {

struct MethodCase {
    const char* name;
    const char* body;      // a function body; its result is compared as text
    const char* expected;
};

class ScriptMethods : public testing::TestWithParam<MethodCase> {};

// Two disks (sector n of disk k holds bytes n + 16 k, then n + 1, ...) and
// a data file holding the bytes 0..99.
void PrepareMedia(ScriptFixture& f, const TempDir& dir) {
    for (int disk = 0; disk < 2; ++disk) {
        std::vector<uint8_t> bytes(8 * 512);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i / 512 + 16 * disk + i % 512);
        const std::string path = dir.File("disk" + std::to_string(disk) + ".img");
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        f.rc.devices.Set("PHYSICALDRIVE" + std::to_string(disk), path);
    }
    std::vector<uint8_t> data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(WriteFileBytes(dir.File("data.bin"), data));
}

TEST_P(ScriptMethods, AnswerAsTheScriptExpects) {
    TempDir dir;
    ScriptFixture f;
    PrepareMedia(f, dir);
    std::string body = GetParam().body;
    // DIR stands for the test's folder.
    for (size_t at; (at = body.find("DIR")) != std::string::npos;) body.replace(at, 3, dir.Path());
    EXPECT_EQ(f.Eval(body), GetParam().expected) << body;
    // Whatever a script does, no disk is written.
    for (int disk = 0; disk < 2; ++disk) {
        const auto bytes = ReadFileBytes(dir.File("disk" + std::to_string(disk) + ".img"));
        ASSERT_EQ(bytes.size(), 8u * 512);
        EXPECT_EQ(bytes[512 + 7], static_cast<uint8_t>(1 + 16 * disk + 7));
    }
}

const MethodCase kMethodCases[] = {
    {"NamesWithoutCase", R"(return [Delvora.opendisk("PHYSICALDRIVE0"), Delvora.OPENDISK("PHYSICALDRIVE1"),
                               Delvora.OpenDisk("PHYSICALDRIVE0"), typeof Delvora.NoSuchMethod].join())",
     "0,0,0,undefined"},
    {"OpenDiskMissing", R"(return [Delvora.OpenDisk("PHYSICALDRIVE7"), Delvora.ReadSector(0, 0)].join())", "1,0"},
    {"ReadSectorBytes", R"(Delvora.OpenDisk("PHYSICALDRIVE0");
                           return [Delvora.ReadSector(1, 7), Delvora.ReadSector(3, 0), Delvora.readsector(1, 511)].join())",
     "8,3,0"},
    {"OffsetOutsideSector", R"(Delvora.OpenDisk("PHYSICALDRIVE0");
                               return [Delvora.ReadSector(2, 512), Delvora.ReadSector(2, -1), Delvora.ReadSector(2, 1)].join())",
     "0,0,3"},
    {"DiskSwitchReadsAgain", R"(Delvora.OpenDisk("PHYSICALDRIVE0"); var a = Delvora.ReadSector(0, 1);
                                Delvora.OpenDisk("PHYSICALDRIVE1"); return [a, Delvora.ReadSector(0, 1)].join())",
     "1,17"},
    {"PastTheEndThenBack", R"(Delvora.OpenDisk("PHYSICALDRIVE0");
                              return [Delvora.ReadSector(8, 1), Delvora.ReadSector(0xFFFFFFFF, 1), Delvora.ReadSector(4, 1)].join())",
     "0,0,5"},
    {"NumbersAsStrings", R"(Delvora.OpenDisk("PHYSICALDRIVE0"); return Delvora.ReadSector("2", "3"))", "5"},
    {"NeverWrites", R"(Delvora.OpenDisk("PHYSICALDRIVE0");
                       return [Delvora.WriteSector(1, 0, 7), Delvora.FlushDisk(1), Delvora.FlushFile(), Delvora.ReadSector(1, 7)].join())",
     "1,1,1,8"},
    {"SeekBeginIsFromCurrent", R"(Delvora.OpenFile("DIR/data.bin", FILE_READ);
                                  for (var i = 0; i < 5; i++) Delvora.ReadFile();
                                  return [Delvora.SeekFile(10, FILE_BEGIN), Delvora.ReadFile()].join())",
     "0,15"},
    {"SeekCurrentIsFromEndAndEndFromStart", R"(Delvora.OpenFile("DIR/data.bin", FILE_READ);
                                  Delvora.SeekFile(-2, FILE_CURRENT); var a = Delvora.ReadFile();
                                  Delvora.SeekFile(3, FILE_END); var b = Delvora.ReadFile();
                                  return [a, b, Delvora.ReadFile(), Delvora.SeekFile(0, 3), Delvora.SeekFile(-1, 0)].join())",
     "98,3,4,1,1"},
    {"ReadAtEndIsZero", R"(Delvora.OpenFile("DIR/data.bin", FILE_READ); Delvora.SeekFile(-1, FILE_CURRENT);
                           return [Delvora.ReadFile(), Delvora.ReadFile(), Delvora.CloseFile(), Delvora.CloseFile()].join())",
     "99,0,0,0"},
    {"CreateTruncatesUnlessMasked", R"(Delvora.OpenFile("DIR/data.bin", FILE_CREATE | FILE_WRITE);
                                       Delvora.SeekFile(0, FILE_CURRENT); Delvora.WriteFile(0x141); Delvora.CloseFile();
                                       Delvora.OpenFile("DIR/data.bin", FILE_READ); Delvora.SeekFile(-1, FILE_CURRENT);
                                       var last = Delvora.ReadFile();
                                       Delvora.OpenFile("DIR/data.bin", FILE_CREATE); Delvora.CloseFile();
                                       Delvora.OpenFile("DIR/data.bin", FILE_READ);
                                       return [last, Delvora.ReadFile()].join())",
     "65,0"},
    // A file that does not open leaves the file closed and answers 0; a
    // source opened for writing is refused with 1.
    {"MissingFileOpensClosedSourcesAreRefused",
     R"(return [Delvora.OpenFile("DIR/missing.bin", FILE_READ), Delvora.ReadFile(),
                Delvora.OpenFile("DIR/disk0.img", FILE_READWRITE), Delvora.OpenFile("DIR/disk1.img", FILE_CREATE)].join())",
     "0,0,1,1"},
    {"ListCounts", R"(Delvora.DeleteColumn(0); Delvora.InsertColumn(0, "a"); Delvora.InsertColumn(1, "b");
                      Delvora.InsertItem(0, "x"); Delvora.InsertItem(9, "z"); Delvora.SetItemText(0, 1, "y");
                      Delvora.SetItemText(0, 5, "ignored");
                      return [Delvora.GetItemCount(), Delvora.GetColumnCount(), Delvora.GetItemText(0, 1),
                              Delvora.GetItemText(1, 0), Delvora.GetItemText(7, 0) === ""].join())",
     "2,0,y,z,true"},
    {"DeleteColumnEmptiesAll", R"(Delvora.InsertColumn(0, "a"); Delvora.InsertColumn(1, "b"); Delvora.InsertItem(0, "x");
                                  Delvora.DeleteColumn(5); return Delvora.GetItemCount())",
     "0"},
    {"DeleteItemEmptiesRows", R"(Delvora.InsertItem(0, "x"); Delvora.InsertItem(1, "y"); Delvora.DeleteItem(7);
                                 return [Delvora.GetItemCount(), Delvora.SetSize()].join())",
     "0,0"},
};

INSTANTIATE_TEST_SUITE_P(Delvora, ScriptMethods, testing::ValuesIn(kMethodCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScriptFileGuard, AnyNameOfAnOpenedDiskAndEveryNonRegularFileAreRefused) {
    TempDir dir;
    ScriptFixture f;
    const std::vector<uint8_t> evidence = NumberedSectors(4);
    ASSERT_TRUE(WriteFileBytes(dir.File("ev.img"), evidence));
    ASSERT_EQ(RunShell("cd '" + dir.Path() + "' && ln -s ev.img link.img && mkfifo pipe"), 0);
    // Opened by its path, not through the device map, then reached through a link.
    const std::string script = "Delvora.OpenDisk('" + dir.File("ev.img") + "'); return [Delvora.OpenFile('" +
                               dir.File("link.img") + "', FILE_CREATE), Delvora.OpenFile('" + dir.File("link.img") +
                               "', FILE_WRITE | FILE_CREATE), Delvora.OpenFile('" + dir.File("pipe") +
                               "', FILE_READ), Delvora.ReadFile(), Delvora.OpenFile('/dev/null', FILE_WRITE)].join()";
    EXPECT_EQ(f.Eval(script), "1,1,1,0,1");
    EXPECT_EQ(ReadFileBytes(dir.File("ev.img")), evidence);
}

TEST(ScriptMethodsMessages, MsgAndFileErrorsReachTheNotifier) {
    TempDir dir;
    ScriptFixture f;
    f.driver.SetCaption("Title");
    EXPECT_EQ(f.Eval("Delvora.Msg('你好'); Delvora.CloseFile(); return Delvora.ReadFile()"), "0");
    const auto messages = f.rc.notifier.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "你好");
    EXPECT_EQ(messages[0].caption, "Title");
    EXPECT_NE(messages[1].text.find("文件没有打开"), std::string::npos);
}

}  // namespace
}  // namespace delvora::test
