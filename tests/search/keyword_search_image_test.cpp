// The search command over volumes made by the real tools, each holding known
// strings: in a file, across a cluster boundary, in a deleted file, in free
// space, as UTF-16LE, overlapping. Every hit is checked against the
// positions found by scanning the image's bytes here, and its file against
// The Sleuth Kit (ifind -d, then ffind).
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "cli/cli_run.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

const std::string kNeedle = "NEEDLE";

struct Hit {
    std::string keyword;
    uint64_t byteOffset = 0;
    uint64_t position = 0;
    uint64_t offset = 0;
    std::string file;  // '\' path; "-" for null
    int64_t fileOffset = -1;  // -1 for null
    bool operator<(const Hit& o) const { return std::tie(byteOffset, keyword) < std::tie(o.byteOffset, o.keyword); }
};

std::vector<Hit> ParseHits(const std::string& json) {
    static const std::regex line(
        R"re(^\{"keyword":"([^"]*)","position":(\d+),"offset":(\d+),"byteOffset":(\d+),"hitText":.*,"file":(null|"((?:[^"\\]|\\.)*)"),"fileOffset":(null|\d+),"encoding":"[^"]*","length":\d+\}$)re");
    std::vector<Hit> hits;
    size_t from = 0;
    // Each round takes one line.
    while (from < json.size()) {
        const size_t end = json.find('\n', from);
        const std::string text = json.substr(from, end - from);
        from = end == std::string::npos ? json.size() : end + 1;
        std::smatch m;
        EXPECT_TRUE(std::regex_match(text, m, line)) << text;
        if (m.empty()) continue;
        std::string file = m[5] == "null" ? "-" : m[6].str();
        for (size_t at = file.find("\\\\"); at != std::string::npos; at = file.find("\\\\", at + 1)) file.erase(at, 1);
        hits.push_back({m[1], std::stoull(m[4]), std::stoull(m[2]), std::stoull(m[3]), file,
                        m[7] == "null" ? -1 : std::stoll(m[7])});
    }
    return hits;
}

// Every start of pattern in image[first, end), overlapping ones included.
std::vector<uint64_t> PlainStarts(const std::vector<uint8_t>& image, const std::string& pattern, uint64_t first,
                                  uint64_t end) {
    std::vector<uint64_t> out;
    for (uint64_t p = first; p + pattern.size() <= end; ++p)
        if (std::equal(pattern.begin(), pattern.end(), image.begin() + static_cast<std::ptrdiff_t>(p))) out.push_back(p);
    return out;
}

// The file The Sleuth Kit says holds a data unit, as a '\' path; "-" when
// none. Deleted names lose their "* " mark.
std::string TskFile(const std::string& image, uint64_t unit) {
    std::string inode;
    if (RunShell("ifind -d " + std::to_string(unit) + " '" + image + "' 2>/dev/null", &inode) != 0) return "-";
    inode.erase(inode.find_last_not_of("\r\n ") + 1);
    if (inode.empty() || inode.find("not found") != std::string::npos) return "-";
    std::string name;
    if (RunShell("ffind '" + image + "' " + inode + " 2>/dev/null", &name) != 0) return "-";
    name = name.substr(0, name.find('\n'));
    if (name.rfind("* ", 0) == 0) name.erase(0, 2);
    if (name.empty() || name.find("not found") != std::string::npos) return "-";
    std::string path;
    // ffind may double the first separator.
    for (char c : name)
        if (c != '/' || path.empty() || path.back() != '\\') path += c == '/' ? '\\' : c;
    return path;
}

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

struct PlantedImage {
    std::string path;
    uint64_t hostCluster = 0;      // the cluster size WriteHostFiles laid span.bin out for
    uint64_t scanFirst = 0;        // byte where the volume search starts
    uint64_t unitBytes = 512;      // The Sleuth Kit's data unit
    uint64_t freeNeedle = 0;       // byte of the needle planted in free space
    uint64_t boundaryNeedle = 0;   // needle that starts in the last sector of a 64 KiB window (NTFS, EXT2)
    std::string residentFile;      // an NTFS file held in its record ("" for other kinds)
    std::vector<std::string> files;  // the files some hit must name ("-": none)
};

