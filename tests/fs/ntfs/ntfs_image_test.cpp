// Volumes made by the real tools (mkntfs, ntfscp, ntfsfallocate, and an
// ntfs-3g mount where FUSE works), loaded and compared with The Sleuth Kit's
// view of the same image: the same live and deleted names, sizes, times and
// contents.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <sstream>

#include "common/bytes.h"
#include "common/text_format.h"
#include "fs/file_list_row.h"
#include "ntfs_builder.h"

namespace delvora::test {
namespace {

struct Entry {
    bool deleted = false;
    uint32_t record = 0;
};
using Listing = std::map<std::string, Entry>;

// "path record" lines, with " deleted" where it applies, for readable diffs.
std::vector<std::string> Lines(const Listing& listing) {
    std::vector<std::string> lines;
    for (const auto& [path, entry] : listing)
        lines.push_back(path + " " + std::to_string(entry.record) + (entry.deleted ? " deleted" : ""));
    return lines;
}

void Walk(FileItem& folder, const std::string& prefix, Listing& out,
          std::map<std::string, FileItem*>* items) {
    for (uint32_t i = 0; i < folder.childCount; ++i) {
        FileItem& child = folder.children[i];
        const std::string path = prefix + child.name;
        out[path] = {child.IsDeleted(), child.startCluster};
        if (items) (*items)[path] = &child;
        Walk(child, path + "/", out, items);
    }
}

// What `fls -l` says of a file's unnamed data: size and modification time.
struct FlsFile {
    uint64_t size = 0;
    std::string modified;  // "2024-05-06 07:08:09", UTC
};

// `fls -r -p -l` lines: "r/r 64-128-2:\tpath\tmtime\tatime\tctime\tcrtime\tsize\tuid\tgid", the
// head also "r/-" or "-/r * 70-128-2:". Named streams are folded into their
// file; the orphan folder is the peer's own invention and has no
// counterpart in a tree built from parents.
Listing Fls(const std::string& image, std::map<std::string, FlsFile>* files = nullptr) {
    std::string text;
    EXPECT_EQ(RunShell("TZ=UTC fls -r -p -l '" + image + "'", &text), 0) << text;
    Listing out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() < 7 || line.find("(realloc)") != std::string::npos) continue;
        const std::string& head = fields[0];
        std::string path = fields[1];
        if (path.rfind("$OrphanFiles", 0) == 0) continue;
        const size_t colon = path.find(':', path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
        const bool stream = colon != std::string::npos;
        if (stream) path.resize(colon);
        const bool deleted = head.find('*') != std::string::npos || (head.size() > 2 && head[2] == '-');
        const uint32_t record = static_cast<uint32_t>(std::stoul(head.substr(head.find_first_of("0123456789"))));
        out[path] = {deleted, record};
        if (files && !stream && head.rfind("r/r", 0) == 0)
            (*files)[path] = {std::stoull(fields[6]), fields[2].substr(0, 19)};
    }
    return out;
}

Bytes Icat(const std::string& image, uint32_t record, const TempDir& dir) {
    const std::string out = dir.File("icat.out");
    EXPECT_EQ(RunShell("icat '" + image + "' " + std::to_string(record) + " > '" + out + "'"), 0);
    return ReadFileBytes(out);
}

// "2026-12-07 11:41:49.915083700 (UTC)" as ticks since 1601.
uint64_t TicksOf(const std::string& text) {
    std::tm tm{};
    if (!strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &tm)) return 0;
    const size_t dot = text.find('.');
    const uint32_t nanoseconds = dot == std::string::npos ? 0 : static_cast<uint32_t>(std::stoul(text.substr(dot + 1, 9)));
    return UnixToUtcTicks(timegm(&tm), nanoseconds);
}

