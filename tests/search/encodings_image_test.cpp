// One Chinese name written in GBK, UTF-8, UTF-16LE and UTF-16BE into four
// files on FAT, NTFS and EXT2 volumes made by the real tools: searched in
// all four encodings at once, each copy is found once, in its own file,
// with the encoding that matched; the CSV says the same.
#include <gtest/gtest.h>

#include <map>

#include "cli/cli_run.h"
#include "common/codepage.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

const std::string kName = "张伟明";

std::string Encoded(const std::string& encoding) {
    if (encoding == "gbk") return Utf8ToGbk(kName);
    if (encoding == "utf8") return kName;
    std::string out;
    for (char16_t unit : Utf8ToUtf16(kName)) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        out += encoding == "utf16le" ? std::string{low, high} : std::string{high, low};
    }
    return out;
}

// Files large enough to lie outside an NTFS record, the name in the middle.
void WriteFiles(const TempDir& dir) {
    ASSERT_EQ(RunShell("mkdir -p '" + dir.File("in") + "'"), 0);
    for (const char* encoding : {"gbk", "utf8", "utf16le", "utf16be"}) {
        std::string text(6000, '.');
        text.replace(3001, Encoded(encoding).size(), Encoded(encoding));
        ASSERT_TRUE(WriteFileBytes(dir.File("in/" + std::string(encoding) + ".txt"), {text.begin(), text.end()}));
    }
}

// encoding → file of every hit, from --json lines.
std::multimap<std::string, std::string> HitFiles(const std::string& json) {
    std::multimap<std::string, std::string> out;
    for (size_t from = 0; from < json.size();) {
        const size_t end = json.find('\n', from);
        const std::string line = json.substr(from, end - from);
        from = end == std::string::npos ? json.size() : end + 1;
        auto field = [&](const std::string& key) {
            const size_t at = line.find("\"" + key + "\":\"");
            if (at == std::string::npos) return std::string("-");
            const size_t start = at + key.size() + 4;
            return line.substr(start, line.find('"', start) - start);
        };
        out.insert({field("encoding"), field("file")});
    }
    return out;
}

void CheckVolume(const TempDir& dir, const std::string& image) {
    const std::string args = "search '" + image + "' --keyword " + kName + " --encodings gbk,utf8,utf16le,utf16be";
    const CliResult r = RunCli(dir, args + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto hits = HitFiles(r.out);
    const std::multimap<std::string, std::string> expected = {{"gbk", "\\\\gbk.txt"},
                                                              {"utf8", "\\\\utf8.txt"},
                                                              {"utf16le", "\\\\utf16le.txt"},
                                                              {"utf16be", "\\\\utf16be.txt"}};
    EXPECT_EQ(hits, expected) << r.out;

    const CliResult csv = RunCli(dir, args + " --csv");
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("keyword,encoding,sector,offset,byteOffset,filePath,fileOffset,context\r\n", 0), 0u);
    EXPECT_EQ(LineCount(csv.out), 5u);
    EXPECT_NE(csv.out.find("\"" + kName + "\",\"utf16be\","), std::string::npos);
    EXPECT_NE(csv.out.find(",\"\\gbk.txt\",3001,\"" + std::string("...") ), std::string::npos) << csv.out;
}

TEST(EncodingsImages, OneNameInFourEncodingsOnFatNtfsAndExt2) {
    for (const char* tool : {"mkfs.fat", "mcopy", "mkntfs", "ntfscp", "mke2fs"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    WriteFiles(dir);
    const std::string in = dir.File("in");
    const std::string files = "gbk.txt utf8.txt utf16le.txt utf16be.txt";
    const std::string fat = dir.File("fat.img"), ntfs = dir.File("ntfs.img"), ext2 = dir.File("ext2.img");
    std::string out;
    ASSERT_EQ(RunShell("truncate -s 16M '" + fat + "' && mkfs.fat -F 16 '" + fat + "' >/dev/null && cd '" + in +
                       "' && mcopy -i '" + fat + "' " + files + " ::/", &out), 0) << out;
    ASSERT_EQ(RunShell("truncate -s 16M '" + ntfs + "' && mkntfs -Q -F '" + ntfs + "' >/dev/null 2>&1 && cd '" + in +
                       "' && for f in " + files + "; do ntfscp -q '" + ntfs + "' $f $f || exit 1; done", &out), 0)
        << out;
    ASSERT_EQ(RunShell("mke2fs -q -t ext2 -b 1024 -d '" + in + "' '" + ext2 + "' 8M", &out), 0) << out;
    for (const std::string& image : {fat, ntfs, ext2}) {
        SCOPED_TRACE(image);
        CheckVolume(dir, image);
    }
}

}  // namespace
}  // namespace delvora::test
