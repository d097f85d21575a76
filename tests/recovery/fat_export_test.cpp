// Recovery from FAT images made by mkfs.fat and mtools, checked against the
// files that went in and against The Sleuth Kit's icat.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "common/hash.h"
#include "disk/data_source.h"
#include "fs/volume_registry.h"
#include "recovery/export_item.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

namespace fs = std::filesystem;

std::string Cli(const std::string& args) { return std::string(DELVORA_CLI_PATH) + " " + args; }

std::string Quote(const std::string& text) { return "'" + text + "'"; }

std::string ReadFileText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string HashOf(const std::vector<uint8_t>& bytes) {
    Hasher sha;
    sha.Update(bytes);
    return sha.Finish().sha256;
}

/// The manifest's rows: target path → sha256 (none of the test's names needs quoting).
std::map<std::string, std::string> ManifestRows(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::map<std::string, std::string> rows;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
        if (fields.size() >= 4) rows[fields[1]] = fields[3];
    }
    return rows;
}

struct FatKind {
    const char* bits;
    const char* kib;
    const char* extra;
};

class FatExport : public ::testing::TestWithParam<FatKind> {
protected:
    void SetUp() override {
        DELVORA_REQUIRE_TOOL("mkfs.fat");
        DELVORA_REQUIRE_TOOL("mcopy");
        DELVORA_REQUIRE_TOOL("mdel");
        const FatKind kind = GetParam();
        // gone.bin goes in last and is deleted last: its clusters stay as they were.
        const std::string script =
            "set -e; cd " + dir.Path() +
            "; mkdir -p src/sub/deeper"
            "; head -c 65536 /dev/urandom > src/exact64k.bin; head -c 65537 /dev/urandom > src/over64k.bin"
            "; head -c 300000 /dev/urandom > src/sub/big.bin; printf hello > 'src/a b!.txt'; : > src/empty.txt"
            "; printf deep > 'src/sub/deeper/Deep File.txt'; head -c 5000 /dev/urandom > gone.bin"
            "; mkfs.fat -C " + std::string(kind.extra) + " -F " + kind.bits + " img " + kind.kib + " >/dev/null" +
            "; mcopy -s -i img src/* ::/; mcopy -i img gone.bin ::/gone.bin; mdel -i img ::/gone.bin";
        std::string out;
        ASSERT_EQ(RunShell(script + " 2>&1", &out), 0) << out;
    }
    std::string Img() const { return dir.File("img"); }
    TempDir dir;
};

TEST_P(FatExport, WholeVolumeComesBackByteExactWithTheDeletedFile) {
    const std::string out = dir.File("out"), manifest = dir.File("m.csv");
    std::string log;
    ASSERT_EQ(RunShell(Cli("export " + Img() + " / --to " + out + " -r --manifest " + manifest +
                           " --exclude-ext '' --ignore-prefix '' 2>&1"),
                       &log),
              0)
        << log;
    const auto rows = ManifestRows(manifest);
    size_t compared = 0;
    const std::string src = dir.File("src");
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), src).string();
        const auto original = ReadFileBytes(entry.path().string());
        EXPECT_EQ(ReadFileBytes(out + "/" + relative), original) << relative;
        ASSERT_TRUE(rows.count(out + "/" + relative)) << relative;
        EXPECT_EQ(rows.at(out + "/" + relative), HashOf(original)) << relative;
        ++compared;
    }
    EXPECT_EQ(compared, 6u);
    // The deleted file is found by its contents, whatever its recovered name.
    const std::string goneHash = HashOf(ReadFileBytes(dir.File("gone.bin")));
    bool found = false;
    for (const auto& [path, hash] : rows) found = found || hash == goneHash;
    EXPECT_TRUE(found) << log;
}