// The four $STANDARD_INFORMATION times `istat` prints, to the 100 ns.
ItemTimes IstatTimes(const std::string& image, uint32_t record) {
    std::string text;
    EXPECT_EQ(RunShell("TZ=UTC istat '" + image + "' " + std::to_string(record), &text), 0);
    ItemTimes times;
    std::istringstream lines(text.substr(text.find("$STANDARD_INFORMATION Attribute Values")));
    std::string line;
    // The section ends at the next blank line.
    while (std::getline(lines, line) && !line.empty()) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string key = line.substr(0, tab), value = line.substr(tab + 1);
        if (key == "Created:") times.created = TicksOf(value);
        if (key == "File Modified:") times.modified = TicksOf(value);
        if (key == "MFT Modified:") times.changed = TicksOf(value);
        if (key == "Accessed:") times.accessed = TicksOf(value);
    }
    return times;
}

// Compares names with fls; every file's size and listed modification time
// with fls -l; every live file's bytes with icat and exact times with istat.
void ExpectSameAsSleuthKit(const std::string& image, LoadedNtfs& l, const TempDir& dir) {
    Listing ours;
    std::map<std::string, FileItem*> items;
    Walk(*l.volume.RootItem(), "", ours, &items);
    std::map<std::string, FlsFile> files;
    const Listing theirs = Fls(image, &files);
    EXPECT_EQ(Lines(ours), Lines(theirs));
    for (const auto& [path, file] : files) {
        FileItem* item = items[path];
        if (!item || path[0] == '$') continue;
        SCOPED_TRACE(path);
        EXPECT_EQ(item->size, file.size);
        // The listed time is a DOS time: even seconds.
        std::string modified = file.modified;
        modified[18] = static_cast<char>('0' + (modified[18] - '0') / 2 * 2);
        EXPECT_EQ(DosDateTimeText(item->writeDate, item->writeTime), modified);
        if (theirs.at(path).deleted) continue;
        std::vector<uint8_t> data;
        uint64_t allocated = 0, valid = 0;
        ASSERT_TRUE(l.volume.ReadWholeItem(item, data, allocated, valid));
        data.resize(valid);
        EXPECT_EQ(data, Icat(image, theirs.at(path).record, dir));
        const ItemTimes expected = IstatTimes(image, theirs.at(path).record);
        ItemTimes times;
        ASSERT_TRUE(l.volume.GetItemTimes(item, times));
        EXPECT_EQ(times.created, expected.created);
        EXPECT_EQ(times.modified, expected.modified);
        EXPECT_EQ(times.changed, expected.changed);
        EXPECT_EQ(times.accessed, expected.accessed);
    }
}

Bytes Random(size_t n, uint32_t seed) {
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<uint8_t>(x);
    }
    return b;
}

// Clears the in-use flag of an MFT record in the image, as a deletion does
// (the index entry and the MFT bitmap are left as they were).
void ClearInUse(const std::string& image, uint32_t record) {
    const Bytes bytes = ReadFileBytes(image);
    const uint64_t cluster = uint64_t{Le16(bytes, 0x0B)} * Le8(bytes, 0x0D);
    const uint64_t at = Le64(bytes, 0x30) * cluster + uint64_t{record} * 1024 + 0x16;
    ASSERT_LT(at, bytes.size());
    ASSERT_TRUE(PatchFile(image, at, {static_cast<uint8_t>(bytes[at] & ~1)}));
}

void UseUtc() {
    setenv("TZ", "UTC", 1);
    tzset();
}