// A place for a planted needle: the 1 KiB around it is zero and The Sleuth
// Kit gives its unit to no file. Candidates are tried in order.
uint64_t FreePlace(const PlantedImage& made, const std::vector<uint64_t>& candidates) {
    const std::vector<uint8_t> image = ReadFileBytes(made.path);
    for (uint64_t at : candidates) {
        if (at < 512 || at + 512 > image.size()) continue;
        if (!std::all_of(image.begin() + static_cast<std::ptrdiff_t>(at - 512),
                         image.begin() + static_cast<std::ptrdiff_t>(at + 512), [](uint8_t b) { return b == 0; }))
            continue;
        if (TskFile(made.path, at / made.unitBytes) == "-" && TskFile(made.path, (at + 5) / made.unitBytes) == "-")
            return at;
    }
    ADD_FAILURE() << "no free place";
    return 0;
}

// Starts in the last sector of a 64 KiB window of a search from byte 0:
// windows begin every 127 sectors.
std::vector<uint64_t> WindowEnds(uint64_t imageBytes) {
    std::vector<uint64_t> out;
    for (uint64_t k = imageBytes / 65024; k-- > 1;) out.push_back(k * 65024 + 65024 - 3);
    return out;
}

// The host files every image receives; span.bin puts a needle across
// the boundary of its first two clusters (or blocks).
void WriteHostFiles(const TempDir& dir, uint64_t cluster) {
    ASSERT_EQ(RunShell("mkdir -p '" + dir.File("in/dir") + "'"), 0);
    std::string live(3000, '-');
    live.replace(100, kNeedle.size(), kNeedle);
    live.replace(2000, 4, "aaaa");
    WriteFileBytes(dir.File("in/live.txt"), {live.begin(), live.end()});
    std::string span(2 * cluster, '-');
    span.replace(cluster - 3, kNeedle.size(), kNeedle);
    WriteFileBytes(dir.File("in/dir/span.bin"), {span.begin(), span.end()});
    std::string wide(5000, '-');
    wide.replace(1000, 12, Utf16(kNeedle));
    WriteFileBytes(dir.File("in/wide.txt"), {wide.begin(), wide.end()});
    std::string gone(4100, '-');
    gone.replace(50, kNeedle.size(), kNeedle);
    WriteFileBytes(dir.File("in/gone.txt"), {gone.begin(), gone.end()});
    WriteFileBytes(dir.File("in/tiny.txt"), {'x', 'N', 'E', 'E', 'D', 'L', 'E', '!'});
}

// Where WriteHostFiles put a keyword in a file: the offsets the hit's
// fileOffset may take; none for files it did not write.
std::set<int64_t> PlantedOffsets(const std::string& path, const std::string& keyword, uint64_t cluster) {
    const std::string name = path.substr(path.rfind('\\') + 1);
    if (keyword == "aaa") return name == "live.txt" ? std::set<int64_t>{2000, 2001} : std::set<int64_t>{};
    if (name == "live.txt") return {100};
    if (name == "span.bin") return {static_cast<int64_t>(cluster) - 3};
    if (name == "wide.txt") return {1000};
    if (name == "gone.txt" || name == "_one.txt") return {50};
    if (name == "tiny.txt") return {1};
    return {};
}

void Plant(const std::string& image, uint64_t at) {
    ASSERT_TRUE(PatchFile(image, at, {kNeedle.begin(), kNeedle.end()}));
}

