// The language of the core's texts on the command line: --lang, then the
// locale; the command line's own texts stay English either way.
#include <gtest/gtest.h>

#include "cli/cli_run.h"

namespace delvora::test {
namespace {

TEST(CliLanguage, OptionThenLocaleChooseTheCoreTexts) {
    TempDir dir;
    // A keyword list line that is not UTF-8: refused by the core before any source is read.
    ASSERT_EQ(RunShell("cd " + dir.Path() + " && truncate -s 64K d.img && printf 'ok\\n\\377\\n' > bad.txt"), 0);
    const std::string search = "search " + dir.File("d.img") + " --raw --keywords-file " + dir.File("bad.txt");
    const std::string chinese = "关键字列表第 2 行不是 UTF-8 文字";
#ifdef DELVORA_CLI_HAS_TRANSLATION
    const std::string english = "Keyword list line 2 is not UTF-8 text";
#else
    // A build without Qt says so once and goes on in Chinese.
    const std::string english = "built without translations; the core's texts stay Chinese\ndelvora-cli: " + chinese;
#endif
    const struct {
        std::string prefix;  // environment and global options
        std::string expected;
    } cases[] = {
        {"LC_ALL=C.UTF-8 ", chinese},
        {"LC_ALL= LC_MESSAGES= LANG=zh_CN.UTF-8 ", chinese},
        {"LC_ALL= LC_MESSAGES= LANG=en_US.UTF-8 ", english},
        {"LC_ALL=en_GB.UTF-8 LANG=C ", english},
        {"LC_ALL=C.UTF-8 --lang en ", english},
        {"LC_ALL=en_US.UTF-8 --lang zh ", chinese},
    };
    for (const auto& c : cases) {
        // The environment assignments go before the program, the options after it.
        const auto split = c.prefix.find("--");
        const std::string env = c.prefix.substr(0, split), options = split == std::string::npos ? "" : c.prefix.substr(split);
        const CliResult run = [&] {
            CliResult result;
            const std::string out = dir.File(".lang-err");
            result.status = RunShell("{ " + env + DELVORA_CLI_PATH + " " + options + search + " 2>'" + out + "' >/dev/null; }");
            const auto err = ReadFileBytes(out);
            result.err.assign(err.begin(), err.end());
            return result;
        }();
        EXPECT_EQ(run.status, 1) << c.prefix;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.prefix << "\n" << run.err;
    }

    const CliResult bad = RunCli(dir, "--lang fr " + search);
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--lang takes zh or en: fr"), std::string::npos) << bad.err;
    // The command line's own usage text is English under both languages.
    const CliResult help = RunCli(dir, "--lang zh --help");
    EXPECT_NE(help.out.find("--lang zh|en"), std::string::npos);
}

}  // namespace
}  // namespace delvora::test
