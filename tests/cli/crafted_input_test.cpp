// The command line over media whose names and fields were made to hurt:
// terminal controls and forged log lines, separators inside names, bytes
// that are not UTF-8, names longer than the target allows, sector requests
// past the end, and exports over files already recovered.
#include <gtest/gtest.h>

#include <regex>

#include "cli/cli_run.h"
#include "common/codepage.h"
#include "common/hash.h"
#include "fs/ntfs/ntfs_builder.h"

namespace delvora::test {
namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Every line of standard error is a numbered log line or one message line.
void ExpectWholeLines(const std::string& err) {
    static const std::regex line(R"(^( {4}\d\.  |\s*\d+\.  |delvora-cli: |\[).*)");
    size_t start = 0;
    while (start < err.size()) {
        const size_t end = err.find('\n', start);
        const std::string one = err.substr(start, end - start);
        EXPECT_TRUE(std::regex_match(one, line)) << one;
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

// An EXT2 volume whose names hold an escape sequence, line breaks, a
// backslash and a percent sign.
class HostileNames : public ::testing::Test {
protected:
    void SetUp() override {
        DELVORA_REQUIRE_TOOL("mke2fs");
        const std::string tree = dir.File("tree");
        ASSERT_EQ(RunShell("mkdir -p " + tree + " && cd " + tree +
                           " && printf esc > \"$(printf 'e\\033[2J')\" && printf nl > \"$(printf 'nl\\nforged')\""
                           " && printf cr > \"$(printf 'nl\\rforged')\" && printf bs > 'a\\b.txt'"
                           " && printf pc > '100%.txt' && mke2fs -q -t ext2 -b 1024 -d . -F " + image + " 2M"),
                  0);
    }
    TempDir dir;
    std::string image = dir.File("p.img");
};

TEST_F(HostileNames, ControlsAreEscapedInTextAndLogLines) {
    const CliResult text = RunCli(dir, "ls " + image);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.out.find('\r'), std::string::npos);
    EXPECT_NE(text.out.find("e\\x1b[2J\t"), std::string::npos);
    EXPECT_NE(text.out.find("nl\\x0aforged\t"), std::string::npos);
    EXPECT_EQ(LineCount(text.out), 1u + 6);  // heading, lost+found and five files: no name split its row

    // JSON escapes them its own way.
    const CliResult json = RunCli(dir, "--json ls " + image);
    EXPECT_NE(json.out.find("\"name\":\"e\\u001b[2J\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"name\":\"nl\\nforged\""), std::string::npos) << json.out;

    // Both line-break names clean to one file name: the one left out is
    // logged by name, on one line.
    const CliResult exported = RunCli(dir, "export " + image + " / -r --no-auto-name --to " + dir.File("out"));
    EXPECT_NE(exported.err.find("同名文件未导出:\\nl\\x0"), std::string::npos) << exported.err;
    EXPECT_EQ(exported.err.find('\r'), std::string::npos);
    ExpectWholeLines(exported.err);

    // A path typed with controls is echoed escaped.
    const CliResult missing = RunCli(dir, "cat " + image + " \"$(printf '/x\\033]0;t\\007')\"");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such item: /x\\x1b]0;t\\x07"), std::string::npos) << missing.err;
}

TEST_F(HostileNames, EscapedSeparatorsAndIdsReachEveryName) {
    const CliResult json = RunCli(dir, "--json ls " + image);
    const std::regex idOf(R"re(\{"id":(\d+),"name":"a\\\\b\.txt")re");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(json.out, match, idOf)) << json.out;
    const std::string id = match[1];

    const struct {
        std::string item;
        int status;
        std::string out;
    } cases[] = {
        {"/a%5Cb.txt", 0, "bs"},
        {"'\\a%5cb.txt'", 0, "bs"},
        {"/A%5CB.TXT", 0, "bs"},
        {"'/a\\b.txt'", 1, ""},  // a bare backslash separates
        {"/100%.txt", 0, "pc"},  // a % without two hex digits is itself
        {"/100%25.txt", 0, "pc"},
        {"/e%1B[2J", 0, "esc"},
        {"/nl%0Aforged", 0, "nl"},
        {"--id " + id, 0, "bs"},
        {"--id 999", 1, ""},
        {"--id x", 2, ""},
    };
    for (const auto& c : cases) {
        const CliResult r = RunCli(dir, "cat " + image + " " + c.item);
        EXPECT_EQ(r.status, c.status) << c.item << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.item;
    }
    const CliResult exported = RunCli(dir, "export " + image + " --id " + id + " /100%25.txt --to " + dir.File("x"));
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(Text(ReadFileBytes(dir.File("x/ab.txt"))), "bs");
    EXPECT_EQ(Text(ReadFileBytes(dir.File("x/100%.txt"))), "pc");
}

// A floppy whose file-system type field is not text: scan --json still
// writes valid UTF-8.
TEST(CraftedFields, ScanJsonOfABootSectorThatIsNotText) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    TempDir dir;
    const std::string floppy = dir.File("floppy.img");
    ASSERT_EQ(RunShell("mkfs.fat -F 12 -C " + floppy + " 1440 >/dev/null && printf 'A:=floppy.img\\n' > " +
                       dir.File("devices.map")),
              0);
    ASSERT_TRUE(PatchFile(floppy, 54, {0xFF, 0xC3, 'F', 0x1B, 0xE4, 0xB8, 0xAD, 0x80}));
    const CliResult r = RunCli(dir, "--devices " + dir.File("devices.map") + " --json scan --floppy");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SanitizeUtf8(r.out), r.out);
    EXPECT_NE(r.out.find("\"fileSystem\":\"\xEF\xBF\xBD\xEF\xBF\xBD" "F\\u001b中\xEF\xBF\xBD\""), std::string::npos)
        << r.out;
}