TEST_P(FatExport, CatMatchesIcatForEveryLiveFile) {
    DELVORA_REQUIRE_TOOL("fls");
    DELVORA_REQUIRE_TOOL("icat");
    std::string listing;
    ASSERT_EQ(RunShell("fls -r -p -f fat " + Img(), &listing), 0);
    std::istringstream lines(listing);
    size_t compared = 0;
    for (std::string line; std::getline(lines, line);) {
        // "r/r 4:\tpath" for live files; deleted ones carry a '*', virtual ones "v/v".
        if (line.rfind("r/r ", 0) != 0 || line.find('*') != std::string::npos) continue;
        const size_t colon = line.find(':');
        const std::string inode = line.substr(4, colon - 4);
        const std::string path = line.substr(line.find('\t') + 1);
        ASSERT_EQ(RunShell("icat -f fat " + Img() + " " + inode + " > " + dir.File("icat.out")), 0);
        // A subshell: RunShell sends the command's stderr along with its output.
        ASSERT_EQ(RunShell("(" + Cli("cat " + Img() + " " + Quote("/" + path)) + " > " + dir.File("cat.out") + " 2> " +
                           dir.File("cat.err") + ")"),
                  0)
            << path << ReadFileText(dir.File("cat.err"));
        EXPECT_EQ(ReadFileBytes(dir.File("cat.out")), ReadFileBytes(dir.File("icat.out"))) << path;
        ++compared;
    }
    EXPECT_EQ(compared, 6u);
}

TEST_P(FatExport, ExportCommandCleansTheNameAndRefusesFoldersWithoutR) {
    const std::string out = dir.File("single");
    std::string log;
    ASSERT_EQ(RunShell(Cli("export " + Img() + " " + Quote("/a b!.txt") + " '\\SUB\\BIG.BIN' /sub/big.bin --to " + out + " 2>&1"),
                       &log),
              0)
        << log;
    EXPECT_EQ(ReadFileBytes(out + "/ab.txt"), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(ReadFileBytes(out + "/big.bin"), ReadFileBytes(dir.File("src/sub/big.bin")));
    EXPECT_EQ(ReadFileBytes(out + "/big (2).bin"), ReadFileBytes(dir.File("src/sub/big.bin")));  // not over it
    EXPECT_EQ(RunShell(Cli("export " + Img() + " /sub --to " + out + " 2>&1"), &log), 1);
    EXPECT_NE(log.find("use -r"), std::string::npos) << log;
    EXPECT_EQ(RunShell(Cli("export " + Img() + " /nothing --to " + out + " 2>&1"), &log), 1);
    EXPECT_NE(log.find("no such item: /nothing"), std::string::npos) << log;
    EXPECT_EQ(RunShell(Cli("cat " + Img() + " /sub 2>&1"), &log), 1);
    EXPECT_EQ(RunShell(Cli("export " + Img() + " /sub 2>&1"), &log), 2);
}

TEST_P(FatExport, FoundItemIsReadThroughItsSectorRunsNotItsStartCluster) {
    RecordingContext recorder;
    DataSource source(recorder.context);
    source.SetKind(SourceKind::Device);
    source.SetPath(Img());
    ASSERT_TRUE(source.Open());
    const std::string bits = GetParam().bits;
    const Classification kind = ClassifyTypeByte(bits == "12" ? 0x01 : bits == "16" ? 0x06 : 0x0B);
    auto volume = MakeVolume(kind.volumeClass);
    ASSERT_TRUE(volume);
    volume->SetContext(recorder.context);
    volume->SetDataSource(&source);
    volume->SetFatType(kind.fatType);
    volume->SetTotalSectors(static_cast<uint32_t>(fs::file_size(Img()) / 512));
    ASSERT_TRUE(volume->Prepare() && volume->LoadTree());
    volume->ReleaseLoadTables();

    FileItem found = MakeItem("found.bin");
    found.flags = item_flags::kFound;
    found.startCluster = 0xFFFFFF;  // nonsense: the runs decide
    found.size = 1500;
    auto runs = std::make_unique<ClusterRunList>();
    runs->Add(40, 2);
    runs->Add(100, 2);
    found.runs = volume->Tree().OwnRunList(std::move(runs));
    ASSERT_TRUE(SetChildren(*volume->RecycleItem(), std::span<const FileItem>(&found, 1)));
    const std::string out = dir.File("found.out");
    ASSERT_TRUE(ExportItem(volume.get(), &volume->RecycleItem()->children[0], out));

    const auto image = ReadFileBytes(Img());
    std::vector<uint8_t> expected(image.begin() + 40 * 512, image.begin() + 42 * 512);
    expected.insert(expected.end(), image.begin() + 100 * 512, image.begin() + 100 * 512 + (1500 - 1024));
    EXPECT_EQ(ReadFileBytes(out), expected);
    EXPECT_TRUE(recorder.notifier.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, FatExport,
                         ::testing::Values(FatKind{"12", "2048", ""}, FatKind{"16", "8192", "-s 1"},
                                           FatKind{"32", "40960", "-s 1"}),
                         [](const auto& info) { return std::string("FAT") + info.param.bits; });

}  // namespace
}  // namespace delvora::test