void CheckImage(const TempDir& dir, const PlantedImage& made, size_t expectedNeedles) {
    const CliResult r = RunCli(dir, "search '" + made.path + "' --keyword " + kNeedle + " --keyword aaa " +
                                        "--keyword " + kNeedle + " --kind ascii --kind ascii --kind unicode --json");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Hit> hits = ParseHits(r.out);
    const std::vector<uint8_t> image = ReadFileBytes(made.path);

    std::multiset<std::pair<std::string, uint64_t>> found, expected;
    for (const Hit& hit : hits) found.insert({hit.keyword, hit.byteOffset});
    size_t needles = 0;
    for (const auto& [keyword, bytes] : {std::pair{kNeedle, kNeedle}, std::pair{std::string("aaa"), std::string("aaa")},
                                         std::pair{kNeedle, Utf16(kNeedle)}})
        for (uint64_t at : PlainStarts(image, bytes, made.scanFirst, image.size())) {
            expected.insert({keyword, at});
            needles += bytes == kNeedle;
        }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(needles, expectedNeedles);
    EXPECT_TRUE(std::is_sorted(hits.begin(), hits.end()));

    std::set<std::string> files;
    for (const Hit& hit : hits) {
        SCOPED_TRACE(hit.keyword + " at " + std::to_string(hit.byteOffset));
        files.insert(hit.file);
        // Where the hit lies in its file, as the combined view scrolls to it.
        if (hit.file == "-") {
            EXPECT_EQ(hit.fileOffset, -1);
        } else if (const auto planted = PlantedOffsets(hit.file, hit.keyword, made.hostCluster); !planted.empty()) {
            EXPECT_TRUE(planted.count(hit.fileOffset)) << hit.file << " at " << hit.fileOffset;
        }
        if (hit.file.find(made.residentFile.empty() ? "\x01" : made.residentFile) != std::string::npos) {
            // The file's bytes lie in its MFT record, which The Sleuth Kit
            // gives to $MFT; the search names the file the bytes belong to.
            EXPECT_EQ(TskFile(made.path, hit.byteOffset / made.unitBytes), "\\$MFT");
            continue;
        }
        EXPECT_EQ(hit.file, TskFile(made.path, hit.byteOffset / made.unitBytes));
    }
    for (const std::string& file : made.files) EXPECT_TRUE(files.count(file)) << file << " in " << testing::PrintToString(files);
    // The needles in free space and across windows are found once each.
    EXPECT_EQ(std::count_if(hits.begin(), hits.end(), [&](const Hit& h) { return h.byteOffset == made.freeNeedle; }), 1);
    if (made.boundaryNeedle) {
        auto it = std::find_if(hits.begin(), hits.end(), [&](const Hit& h) { return h.byteOffset == made.boundaryNeedle; });
        ASSERT_NE(it, hits.end());
        EXPECT_EQ(it->position, made.boundaryNeedle / 512);
        EXPECT_EQ(it->offset, made.boundaryNeedle % 512);
    }
}