TEST(NtfsImage, ToolMadeFilesMatchTheSleuthKit) {
    UseUtc();
    DELVORA_REQUIRE_TOOL("mkntfs");
    DELVORA_REQUIRE_TOOL("ntfscp");
    DELVORA_REQUIRE_TOOL("fls");
    DELVORA_REQUIRE_TOOL("icat");
    TempDir dir;
    const std::string image = dir.File("tool.img");
    ASSERT_EQ(RunShell("truncate -s 16M '" + image + "' && mkntfs -Q -F -s 512 -c 4096 '" + image + "'"), 0);
    ASSERT_TRUE(WriteFileBytes(dir.File("small"), Random(300, 1)));
    ASSERT_TRUE(WriteFileBytes(dir.File("big"), Random(150000, 2)));
    for (const auto& [source, target] : std::vector<std::pair<std::string, std::string>>{
             {"small", "small.txt"}, {"big", "大文件.bin"}, {"small", "victim.txt"}, {"big", "Ωmega"}})
        ASSERT_EQ(RunShell("ntfscp -q '" + image + "' '" + dir.File(source) + "' '" + target + "'"), 0);

    uint32_t victim = 0;
    {
        auto before = LoadNtfs(image);
        ASSERT_TRUE(before->loaded);
        FileItem* v = ChildNamed(before->volume.RootItem(), "victim.txt");
        ASSERT_NE(v, nullptr);
        victim = v->startCluster;
    }
    ClearInUse(image, victim);

    auto l = LoadNtfs(image);
    ASSERT_TRUE(l->loaded);
    FileItem* small = ChildNamed(l->volume.RootItem(), "small.txt");
    ASSERT_NE(small, nullptr);
    EXPECT_TRUE(small->flags & item_flags::kInRecord);
    EXPECT_EQ(small->size, 300u);
    FileItem* deleted = ChildNamed(l->volume.RootItem(), "victim.txt");
    ASSERT_NE(deleted, nullptr);
    EXPECT_TRUE(deleted->IsDeleted());
    ExpectSameAsSleuthKit(image, *l, dir);

    // The same volume as a partition 2048 sectors into a disk.
    const std::string disk = dir.File("disk.img");
    ASSERT_EQ(RunShell("{ head -c 1048576 /dev/zero; cat '" + image + "'; } > '" + disk + "'"), 0);
    auto partition = LoadNtfs(disk, 2048);
    ASSERT_TRUE(partition->loaded);
    Listing atZero, at2048;
    Walk(*l->volume.RootItem(), "", atZero, nullptr);
    Walk(*partition->volume.RootItem(), "", at2048, nullptr);
    EXPECT_EQ(Lines(at2048), Lines(atZero));
    FileItem* big = ChildNamed(partition->volume.RootItem(), "Ωmega");
    ASSERT_NE(big, nullptr);
    std::vector<uint8_t> data;
    uint64_t allocated = 0, valid = 0;
    ASSERT_TRUE(partition->volume.ReadWholeItem(big, data, allocated, valid));
    data.resize(valid);
    EXPECT_EQ(data, ReadFileBytes(dir.File("big")));
}

// An ntfs-3g mount of the image, unmounted when it goes out of scope.
class Mount {
public:
    Mount(const std::string& image, const std::string& point) : m_point(point) {
        m_ok = RunShell("mkdir -p '" + point + "' && timeout 20 ntfs-3g '" + image + "' '" + point + "'") == 0;
    }
    ~Mount() { Unmount(); }
    bool Ok() const { return m_ok; }
    bool Unmount() {
        if (m_ok) m_ok = RunShell("fusermount -u '" + m_point + "' || umount '" + m_point + "'") != 0;
        return !m_ok;
    }
    int Run(const std::string& command) { return RunShell("cd '" + m_point + "' && " + command); }

private:
    std::string m_point;
    bool m_ok = false;
};

