// The steps of a run and where each kind of failure stops it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "cli/cli_run.h"
#include "script/default_script.h"
#include "script/script_support.h"

namespace delvora::test {
namespace {

struct FailureCase {
    const char* name;
    const char* script;
    const char* box;
    const char* status;  // the status line starts with it
    const char* detail;  // and shows this much of the engine's error
};

class ScriptFailures : public testing::TestWithParam<FailureCase> {};

TEST_P(ScriptFailures, StopAtTheirStep) {
    ScriptFixture f;
    EXPECT_FALSE(f.Run(GetParam().script));
    const auto messages = f.rc.notifier.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, GetParam().box);
    EXPECT_EQ(f.runner.Status().rfind(GetParam().status, 0), 0u) << f.runner.Status();
    EXPECT_NE(f.runner.Status().find(GetParam().detail), std::string::npos) << f.runner.Status();
    // Nothing of a script that does not parse has run.
    EXPECT_EQ(f.driver.Snapshot().ItemCount(), 0u);
}

const FailureCase kFailureCases[] = {
    {"NoMain", "var x = 1;", "调用 main 函数错,错误:-2147352570", "调用脚本入口函数 main 错误!", "main"},
    {"MainNotAFunction", "var main = 5;", "调用 main 函数错,错误:-2146823286", "调用脚本入口函数 main 错误!", "main"},
    {"SyntaxError", "Delvora.InsertItem(0, 'ran');\nfunction main() {\n  var = 1;\n}", "ParseScript Script Error",
     "分析脚本错误!", "第 3 行"},
    {"GlobalCodeThrows", "throw new Error('boom');\nfunction main() {}", "Connect Error", "脚本连接失败", "boom"},
    {"MainThrows", "function main() {\n throw new Error('bang');\n}", "调用 main 函数错,错误:-2147352567",
     "调用脚本入口函数 main 错误!", "第 2 行: Error: bang"},
    {"EndlessRecursion", "function main() { main(); }", "调用 main 函数错,错误:-2147352567", "调用脚本入口函数 main 错误!",
     "RangeError"},
    {"MissingArguments", "function main() { Delvora.InsertItem(); }", "调用 main 函数错,错误:-2147352567",
     "调用脚本入口函数 main 错误!", "argument"},
};

INSTANTIATE_TEST_SUITE_P(Host, ScriptFailures, testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScriptHost, WalksEveryStepAndKeepsTheListBetweenRuns) {
    ScriptFixture f;
    ASSERT_TRUE(f.Run("function main() { Delvora.InsertItem(0, 'one'); }"));
    const std::vector<std::string> steps = {"创建脚本驱动对象...", "初始化JavaScript...", "添加 Delvora 命名项...",
                                            "分析脚本中...",       "脚本连接...",         "调用脚本入口函数 main ...",
                                            "关闭脚本...",         "正常..."};
    EXPECT_EQ(f.statuses, steps);
    // The engine is new, the object is not: script variables are gone, rows stay.
    ASSERT_TRUE(f.Run("var seen = typeof main;\nfunction main() { Delvora.InsertItem(9, String(Delvora.GetItemCount())); }"));
    EXPECT_EQ(f.driver.Snapshot().GetItemText(1, 0), "1");
    EXPECT_TRUE(f.rc.notifier.Messages().empty());
}

TEST(ScriptHost, RunawayScriptsAreStopped) {
    ScriptFixture timed;
    timed.runner.SetTimeout(std::chrono::milliseconds(200));
    EXPECT_FALSE(timed.Run("function main() { while (true) {} }"));
    EXPECT_EQ(timed.rc.notifier.Texts().back(), "调用 main 函数错,错误:-2147467260");

    ScriptFixture stopped;
    const std::string loop = "var x = 0;\nfunction main() { for (;;) x++; }";
    // A stop that comes before the engine exists holds until the run has one.
    stopped.runner.Stop();
    EXPECT_FALSE(stopped.Run(loop));
    EXPECT_EQ(stopped.rc.notifier.Texts().back(), "Connect Error");
    stopped.runner.ResetStop();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stopped.runner.Stop();
    });
    EXPECT_FALSE(stopped.Run(loop));
    stopper.join();
    EXPECT_EQ(stopped.rc.notifier.Texts().back(), "调用 main 函数错,错误:-2147467260");

    // The engine has no heap limit: the run is stopped from outside.
    ScriptFixture greedy;
    greedy.runner.SetMemoryCap(uint64_t{64} << 20);
    EXPECT_FALSE(greedy.Run("var a = [];\nfunction main() { for (;;) a.push('x'.repeat(1 << 20) + a.length); }"));
    EXPECT_EQ(greedy.runner.Status(), "脚本占用内存超过 64 MB, 已停止");

    // Texts handed to the result list count too: the run stops before an
    // allocation can fail and take the process down.
    ScriptFixture lister;
    lister.runner.SetMemoryCap(uint64_t{64} << 20);
    EXPECT_FALSE(lister.Run("var s = 'x'.repeat(1 << 24);\nfunction main() { for (;;) Delvora.InsertItem(0, s); }"));
    EXPECT_EQ(lister.runner.Status(), "脚本占用内存超过 64 MB, 已停止");
    EXPECT_LE(lister.driver.Snapshot().ItemCount(), 4u);
}

