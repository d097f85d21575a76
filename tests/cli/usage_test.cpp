// What the command line answers to its own arguments: unknown options,
// help, version, malformed values and unusable device maps.
#include <gtest/gtest.h>

#include "cli/cli_run.h"

namespace delvora::test {
namespace {

TEST(CliUsage, OptionsHelpAndVersion) {
    TempDir dir;
    ASSERT_EQ(RunShell("cd " + dir.Path() + " && truncate -s 1M d.img && printf 'PHYSICALDRIVE0=d.img\\n' > ok.map"
                       " && mkfifo fifo.map && mkdir folder.map"),
              0);
    const std::string map = "--devices " + dir.File("ok.map") + " ";
    const struct {
        std::string args;
        int status;
        std::string out;  // the start of standard output
        std::string err;  // a part of standard error; its only line when not empty
    } cases[] = {
        // A misspelt option must not be ignored.
        {map + "ls d.img --deleted-onyl", 2, "", "unknown option --deleted-onyl"},
        {map + "scan --floppy --whole-disk", 2, "", "unknown option --whole-disk"},
        {map + "export d.img /a --to x --overwrit", 2, "", "unknown option --overwrit"},
        {map + "case open c.wsh --no-save-item", 2, "", "unknown option --no-save-item"},
        {"--verbose scan", 2, "", "unknown option --verbose"},
        {map + "nosuchcommand", 2, "", "unknown command nosuchcommand"},
        {map + "scan --floppy=1", 2, "", "option --floppy takes no value"},
        {map + "sectors PHYSICALDRIVE0 --sector", 2, "", "option --sector needs a value"},
        {map + "export d.img /a --to x --hash sha256,crc32 --manifest m.csv", 2, "", "--hash takes sha256, md5 and sha1"},
        {map + "export d.img /a --to x --hash md5", 2, "", "it needs --manifest"},
        // A misspelt code page would search for unconverted text.
        {map + "--codepage GBKK scan", 2, "", "unknown code page GBKK"},
        // Help first, whatever else is wrong; without opening anything.
        {"--devices " + dir.File("fifo.map") + " ls --help --bogus", 0, "usage: delvora-cli ls SOURCE", ""},
        {"drives --help", 0, "usage: delvora-cli drives", ""},
        {"scan -h", 0, "usage: delvora-cli scan", ""},
        {"sectors --help", 0, "usage: delvora-cli sectors DEVICE", ""},
        {"cat --help", 0, "usage: delvora-cli cat SOURCE (PATH | --id N)", ""},
        {"export --help", 0, "usage: delvora-cli export SOURCE", ""},
        {"case --help", 0, "usage: delvora-cli case save", ""},
        {"--help", 0, "usage: delvora-cli [--devices FILE]", ""},
        {"--version", 0, std::string("delvora-cli ") + DELVORA_VERSION + "\n", ""},
        // The device map is a small regular file or nothing.
        {"--devices " + dir.File("fifo.map") + " scan", 1, "", "is not a regular file"},
        {"--devices " + dir.File("folder.map") + " scan", 1, "", "is not a regular file"},
        {"--devices " + dir.File("none.map") + " scan", 1, "", "cannot read device map"},
        // A start past the source's end has nothing to look at.
        {map + "fatmarks PHYSICALDRIVE0 --start 2048", 1, "", "start sector 2048 is past the end"},
        {map + "preread PHYSICALDRIVE0 --start 2048 --type fat16", 1, "", "start sector 2048 is past the end"},
        // A keyword longer than a keyword may be says so, not "no bytes".
        {map + "search d.img --raw --keyword " + std::string(255, 'k'), 1, "", "关键字太长!"},
    };
    // Every option the volume commands take is in the help.
    const CliResult help = RunCli(dir, "--help");
    for (const char* option : {"--volume-start", "--set-start-cluster", "--skip-allocated", "--virtual"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CliResult r = RunCli(dir, "--log /dev/null " + c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
            EXPECT_EQ(LineCount(r.err), 1u) << r.err;
        }
    }
}

}  // namespace
}  // namespace delvora::test