TEST(CraftedFields, SectorRequestsPastTheEndFail) {
    TempDir dir;
    ASSERT_EQ(RunShell("cd " + dir.Path() + " && truncate -s 1M d.img && printf 'PHYSICALDRIVE0=d.img\\n' > d.map"), 0);
    const struct {
        const char* args;
        int status;
        size_t lines;
    } cases[] = {
        {"--sector 2047", 0, 32},
        {"--sector 2040 --count 8", 0, 256},
        {"--sector 0 --count 2048", 0, 65536},
        {"--sector 2048", 1, 0},
        {"--sector 2047 --count 2", 1, 0},
        {"--sector 15 --count 1 --sector-size 65536", 0, 4096},
        {"--sector 16 --count 1 --sector-size 65536", 1, 0},
        // 65536 × 65536 bytes is 2^32: a 32-bit product would be 0.
        {"--sector 0 --count 65536 --sector-size 65536", 1, 0},
        {"--sector 4294967295 --count 2", 2, 0},
    };
    for (const auto& c : cases) {
        const CliResult r = RunCli(dir, "--devices " + dir.File("d.map") + " sectors PHYSICALDRIVE0 " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_EQ(LineCount(r.out), c.lines) << c.args;
        if (c.status == 1) {
            EXPECT_NE(r.err.find("past the end of PHYSICALDRIVE0"), std::string::npos) << r.err;
        }
    }
}

// An NTFS volume with a name of 100 Chinese characters (304 bytes in
// UTF-8) and a short one.
class ExportTargets : public ::testing::Test {
protected:
    void SetUp() override {
        std::u16string longName;
        for (int i = 0; i < 100; ++i) longName += u'文';
        longName += u".txt";
        NtfsImage ntfs;
        ntfs.SetRecord(10, MakeRecord(1, {StandardInformation(), FileNameAttribute(5, longName),
                                          ResidentData({'l', 'o', 'n', 'g'})}));
        ntfs.SetRecord(11, MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"a.txt"),
                                          ResidentData({'n', 'e', 'w'})}));
        ASSERT_TRUE(WriteFileBytes(image, ntfs.Build()));
        for (int i = 0; i < 100; ++i) longUtf8 += "文";
        longUtf8 += ".txt";
    }
    CliResult Export(const std::string& what) {
        return RunCli(dir, "export " + image + " --start 0 --type 7 " + what + " --to " + dir.File("out"));
    }
    TempDir dir;
    std::string image = dir.File("ntfs.img");
    std::string longUtf8;
};

TEST_F(ExportTargets, LongNamesAreFittedKeepingTheExtension) {
    const CliResult r = Export("/" + longUtf8);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string fitted;
    for (int i = 0; i < 83; ++i) fitted += "文";
    EXPECT_EQ(Text(ReadFileBytes(dir.File("out/" + fitted + ".txt"))), "long");
    // A second export of it is numbered, still within the limit.
    ASSERT_EQ(Export("/" + longUtf8).status, 0);
    EXPECT_EQ(Text(ReadFileBytes(dir.File("out/" + fitted.substr(3) + " (2).txt"))), "long");
}

TEST_F(ExportTargets, ExistingFilesAreNeverOverwrittenUnlessAsked) {
    ASSERT_EQ(RunShell("mkdir " + dir.File("out")), 0);
    ASSERT_TRUE(WriteFileBytes(dir.File("out/a.txt"), {'o', 'l', 'd'}));
    const struct {
        const char* options;
        int status;
        const char* newFile;  // where the item's bytes went
    } cases[] = {
        {"", 0, "a (2).txt"},
        {"", 0, "a (3).txt"},
        {"--no-auto-name", 1, ""},
        {"--overwrite", 0, "a.txt"},
    };
    for (const auto& c : cases) {
        if (std::string(c.options) == "--overwrite") {
            EXPECT_EQ(Text(ReadFileBytes(dir.File("out/a.txt"))), "old");
        }
        const CliResult r = Export(std::string("/a.txt ") + c.options);
        EXPECT_EQ(r.status, c.status) << c.options << ": " << r.err;
        if (*c.newFile) {
            EXPECT_EQ(Text(ReadFileBytes(dir.File(std::string("out/") + c.newFile))), "new") << c.options;
        } else {
            EXPECT_NE(r.err.find("exists (--overwrite replaces it)"), std::string::npos) << r.err;
        }
    }
}

TEST_F(ExportTargets, ManifestTakesTheDigestsAskedFor) {
    const std::string manifest = dir.File("m.csv");
    const CliResult r = Export("/a.txt --manifest " + manifest + " --hash sha1,md5");
    ASSERT_EQ(r.status, 0) << r.err;
    Hasher hasher(kHashSha256 | kHashMd5 | kHashSha1);
    hasher.Update(std::vector<uint8_t>{'n', 'e', 'w'});
    const Digests d = hasher.Finish();
    EXPECT_EQ(Text(ReadFileBytes(manifest)),
              "volumePath,targetPath,size,sha256,md5,sha1,unreadableBytes,unreadableRanges,overwrittenClusters,note\r\n"
              "\\a.txt," + dir.File("out") + "/a.txt,3," + d.sha256 + "," + d.md5 + "," + d.sha1 + ",0,,0,\r\n");
}

}  // namespace
}  // namespace delvora::test
