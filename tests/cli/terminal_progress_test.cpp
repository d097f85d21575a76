// The command line's progress line: drawn only on a terminal, erased before
// anything else is written, never wider than the terminal, and silenced by
// --quiet; checked on the sink itself and through delvora-cli on a
// pseudo-terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/cli_run.h"
#include "cli/terminal_progress.h"

namespace delvora::test {
namespace {

using cli::FitTerminalColumns;
using cli::TerminalProgress;

TEST(TerminalProgress, LineFitsTheTerminalAtCharacterBoundaries) {
    const struct {
        const char* text;
        size_t width;
        const char* fitted;
    } cases[] = {
        {"abc", 2, "ab"},
        {"abc", 3, "abc"},
        {"abc", 0, ""},
        // Chinese characters take two columns and are never split.
        {"正在加载", 5, "正在"},
        {"a正在", 2, "a"},
        {"a正在", 3, "a正"},
        // A truncated sequence at the end is cut, not read past.
        {"ab\xE6\xAD", 10, "ab\xE6\xAD"},
        {"\xE6", 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FitTerminalColumns(c.text, c.width), c.fitted) << c.text << " " << c.width;
}

// Everything the master side of a pseudo-terminal has received so far.
std::string Drain(int master) {
    std::string out;
    char buffer[4096];
    for (;;) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(master, &set);
        timeval none{};
        if (::select(master + 1, &set, nullptr, nullptr, &none) <= 0) break;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

TEST(TerminalProgress, DrawsOnATerminalAndErasesWhenDone) {
    int master = -1, slave = -1;
    winsize size{};
    size.ws_col = 30;
    size.ws_row = 24;
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) GTEST_SKIP() << "no pseudo-terminals here";
    FILE* terminal = ::fdopen(slave, "w");
    ASSERT_NE(terminal, nullptr);
    {
        TerminalProgress progress(terminal);
        ASSERT_TRUE(progress.Enabled());
        {
            cli::ProgressPhase phase(progress, "查找关键字...");
            progress.SetProgressRange(0, 4);
            progress.SetPaneText("找到 12 个, and a long tail that cannot fit");
        }
        const std::string shown = Drain(master);
        EXPECT_EQ(shown.rfind("\r查找关键字...", 0), 0u) << shown;
        // Ended by erasing the line: what follows starts on a clean row.
        EXPECT_TRUE(shown.ends_with("\r\033[K")) << shown;
        // No row of it is wider than the terminal (29 columns, the last kept free).
        for (size_t start = 0; (start = shown.find('\r', start)) != std::string::npos; ++start) {
            const size_t end = shown.find('\033', start);
            const std::string row = shown.substr(start + 1, end == std::string::npos ? end : end - start - 1);
            EXPECT_EQ(FitTerminalColumns(row, 29), row);
        }
        // A message through the front end's writers erases the line first.
        progress.SetProgressText("正在导出文件...");
        Drain(master);
        cli::ClearTerminalLine();
        EXPECT_EQ(Drain(master), "\r\033[K");
        cli::ClearTerminalLine();
        EXPECT_EQ(Drain(master), "");
        progress.SetEnabled(false);
        progress.SetProgressText("正在校验...");
        EXPECT_EQ(Drain(master), "");
    }
    std::fclose(terminal);
    ::close(master);

    // A pipe is no terminal: nothing is drawn.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FILE* pipe = ::fdopen(fds[1], "w");
    {
        TerminalProgress progress(pipe);
        EXPECT_FALSE(progress.Enabled());
        cli::ProgressPhase phase(progress, "正在加载文件系统...");
    }
    std::fclose(pipe);
    char c;
    EXPECT_EQ(::read(fds[0], &c, 1), 0);
    ::close(fds[0]);
}

// delvora-cli on a pseudo-terminal (script(1)) against a FAT32 image with a
// file to find and export.
TEST(TerminalProgress, CommandLineShowsItOnlyOnATerminal) {
    DELVORA_REQUIRE_TOOL("mkfs.vfat");
    DELVORA_REQUIRE_TOOL("mcopy");
    DELVORA_REQUIRE_TOOL("script");
    TempDir dir;
    ASSERT_EQ(RunShell("cd " + dir.Path() + " && truncate -s 40M fat.img && mkfs.vfat -F 32 fat.img >/dev/null"
                       " && echo 'a needle here' > n.txt && head -c 300000 /dev/zero > z.bin"
                       " && mcopy -i fat.img n.txt z.bin ::/"),
              0);
    const std::string cli = std::string(DELVORA_CLI_PATH) + " ";
    const std::string image = dir.File("fat.img"), out = dir.File("out"), carved = dir.File("carved");
    auto onTerminal = [&](const std::string& args) {
        std::string shown;
        const int status =
            RunShell("script -qec \"" + cli + args + " >" + dir.File("out.txt") + "\" /dev/null", &shown);
        return std::make_pair(status, shown);
    };
    const struct {
        std::string args;
        const char* progress;  // a text the line shows
    } cases[] = {
        {"search " + image + " --keyword needle", "查找关键字..."},
        {"ls " + image, "正在加载文件系统..."},
        {"export " + image + " / -r --to " + out, "正在导出文件..."},
        {"carve " + image + " --raw --types all --to " + carved, "查找残余文件..."},
    };
    for (const auto& c : cases) {
        const auto [status, shown] = onTerminal(c.args);
        EXPECT_EQ(status, 0) << c.args << "\n" << shown;
        EXPECT_NE(shown.find(c.progress), std::string::npos) << c.args << "\n" << shown;
        EXPECT_NE(shown.find("\r\033[K"), std::string::npos) << c.args;
        // Results still go to standard output whole.
        EXPECT_FALSE(ReadFileBytes(dir.File("out.txt")).empty()) << c.args;
        RunShell("rm -rf " + out + " " + carved);

        const auto [quietStatus, quiet] = onTerminal("--quiet " + c.args);
        EXPECT_EQ(quietStatus, 0) << c.args;
        EXPECT_EQ(quiet.find(c.progress), std::string::npos) << c.args << "\n" << quiet;
        EXPECT_EQ(quiet.find('\033'), std::string::npos) << c.args;
        RunShell("rm -rf " + out + " " + carved);

        // Standard error in a file: real lines only.
        const CliResult piped = RunCli(dir, c.args);
        EXPECT_EQ(piped.status, 0) << c.args;
        EXPECT_EQ(piped.err.find('\r'), std::string::npos) << c.args << "\n" << piped.err;
        EXPECT_EQ(piped.err.find('\033'), std::string::npos) << c.args;
        RunShell("rm -rf " + out + " " + carved);
    }
}

}  // namespace
}  // namespace delvora::test
