// The sample disk's first FAT volume holds a photo, a PDF, a DOCX and a ZIP
// (split by five clusters) in its free space: carve --free-only and the
// workstation's residual search with every type on give them back byte-exact
// under the names their content gives.
#include <gtest/gtest.h>

#include <map>

#include "cli/cli_run.h"
#include "fs/fat/fat_test_images.h"
#include "recovery/carve_format.h"
#include "recovery/residual_search.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::TempDir;

const std::map<std::string, std::string> kCarved{
    {"JPG/2024-06-15 09.41.00 Delvora Cam.jpg", "planted.jpg"},
    {"PDF/Sample Report.pdf", "planted.pdf"},
    {"DOCX/Sample Memo.docx", "planted.docx"},
};

TEST(SampleDiskCarve, FreeSpaceFilesComeBackUnderTheirNames) {
    for (const char* tool : {"sfdisk", "mkfs.fat", "mcopy", "mkntfs", "ntfscp", "mke2fs", "debugfs", "ps2pdf"})
        if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    ASSERT_EQ(test::RunShell("mkdir " + dir.File("planted") + " && cp " + std::string(DELVORA_SOURCE_DIR) +
                             "/sample/make-sample-disk " + std::string(DELVORA_SOURCE_DIR) + "/sample/make-ole-doc " +
                             dir.Path() + " && SAMPLE_PLANTED_DIR=" + dir.File("planted") + " " +
                             dir.File("make-sample-disk") + " --force >/dev/null"),
              0);
    ASSERT_EQ(test::RunShell("printf 'PHYSICALDRIVE0=" + dir.File("disk.img") + "\\n' > " + dir.File("devices.map")), 0);
    const auto planted = [&](const std::string& name) { return test::ReadFileBytes(dir.File("planted/" + name)); };

    const auto r = test::RunCli(dir, "--devices " + dir.File("devices.map") +
                                         " carve PHYSICALDRIVE0 -p 0 --free-only --types all --to " + dir.File("out") +
                                         " --manifest " + dir.File("m.csv"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& [path, name] : kCarved) EXPECT_EQ(test::ReadFileBytes(dir.File("out/" + path)), planted(name)) << path;
    const auto manifest = test::ReadFileBytes(dir.File("m.csv"));
    const std::string text(manifest.begin(), manifest.end());
    const size_t zip = text.find("\\ZIP\\ZIP ");
    ASSERT_NE(zip, std::string::npos) << text;
    const std::string row = text.substr(zip, text.find("\r\n", zip) - zip);
    EXPECT_NE(row.find(",\"fragmented (gap at sector "), std::string::npos) << row;
    const std::string zipName = row.substr(1, row.find(',') - 1);  // "ZIP\ZIP N.zip"
    EXPECT_EQ(test::ReadFileBytes(dir.File("out/ZIP/" + zipName.substr(4))), planted("planted.zip"));

    // The residual search of the loaded volume, as the workstation runs it.
    ASSERT_EQ(test::RunShell("dd if=" + dir.File("disk.img") + " of=" + dir.File("p1.img") +
                             " bs=512 skip=2048 count=81920 status=none"),
              0);
    test::RecordingContext rc;
    rc.options.carveTypes = carve_type::kAll;
    rc.options.carveFreeOnly = 1;
    auto loaded = test::LoadFat(dir.File("p1.img"), 3, rc.context);
    ASSERT_TRUE(loaded.prepared);
    ASSERT_TRUE(RunResidualSearch(*loaded.volume));
    FileItem& found = *loaded.volume->RecycleItem();
    auto read = [&](const std::string& path) {
        std::vector<uint8_t> data;
        FileItem* item = test::FindItem(found, path);
        uint64_t allocated = 0, valid = 0;
        if (item && loaded.volume->ReadWholeItem(item, data, allocated, valid)) data.resize(valid);
        return data;
    };
    for (const auto& [path, name] : kCarved) EXPECT_EQ(read(path), planted(name)) << path;
    FileItem* zips = test::FindItem(found, "ZIP");
    ASSERT_TRUE(zips && zips->childCount == 1);
    EXPECT_EQ(read(std::string("ZIP/") + zips->children[0].name), planted("planted.zip"));
}

}  // namespace
}  // namespace delvora
