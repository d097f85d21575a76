// The same images listed by The Sleuth Kit's fls: the same names, and the
// same items deleted.
#include <gtest/gtest.h>

#include "fs/fat/fat_test_images.h"
#include "support/recorders.h"

namespace delvora {
namespace {

class FatAgainstFls : public ::testing::TestWithParam<int> {};

TEST_P(FatAgainstFls, SameNamesAndDeletedSet) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    DELVORA_REQUIRE_TOOL("mcopy");
    DELVORA_REQUIRE_TOOL("fls");
    test::TempDir dir;
    test::RecordingContext ctx;
    const std::string image = test::MakeToolImage(dir.Path(), GetParam());
    ASSERT_FALSE(image.empty());
    auto expected = test::FlsTree(image);
    ASSERT_FALSE(expected.empty());
    const int kind = GetParam() == 12 ? 1 : GetParam() == 16 ? 2 : 3;
    auto loaded = test::LoadFat(image, kind, ctx.context);
    ASSERT_TRUE(loaded.prepared);
    const auto ours = test::ListTree(*loaded.volume->RootItem());
    EXPECT_EQ(ours, expected);
    EXPECT_TRUE(ours.count("docs/中文长文件名测试文档.txt"));
    EXPECT_TRUE(ours.at("_one.txt"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, FatAgainstFls, ::testing::Values(12, 16, 32));

}  // namespace
}  // namespace delvora
