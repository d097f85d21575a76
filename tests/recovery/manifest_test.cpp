#include "recovery/manifest.h"

#include <gtest/gtest.h>

#include "recovery/folder_export.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

TEST(Manifest, FieldsAreQuotedOnlyWhenTheyMustBe) {
    EXPECT_EQ(CsvField("\\DIR\\A.TXT"), "\\DIR\\A.TXT");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("line\nbreak"), "\"line\nbreak\"");
    EXPECT_EQ(CsvField(""), "");
}

TEST(Manifest, WriterFailsWhenTheFileCannotBeMade) {
    TempDir dir;
    ManifestWriter writer;
    EXPECT_FALSE(writer.Open(dir.File("missing/m.csv")));
    EXPECT_FALSE(writer.Add({"\\a", "/t/a", 1, {"00", "", ""}}));
    ManifestWriter full;
    ASSERT_TRUE(full.Open("/dev/full"));
    for (int i = 0; i < 2000; ++i) full.Add({"\\a", "/t/a", 1, {std::string(64, '0'), "", ""}});
    EXPECT_FALSE(full.Close());
}

// The first four columns never change; MD5 and SHA-1 only follow on request.
TEST(Manifest, DigestColumnsFollowTheKindsAskedFor) {
    const struct {
        unsigned kinds;
        const char* text;
    } cases[] = {
        {0, "volumePath,targetPath,size,sha256\r\n\\a,/t/a,1,s2\r\n"},
        {kHashSha256, "volumePath,targetPath,size,sha256\r\n\\a,/t/a,1,s2\r\n"},
        {kHashMd5, "volumePath,targetPath,size,sha256,md5\r\n\\a,/t/a,1,s2,m5\r\n"},
        {kHashSha256 | kHashSha1 | kHashMd5,
         "volumePath,targetPath,size,sha256,md5,sha1\r\n\\a,/t/a,1,s2,m5,s1\r\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ManifestWriter writer;
        ASSERT_TRUE(writer.Open(dir.File("m.csv"), c.kinds));
        ASSERT_TRUE(writer.Add({"\\a", "/t/a", 1, {"s2", "m5", "s1"}}));
        ASSERT_TRUE(writer.Close());
        const auto bytes = ReadFileBytes(dir.File("m.csv"));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.text) << c.kinds;
    }
}

}  // namespace
}  // namespace delvora::test