// The default script on a disk laid out as old systems did: a FAT16
// partition at sector 63 whose boot sector names MSDOS5.0.
TEST(ScriptCommand, DefaultScriptListsTheBootSectors) {
    DELVORA_REQUIRE_TOOL("sfdisk");
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    TempDir dir;
    ASSERT_EQ(RunShell("cd '" + dir.Path() + "' && truncate -s 20M disk.img && "
                       "printf 'start=63, size=32705, type=6\\n' | sfdisk -q disk.img && "
                       "mkfs.fat -F 16 -C part.img 16352 >/dev/null && "
                       "dd if=part.img of=disk.img bs=512 seek=63 conv=notrunc,sparse status=none && "
                       "printf 'MSDOS5.0' | dd of=disk.img bs=1 seek=$((63*512+3)) conv=notrunc status=none && "
                       "echo PHYSICALDRIVE0=disk.img > devices.map"),
              0);
    ASSERT_TRUE(WriteFileBytes(dir.File("default.js"),
                               std::vector<uint8_t>(DefaultScriptText(), DefaultScriptText() + strlen(DefaultScriptText()))));
    CliResult r = RunCli(dir, "--devices '" + dir.File("devices.map") + "' script '" + dir.File("default.js") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "位置\n开始扇区 63   FAT\n");

    r = RunCli(dir, "--devices '" + dir.File("devices.map") + "' script '" + dir.File("default.js") + "' --json");
    EXPECT_EQ(r.out, "{\"row\":0,\"columns\":[\"位置\"],\"cells\":[\"开始扇区 63   FAT\"]}\n");

    // Without the disk the script says so and fills nothing.
    ASSERT_EQ(RunShell("echo PHYSICALDRIVE0=missing.img > '" + dir.File("devices.map") + "'"), 0);
    r = RunCli(dir, "--devices '" + dir.File("devices.map") + "' script '" + dir.File("default.js") + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("打不开磁盘"), std::string::npos);

    ASSERT_TRUE(WriteFileBytes(dir.File("bad.js"), {'v', 'a', 'r', ' ', '=', ';'}));
    r = RunCli(dir, "script '" + dir.File("bad.js") + "' --timeout 5");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ParseScript Script Error"), std::string::npos);
    EXPECT_NE(r.err.find("分析脚本错误!"), std::string::npos);
    EXPECT_EQ(RunCli(dir, "script --default --bogus").status, 2);
}

}  // namespace
}  // namespace delvora::test
