// The list parser and the bounded line reader: every layout an examiner
// brings (plain lists, md5sum and hashdeep output, the NSRL CSV), and the
// lines they must pass over without taking them for digests.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "common/hash.h"
#include "hashset/hash_line.h"
#include "hashset/line_reader.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

const std::string kMd5 = "900150983cd24fb0d6963f7d28e17f72";  // "abc"
const std::string kSha1 = "a9993e364706816aba3e25717850c26c9cd0d89d";
const std::string kSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

struct Expect {
    Expect(LineResult r) : result(r) {}
    Expect(unsigned k, std::string h) : result(LineResult::kHash), kind(k), hex(std::move(h)) {}
    LineResult result;
    unsigned kind = 0;
    std::string hex;  // lower-case digest expected for kHash
};

// Feeds lines one by one and checks each outcome.
void Check(const std::vector<std::pair<std::string, Expect>>& lines) {
    HashLineParser parser;
    for (const auto& [line, want] : lines) {
        HashValue value;
        const LineResult got = parser.Feed(line, value);
        EXPECT_EQ(int(got), int(want.result)) << line;
        if (got == LineResult::kHash && want.result == LineResult::kHash) {
            EXPECT_EQ(value.kind, want.kind) << line;
            EXPECT_EQ(HexText({value.bytes.data(), value.length}), want.hex) << line;
        }
    }
}

TEST(HashLine, PlainListsTakeEachKindByLengthAndSkipTheRest) {
    Check({
        {kMd5, {kHashMd5, kMd5}},
        {"  " + kSha1 + "\r", {kHashSha1, kSha1}},
        {"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", {kHashSha256, kSha256}},
        // md5sum/sha1sum output, binary-mode marker and escaped names too.
        {kMd5 + "  some file.txt", {kHashMd5, kMd5}},
        {kSha1 + " *bin.exe", {kHashSha1, kSha1}},
        {"\\" + kMd5 + "  a\\nb", {kHashMd5, kMd5}},
        {"", {LineResult::kIgnored}},
        {"# comment", {LineResult::kIgnored}},
        {kMd5.substr(1), {LineResult::kBadLength}},
        {kSha256 + "0", {LineResult::kBadLength}},
        {"g" + kMd5.substr(1), {LineResult::kMalformed}},
        {"not a digest", {LineResult::kMalformed}},
    });
}

TEST(HashLine, HashdeepOutputFollowsItsHeaderAndKeepsTheStrongestDigest) {
    Check({
        {"%%%% HASHDEEP-1.0", {LineResult::kIgnored}},
        {"%%%% size,md5,sha256,filename", {LineResult::kIgnored}},
        {"## Invoked from: /home", {LineResult::kIgnored}},
        {"## ", {LineResult::kIgnored}},
        {"3," + kMd5 + "," + kSha256 + ",/a,b,c.txt", {kHashSha256, kSha256}},
        // A digest in the wrong column is not believed, nor a row with one
        // damaged column.
        {"3," + kSha256 + "," + kMd5 + ",/x", {LineResult::kBadLength}},
        {"3," + kMd5 + ",abc,/x", {LineResult::kBadLength}},
        {"3," + kMd5, {LineResult::kMalformed}},
        // A second run's header with other columns replaces the first.
        {"%%%% size,sha1,filename", {LineResult::kIgnored}},
        {"3," + kSha1 + ",/y", {kHashSha1, kSha1}},
    });
}

TEST(HashLine, NsrlCsvTakesSha1OverMd5AndQuotedNamesWithCommas) {
    Check({
        {"\xEF\xBB\xBF\"SHA-1\",\"MD5\",\"CRC32\",\"FileName\",\"FileSize\",\"ProductCode\",\"OpSystemCode\","
         "\"SpecialCode\"",
         {LineResult::kIgnored}},
        {"\"A9993E364706816ABA3E25717850C26C9CD0D89D\",\"900150983CD24FB0D6963F7D28E17F72\",\"352441C2\","
         "\"a, \"\"b\"\".txt\",3,1,\"358\",\"\"",
         {kHashSha1, kSha1}},
        {"\"\",\"900150983CD24FB0D6963F7D28E17F72\",\"0\",\"x\",3,1,\"1\",\"\"", {kHashMd5, kMd5}},
        {"\"ZZ\",\"\",\"0\",\"x\"", {LineResult::kMalformed}},
        {"\"A9993E\"", {LineResult::kMalformed}},
    });
    // A quoted first line that names no digest column is itself skipped;
    // the lines after it are read as a plain list.
    Check({{"\"name\",\"size\"", {LineResult::kMalformed}}, {kMd5, {kHashMd5, kMd5}}});
}

TEST(LineReader, PassesOverLongLinesWholeAndKeepsTheLastLineWithoutBreak) {
    TempDir dir;
    const std::string path = dir.File("list.txt");
    std::string text = "first\n" + std::string(300000, 'x') + "\nsecond\n\n" + std::string(70000, 'y') + "\nlast";
    ASSERT_TRUE(WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    LineReader reader(fd, 65536);
    std::vector<std::pair<std::string, bool>> got;
    std::string_view line;
    bool tooLong = false;
    while (reader.Next(line, tooLong)) got.emplace_back(std::string(line), tooLong);
    ::close(fd);
    const std::vector<std::pair<std::string, bool>> want = {
        {"first", false}, {"", true}, {"second", false}, {"", false}, {"", true}, {"last", false}};
    EXPECT_EQ(got, want);
    EXPECT_FALSE(reader.Failed());
    EXPECT_EQ(reader.BytesRead(), text.size());
}

}  // namespace
}  // namespace delvora::test