// Folders, hard links, deletions, fragments, a file whose runs continue in
// extension records, holes and preallocated bytes, on volumes of 512- and
// 4096-byte sectors (mkntfs makes 4 KiB records for the latter).
TEST(NtfsImage, FoldersLinksDeletionsListsAndHolesMatchTheSleuthKit) {
    UseUtc();
    DELVORA_REQUIRE_TOOL("mkntfs");
    DELVORA_REQUIRE_TOOL("ntfs-3g");
    DELVORA_REQUIRE_TOOL("ntfsfallocate");
    DELVORA_REQUIRE_TOOL("fusermount");
    DELVORA_REQUIRE_TOOL("fls");
    DELVORA_REQUIRE_TOOL("icat");
    DELVORA_REQUIRE_TOOL("istat");
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("tiny"), Random(600, 3)));
    ASSERT_TRUE(WriteFileBytes(dir.File("chunk"), Random(8192, 4)));
    ASSERT_TRUE(WriteFileBytes(dir.File("piece"), Random(65536, 5)));
    ASSERT_TRUE(WriteFileBytes(dir.File("large"), Random(1000000, 6)));
    ASSERT_TRUE(WriteFileBytes(dir.File("prealloc"), Random(20000, 7)));
    for (const std::string options : {"-s 512 -c 4096", "-s 4096", "-s 4096 -c 8192"}) {
        SCOPED_TRACE(options);
        const std::string image = dir.File("mounted.img");
        ASSERT_EQ(RunShell("rm -f '" + image + "' && truncate -s 16M '" + image + "' && mkntfs -Q -F " + options +
                           " '" + image + "' >/dev/null"),
                  0);
        {
            Mount mount(image, dir.File("mnt"));
            if (!mount.Ok()) GTEST_SKIP() << "no FUSE mount here";
            const std::string d = dir.Path();
            ASSERT_EQ(mount.Run("mkdir -p a/b/c 'Ünï 名字' doomed/inner && cp '" + d + "/tiny' a/b/c/tiny.txt"), 0);
            ASSERT_EQ(mount.Run("cp '" + d + "/tiny' 'Ünï 名字/résumé.txt' && cp '" + d + "/chunk' doomed/inner/x"), 0);
            ASSERT_EQ(mount.Run("ln a/b/c/tiny.txt a/hardlink.txt"), 0);
            // Appending to two files in turn interleaves their clusters, so
            // both end up in several pieces.
            ASSERT_EQ(mount.Run("for i in $(seq 0 15); do dd if='" + d + "/large' bs=65536 skip=$i count=1 status=none >> a/fragmented.bin && dd if='" + d + "/piece' bs=65536 count=1 status=none >> other.bin || exit 1; done"), 0);
            // Names of 200 characters, eight of them, do not fit one record of
            // 1 or 4 KiB: the file gets an attribute list and extension records.
            ASSERT_EQ(mount.Run("cp '" + d + "/large' a/listed.bin && mkdir links && for i in 1 2 3 4 5 6 7 8; do ln a/listed.bin links/$i$(printf 'n%.0s' $(seq 200)) || exit 1; done"), 0);
            // A hole at the start and one inside; written bytes end before the size.
            ASSERT_EQ(mount.Run("truncate -s 3M sparse.bin && printf hello | dd of=sparse.bin bs=1 seek=1000000 conv=notrunc status=none && printf world | dd of=sparse.bin bs=1 seek=2500000 conv=notrunc status=none"), 0);
            ASSERT_EQ(mount.Run("cp '" + d + "/prealloc' a/prealloc.bin"), 0);
            // Deleted last, so that no later file takes their records.
            ASSERT_EQ(mount.Run("cp '" + d + "/tiny' a/gone.txt && rm a/gone.txt && rm -r doomed"), 0);
            ASSERT_TRUE(mount.Unmount());
        }
        // Allocated beyond what was written: the rest reads as zeros.
        ASSERT_EQ(RunShell("ntfsfallocate -l 100000 '" + image + "' a/prealloc.bin >/dev/null 2>&1"), 0);

        auto l = LoadNtfs(image);
        ASSERT_TRUE(l->loaded);
        FileItem* a = ChildNamed(l->volume.RootItem(), "a");
        ASSERT_NE(a, nullptr);
        FileItem* fragmented = ChildNamed(a, "fragmented.bin");
        ASSERT_NE(fragmented, nullptr);
        ClusterRunList runs;
        ASSERT_TRUE(l->volume.GetItemRuns(fragmented, runs));
        EXPECT_GT(runs.Size(), 1u) << "the file did not fragment";
        std::vector<uint8_t> data;
        uint64_t allocated = 0, valid = 0;
        ASSERT_TRUE(l->volume.ReadWholeItem(fragmented, data, allocated, valid));
        data.resize(valid);
        EXPECT_EQ(data, ReadFileBytes(dir.File("large")));
        FileItem* listed = ChildNamed(a, "listed.bin");
        ASSERT_NE(listed, nullptr);
        std::string istat;
        RunShell("istat '" + image + "' " + std::to_string(listed->startCluster), &istat);
        EXPECT_NE(istat.find("$ATTRIBUTE_LIST"), std::string::npos) << "the names still fit the record";
        EXPECT_EQ(listed->size, 1000000u);
        EXPECT_EQ(ChildNamed(l->volume.RootItem(), "links")->childCount, 8u);
        FileItem* gone = ChildNamed(a, "gone.txt");
        ASSERT_NE(gone, nullptr);
        EXPECT_TRUE(gone->IsDeleted());
        FileItem* hardlink = ChildNamed(a, "hardlink.txt");
        ASSERT_NE(hardlink, nullptr);
        EXPECT_EQ(hardlink->startCluster, ChildNamed(ChildNamed(ChildNamed(a, "b"), "c"), "tiny.txt")->startCluster);
        EXPECT_TRUE(l->rc.log.Lines().empty());
        ExpectSameAsSleuthKit(image, *l, dir);
    }
}