TEST(KeywordSearchImages, Fat16AgainstImageBytesAndIfind) {
    for (const char* tool : {"mkfs.fat", "mcopy", "mdel", "ifind", "ffind"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    const uint64_t cluster = 2048;
    WriteHostFiles(dir, cluster);
    PlantedImage made;
    made.path = dir.File("fat.img");
    made.hostCluster = cluster;
    const std::string in = dir.File("in"), img = made.path;
    ASSERT_EQ(RunShell("truncate -s 16M '" + img + "' && mkfs.fat -F 16 -s 4 '" + img + "' >/dev/null && "
                       "mcopy -i '" + img + "' '" + in + "/live.txt' '" + in + "/wide.txt' '" + in + "/gone.txt' ::/ && "
                       "mmd -i '" + img + "' ::/dir && mcopy -i '" + img + "' '" + in + "/dir/span.bin' ::/dir/ && "
                       "mdel -i '" + img + "' ::/gone.txt"), 0);
    // The data area starts after the boot sector, two FATs and the root folder.
    const std::vector<uint8_t> boot = ReadFileBytes(img);
    const uint64_t reserved = boot[14] | boot[15] << 8, fatSectors = boot[22] | boot[23] << 8,
                   rootEntries = boot[17] | boot[18] << 8;
    made.scanFirst = (reserved + 2 * fatSectors + rootEntries * 32 / 512) * 512;
    // A deleted short name shows "_" for its lost first byte, here as in ffind.
    made.files = {"\\live.txt", "\\dir\\span.bin", "\\wide.txt", "\\_one.txt", "-"};
    made.freeNeedle = FreePlace(made, {16 * 1024 * 1024 - 10 * cluster - 1});
    Plant(img, made.freeNeedle);
    // live, span, gone, free; the needle of span.bin starts in the last bytes of a cluster.
    CheckImage(dir, made, 4);
    const CliResult r = RunCli(dir, "search '" + img + "' --keyword " + kNeedle + " --json");
    for (const Hit& hit : ParseHits(r.out)) {
        if (hit.file == "\\dir\\span.bin") {
            EXPECT_EQ(hit.offset, cluster - 3);
        }
    }
}

TEST(KeywordSearchImages, NtfsAgainstImageBytesAndIfind) {
    for (const char* tool : {"mkntfs", "ntfscp", "ifind", "ffind"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    const uint64_t cluster = 4096;
    WriteHostFiles(dir, cluster);
    PlantedImage made;
    made.path = dir.File("ntfs.img");
    made.hostCluster = cluster;
    made.unitBytes = cluster;
    made.residentFile = "tiny.txt";
    // ntfscp makes neither folders nor deletions: the files stay in the root.
    made.files = {"\\live.txt", "\\span.bin", "\\wide.txt", "\\tiny.txt", "-"};
    const std::string in = dir.File("in"), img = made.path;
    std::string out;
    ASSERT_EQ(RunShell("truncate -s 24M '" + img + "' && mkntfs -Q -F -s 512 -c 4096 '" + img + "' >/dev/null && "
                       "for f in live.txt wide.txt tiny.txt dir/span.bin; do ntfscp -q '" + img + "' '" + in +
                       "/'$f $(basename $f) || exit 1; done", &out), 0) << out;
    made.freeNeedle = FreePlace(made, {20 * 1024 * 1024 + 7, 18 * 1024 * 1024 + 7, 12 * 1024 * 1024 + 7});
    Plant(img, made.freeNeedle);
    std::vector<uint64_t> ends = WindowEnds(22 * 1024 * 1024);
    made.boundaryNeedle = FreePlace(made, ends);
    Plant(img, made.boundaryNeedle);
    // live, span, tiny, free, window boundary.
    CheckImage(dir, made, 5);
}

TEST(KeywordSearchImages, Ext2AgainstImageBytesAndIfind) {
    for (const char* tool : {"mke2fs", "debugfs", "ifind", "ffind"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    const uint64_t block = 1024;
    WriteHostFiles(dir, block);
    PlantedImage made;
    made.path = dir.File("ext2.img");
    made.hostCluster = block;
    made.unitBytes = block;
    made.files = {"\\live.txt", "\\dir\\span.bin", "\\wide.txt", "\\gone.txt", "\\tiny.txt", "-"};
    const std::string img = made.path;
    std::string out;
    ASSERT_EQ(RunShell("mke2fs -q -t ext2 -b 1024 -d '" + dir.File("in") + "' -F '" + img + "' 8M && "
                       "debugfs -w -R 'rm gone.txt' '" + img + "'", &out), 0) << out;
    made.freeNeedle = FreePlace(made, {7 * 1024 * 1024 + 7, 6 * 1024 * 1024 + 7, 5 * 1024 * 1024 + 7});
    Plant(img, made.freeNeedle);
    made.boundaryNeedle = FreePlace(made, WindowEnds(7 * 1024 * 1024));
    Plant(img, made.boundaryNeedle);
    // live, span, gone, tiny, free, window boundary.
    CheckImage(dir, made, 6);
}

}  // namespace
}  // namespace delvora::test
