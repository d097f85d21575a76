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

ExportedFile Row(std::string sha256) {
    ExportedFile file;
    file.volumePath = "\\a";
    file.targetPath = "/t/a";
    file.size = 1;
    file.digests.sha256 = std::move(sha256);
    return file;
}

TEST(Manifest, WriterFailsWhenTheFileCannotBeMade) {
    TempDir dir;
    ManifestWriter writer;
    EXPECT_FALSE(writer.Open(dir.File("missing/m.csv")));
    EXPECT_FALSE(writer.Add(Row("00")));
    ManifestWriter full;
    ASSERT_TRUE(full.Open("/dev/full"));
    for (int i = 0; i < 2000; ++i) full.Add(Row(std::string(64, '0')));
    EXPECT_FALSE(full.Close());
}

}  // namespace
}  // namespace delvora::test