// An image file's MFT is parsed where it lies mapped; blocks the file does
// not hold whole are read as before. Either way the tree is the one the same
// bytes give through a source that cannot be mapped, for a whole image and
// for one cut inside the MFT.
TEST(NtfsImage, MappedImageLoadsAsTheSameBytesReadThroughASource) {
    DELVORA_REQUIRE_TOOL("mkntfs");
    DELVORA_REQUIRE_TOOL("ntfscp");
    TempDir dir;
    const std::string image = dir.File("whole.img");
    ASSERT_EQ(RunShell("truncate -s 16M '" + image + "' && mkntfs -Q -F -s 512 -c 4096 '" + image + "'"), 0);
    ASSERT_TRUE(WriteFileBytes(dir.File("f"), Random(3000, 3)));
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(RunShell("ntfscp -q '" + image + "' '" + dir.File("f") + "' 'file_" + std::to_string(i) + "'"), 0);
    const Bytes whole = ReadFileBytes(image);
    ASSERT_GE(whole.size(), 512u);
    // The MFT's first cluster from the boot sector; records of the files
    // made above lie past its first 64 KiB block.
    uint64_t mftCluster = 0;
    for (int i = 7; i >= 0; --i) mftCluster = mftCluster << 8 | whole[0x30 + i];
    const uint64_t mftByte = mftCluster * 4096;
    for (const uint64_t size : {uint64_t{whole.size()}, mftByte + 65536 + 20 * 1024}) {
        SCOPED_TRACE(size);
        ASSERT_LE(size, whole.size());
        const std::string cut = dir.File("cut.img");
        ASSERT_TRUE(WriteFileBytes(cut, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size))));
        auto mapped = LoadNtfs(cut);
        auto pieces = LoadNtfsBytes(ReadFileBytes(cut));
        ASSERT_EQ(mapped->loaded, pieces->loaded);
        if (!mapped->loaded) continue;
        Listing fromMap, fromPieces;
        Walk(*mapped->volume.RootItem(), "", fromMap, nullptr);
        Walk(*pieces->volume.RootItem(), "", fromPieces, nullptr);
        EXPECT_EQ(Lines(fromMap), Lines(fromPieces));
        EXPECT_EQ(fromMap.count("file_39"), size == whole.size() ? 1u : 0u);
    }
}

}  // namespace
}  // namespace delvora::test
