// The sample disk's volumes recovered by export -r: every live file as
// tsk_recover recovers it, and on FAT the deleted file and folder whose
// clusters survived; with --residual the lost folder, the page and document
// planted in free space, and EXT2's deleted file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/recorders.h"

namespace delvora::test {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::vector<uint8_t>> Files(const std::string& root) {
    std::map<std::string, std::vector<uint8_t>> out;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) out[fs::relative(entry.path(), root).string()] = ReadFileBytes(entry.path().string());
    return out;
}

std::vector<uint8_t> Text(std::string_view text) { return {text.begin(), text.end()}; }

TEST(SampleDiskExport, EveryPartitionComesBackByteExact) {
    for (const char* tool : {"sfdisk", "mkfs.fat", "mcopy", "mkntfs", "ntfscp", "mke2fs", "debugfs", "tsk_recover"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    // A copy of the script builds its disk beside itself, here in the test's folder.
    ASSERT_EQ(RunShell("cp " + std::string(DELVORA_SOURCE_DIR) + "/sample/make-sample-disk " +
                       std::string(DELVORA_SOURCE_DIR) + "/sample/make-ole-doc " + dir.Path() +
                       " && " + dir.File("make-sample-disk") + " --force"),
              0);
    ASSERT_EQ(RunShell("printf 'PHYSICALDRIVE0=" + dir.File("disk.img") + "\\nPHYSICALDRIVE1=" + dir.File("disk-gpt.img") +
                       "\\n' > " + dir.File("devices.map")),
              0);

    const struct {
        const char* drive;  // PHYSICALDRIVE1: the GPT twin
        const char* row;
        const char* start;
        const char* kind;
        bool deleted;  // FAT: the deleted file and folder must come back
        size_t files;  // at least as many from tsk_recover, which writes no empty files
    } partitions[] = {{"0", "0", "2048", "fat", true, 6},    {"0", "1", "83968", "ntfs", false, 3},
                      {"0", "2", "118784", "fat", true, 6},  {"0", "3", "153600", "ext2", false, 6},
                      {"1", "0", "2048", "fat", true, 6},    {"1", "1", "83968", "ntfs", false, 3},
                      {"1", "2", "116736", "ext4", false, 6}};
    for (const auto& p : partitions) {
        SCOPED_TRACE(std::string("PHYSICALDRIVE") + p.drive + " -p " + p.row);
        const std::string disk = dir.File(*p.drive == '0' ? "disk.img" : "disk-gpt.img");
        const std::string ours = dir.File(std::string("ours") + p.drive + p.row),
                          peer = dir.File(std::string("tsk") + p.drive + p.row);
        std::string log;
        ASSERT_EQ(RunShell(std::string(DELVORA_CLI_PATH) + " --devices " + dir.File("devices.map") +
                               " export PHYSICALDRIVE" + p.drive + " / -p " + p.row + " --to " + ours +
                               " -r --exclude-ext '' --ignore-prefix ''",
                           &log),
                  0)
            << log;
        ASSERT_EQ(RunShell("tsk_recover -a -f " + std::string(p.kind) + " -o " + std::string(p.start) + " " + disk + " " + peer,
                           &log),
                  0)
            << log;
        const auto exported = Files(ours), recovered = Files(peer);
        ASSERT_GE(recovered.size(), p.files) << p.kind;
        ASSERT_TRUE(exported.count("empty.txt"));
        EXPECT_TRUE(exported.at("empty.txt").empty());
        for (const auto& [path, bytes] : recovered) {
            ASSERT_TRUE(exported.count(path)) << "partition row " << p.row << ": " << path << " missing";
            EXPECT_EQ(exported.at(path), bytes) << path;
        }
        if (!p.deleted) continue;
        // Deleted: found by contents, whatever names the deleted entries give.
        bool deletedFile = false, deletedFolderFile = false;
        for (const auto& [path, bytes] : exported) {
            deletedFile = deletedFile || bytes == Text("this file is deleted later, MAIN copy\n");
            deletedFolderFile = deletedFolderFile || bytes == Text("inside a deleted folder\n");
        }
        EXPECT_TRUE(deletedFile) << "partition row " << p.row;
        EXPECT_TRUE(deletedFolderFile) << "partition row " << p.row;
    }

    // What only the residual search finds, by contents.
    std::string page = "<html lang=\"en\"><head><title>Planted Page</title></head><body><p>";
    for (int i = 1; i <= 300; ++i) page += std::to_string(i) + (i < 300 ? " " : "");
    page += "</p></body></html>";
    ASSERT_EQ(RunShell("python3 " + dir.File("make-ole-doc") + " " + dir.File("doc") + " 'Sample Minutes'"), 0);
    const auto doc = ReadFileBytes(dir.File("doc"));
    std::string lines;
    for (int i = 1; i <= 2000; ++i) lines += "inner line " + std::to_string(i) + "\n";
    const struct {
        const char* row;
        std::vector<std::vector<uint8_t>> wanted;
    } searches[] = {{"0", {Text(page), doc, Text("a file in a lost folder\n"), Text(lines)}},
                    {"1", {Text(page), doc}},
                    {"2", {Text(page), doc, Text("a file in a lost folder\n"), Text(lines)}},
                    {"3", {Text("this file is deleted later, MAIN copy\n")}}};
    for (const auto& search : searches) {
        const std::string ours = dir.File(std::string("found") + search.row);
        std::string log;
        ASSERT_EQ(RunShell(std::string(DELVORA_CLI_PATH) + " --devices " + dir.File("devices.map") +
                               " export PHYSICALDRIVE0 / -p " + search.row + " --to " + ours +
                               " -r --residual --html --doc --exclude-ext '' --ignore-prefix ''",
                           &log),
                  0)
            << log;
        ASSERT_TRUE(fs::is_directory(ours + "/回收站")) << "partition row " << search.row;
        const auto found = Files(ours + "/回收站");
        for (const auto& bytes : search.wanted) {
            bool seen = false;
            for (const auto& [path, got] : found) seen = seen || got == bytes;
            EXPECT_TRUE(seen) << "partition row " << search.row << ": " << bytes.size() << " bytes not found";
        }
    }
}

}  // namespace
}  // namespace delvora::test
