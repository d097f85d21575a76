// Passes over a mapped image: a page the file no longer holds must send the
// caller to the read path, not kill the process on first touch.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "disk/data_source.h"
#include "disk/image_map.h"
#include "support/recorders.h"

namespace delvora {
namespace {

TEST(MappedPass, WindowPastAFileCutShortIsReadInstead) {
    test::TempDir dir;
    const std::string image = dir.File("cut.img");
    std::vector<uint8_t> bytes(4 << 20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 512);
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    test::RecordingContext rc;
    DataSource source(rc.context);
    source.SetKind(SourceKind::ImageFile);
    source.SetPath(image);
    ASSERT_EQ(source.Open(), 1);
    const auto map = ImageMap::Open(source);
    ASSERT_TRUE(map);
    MappedPass pass(*map, 512);
    const ByteSpan first = pass.WholeSectors(0, 8192);
    ASSERT_EQ(first.size(), 8192u);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), bytes.begin()));

    // Another program shortens the image while it is mapped.
    ASSERT_EQ(::truncate(image.c_str(), 1 << 20), 0);
    EXPECT_TRUE(pass.WholeSectors((3 << 20) / 512, 8192).empty());
    // A window the file still holds whole maps again.
    const ByteSpan held = pass.WholeSectors(0, 4096);
    ASSERT_EQ(held.size(), 4096u);
    EXPECT_TRUE(std::equal(held.begin(), held.end(), bytes.begin()));
}

}  // namespace
}  // namespace delvora
