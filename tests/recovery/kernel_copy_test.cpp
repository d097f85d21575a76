// Copies that the kernel makes from an image file must give what the read
// path gives: the same bytes, status, count written and unreadable bytes,
// whether the target is a pipe or a file, and whatever stops a transfer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <thread>

#include "common/hash.h"
#include "disk/block_backend.h"
#include "disk/data_source.h"
#include "disk/filled_ranges.h"
#include "fs/ext2/ext2_test_support.h"
#include "fs/ntfs/ntfs_builder.h"
#include "recovery/export_item.h"
#include "support/stub_volume.h"

namespace delvora::test {
namespace {

// An image file whose sends stop after a budget or before a bad sector (as
// a device's would at a read error), and whose reads of bad sectors fail.
class FlakyFileBackend final : public BlockBackend {
public:
    FlakyFileBackend(std::unique_ptr<FdBackend> file, uint64_t sendBudget, std::set<uint64_t> bad)
        : m_file(std::move(file)), m_budget(sendBudget), m_bad(std::move(bad)) {}
    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) override {
        for (uint64_t s = offset / 512; s * 512 < offset + count; ++s)
            if (m_bad.count(s)) return EIO;
        return m_file->ReadAt(buffer, count, offset);
    }
    uint64_t Size() const override { return m_file->Size(); }
    int MappableFd() const override { return m_file->MappableFd(); }
    uint64_t SendTo(int outFd, uint64_t offset, uint64_t count) override {
        uint64_t allowed = std::min(count, m_budget);
        for (uint64_t s : m_bad)
            if (s * 512 >= offset && s * 512 < offset + allowed) allowed = s * 512 - offset;
        const uint64_t moved = m_file->SendTo(outFd, offset, allowed);
        m_budget -= moved;
        sent += moved;
        return moved;
    }
    uint64_t sent = 0;

private:
    std::unique_ptr<FdBackend> m_file;
    uint64_t m_budget;
    std::set<uint64_t> m_bad;
};

// One file whose bytes are the source's, read sector-wise like a volume
// does, with the stretches a test hands it.
class LinearVolume final : public StubVolume {
public:
    bool ReadItemRange(FileItem*, uint8_t* dest, uint64_t offset, uint32_t count, const ClusterRunList*) override {
        const uint64_t first = offset / 512;
        std::vector<uint8_t> sectors((offset + count + 511) / 512 * 512 - first * 512);
        if (!m_pDataSource->GetData(sectors.data(), static_cast<uint32_t>(sectors.size()), first)) return false;
        std::copy_n(sectors.begin() + static_cast<ptrdiff_t>(offset % 512), count, dest);
        return true;
    }
    bool GetItemRuns(FileItem*, ClusterRunList& runs) override {
        runs.Clear();
        runs.Add(0, 1);
        return true;
    }
    void ListPlainStretches(FileItem*, const ClusterRunList&, std::vector<PlainStretch>& out) override {
        out = stretches;
    }
    std::vector<PlainStretch> stretches;
};

// What a copy did: its status, the count it gave, the bytes the target got
// and the unreadable ranges.
struct Outcome {
    CopyStatus status = CopyStatus::kDone;
    uint64_t written = 0;
    std::vector<uint8_t> bytes;
    std::string unreadable;
    bool operator==(const Outcome&) const = default;
};

enum class Target { kFile, kPipe };

// Copies into a fresh file or through a pipe drained by another thread;
// withDigest takes the read path.
Outcome Copy(Volume& volume, FileItem& item, Target target, const std::string& path, bool withDigest) {
    Outcome out;
    ByteRangeSet unreadable;
    Hasher digest;
    if (target == Target::kFile) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0);
        out.status = CopyItemData(volume, item, fd, withDigest ? &digest : nullptr, CopyReport::kQuiet, &out.written,
                                  &unreadable);
        ::close(fd);
        out.bytes = ReadFileBytes(path);
    } else {
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        std::thread drain([&] {
            uint8_t buf[65536];
            for (ssize_t n; (n = ::read(ends[0], buf, sizeof buf)) > 0;) out.bytes.insert(out.bytes.end(), buf, buf + n);
        });
        out.status = CopyItemData(volume, item, ends[1], withDigest ? &digest : nullptr, CopyReport::kQuiet,
                                  &out.written, &unreadable);
        ::close(ends[1]);
        drain.join();
        ::close(ends[0]);
    }
    out.unreadable = unreadable.Text();
    return out;
}

std::vector<uint8_t> Numbered(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 4093);
    return bytes;
}

TEST(KernelCopy, ChunksTheKernelCannotFinishAreReadWholeAsBefore) {
    constexpr uint64_t kAll = UINT64_MAX;
    struct Case {
        const char* name;
        uint64_t itemSize;
        uint64_t imageSize;
        std::vector<PlainStretch> stretches;
        uint64_t sendBudget;
        std::set<uint64_t> badSectors;
        uint64_t expectSent;
    };
    const Case cases[] = {
        {"one stretch", 200000, 204800, {{0, 0, 200000}}, kAll, {}, 200000},
        // Only chunks wholly inside go through the kernel.
        {"stretch inside", 200000, 204800, {{1000, 1000, 149000}}, kAll, {}, 65536},
        {"two stretches", 300000, 300032, {{0, 0, 131072}, {131072, 131072, 168928}}, kAll, {}, 300000},
        {"stopped mid-chunk", 200000, 204800, {{0, 0, 200000}}, 100000, {}, 100000},
        {"stopped at once", 200000, 204800, {{0, 0, 200000}}, 0, {}, 0},
        {"bad sector", 200000, 204800, {{0, 0, 200000}}, kAll, {200}, 102400},
        // The image ends inside the stretch, or in its last sector: the read
        // path fills and notes.
        {"truncated image", 200000, 150000, {{0, 0, 200000}}, kAll, {}, 0},
        {"image ends in a sector", 200000, 200000, {{0, 0, 200000}}, kAll, {}, 0},
        {"no stretches", 70000, 70000, {}, kAll, {}, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        for (const Target target : {Target::kFile, Target::kPipe}) {
            SCOPED_TRACE(std::string(c.name) + (target == Target::kPipe ? " (pipe)" : " (file)"));
            const std::string image = dir.File("image.bin");
            ASSERT_TRUE(WriteFileBytes(image, Numbered(c.imageSize)));
            int error = 0;
            auto file = FdBackend::Open(image, error);
            ASSERT_TRUE(file);
            auto flaky = std::make_unique<FlakyFileBackend>(std::move(file), c.sendBudget, c.badSectors);
            FlakyFileBackend* backend = flaky.get();
            RecordingContext rc;
            DataSource source(rc.context);
            ASSERT_TRUE(source.OpenWithBackend(std::move(flaky)));
            LinearVolume volume;
            volume.SetContext(rc.context);
            volume.SetDataSource(&source);
            volume.stretches = c.stretches;
            FileItem item{};
            item.size = c.itemSize;

            const Outcome before = Copy(volume, item, target, dir.File("before"), true);
            EXPECT_EQ(backend->sent, 0u) << "a digest needs the bytes here";
            const Outcome kernel = Copy(volume, item, target, dir.File("kernel"), false);
            EXPECT_EQ(backend->sent, c.expectSent);
            EXPECT_EQ(kernel.status, before.status);
            EXPECT_EQ(kernel.written, before.written);
            EXPECT_EQ(kernel.unreadable, before.unreadable);
            EXPECT_TRUE(kernel.bytes == before.bytes);
        }
    }
}

// Every file of a tool-made volume, fragmented, sparse, preallocated or
// held inline, copied both ways; also from the image cut short.
void ExpectSameBothWays(Volume& volume, const std::map<std::string, FileItem*>& items, const TempDir& dir,
                        const std::string& mustGoThroughKernel) {
    bool sawKernel = false;
    for (const auto& [path, item] : items) {
        if (item->IsDirectory()) continue;
        SCOPED_TRACE(path);
        ClusterRunList runs;
        std::vector<PlainStretch> stretches;
        if (volume.GetItemRuns(item, runs)) volume.ListPlainStretches(item, runs, stretches);
        if (path == mustGoThroughKernel) sawKernel = !stretches.empty();
        for (const Target target : {Target::kFile, Target::kPipe}) {
            const Outcome before = Copy(volume, *item, target, dir.File("before"), true);
            const Outcome kernel = Copy(volume, *item, target, dir.File("kernel"), false);
            EXPECT_EQ(kernel.status, before.status);
            EXPECT_EQ(kernel.written, before.written);
            EXPECT_EQ(kernel.unreadable, before.unreadable);
            EXPECT_TRUE(kernel.bytes == before.bytes);
        }
    }
    EXPECT_TRUE(mustGoThroughKernel.empty() || sawKernel) << mustGoThroughKernel << " had no plain stretch";
}

// Items below a folder by "a/b" paths.
void CollectItems(FileItem& folder, const std::string& prefix, std::map<std::string, FileItem*>& out) {
    for (uint32_t i = 0; i < folder.childCount; ++i) {
        FileItem& child = folder.children[i];
        out[prefix + child.name] = &child;
        CollectItems(child, prefix + child.name + "/", out);
    }
}

TEST(KernelCopy, Ext2FilesGiveTheSameBytesAsTheReadPath) {
    for (const char* tool : {"mke2fs", "truncate"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    const std::string tree = dir.File("tree");
    // 1 KiB blocks put indirect blocks between a large file's data blocks.
    ASSERT_EQ(RunShell("set -e; mkdir -p '" + tree + "'; cd '" + tree + "';"
                       "head -c 900000 /dev/urandom > big; head -c 70001 /dev/urandom > odd; echo x > tiny;"
                       "truncate -s 400000 holes; printf abc | dd of=holes bs=1 seek=150000 conv=notrunc status=none;"
                       "head -c 90000 /dev/urandom | dd of=holes bs=1 seek=300000 conv=notrunc status=none"),
              0);
    for (const std::string options : {"-t ext2 -b 1024", "-t ext4 -O inline_data -b 4096"}) {
        SCOPED_TRACE(options);
        const std::string image = dir.File("v.img");
        ASSERT_EQ(RunShell("rm -f '" + image + "' && mke2fs -q " + options + " -d '" + tree + "' -F '" + image +
                           "' 4M >/dev/null 2>&1"),
                  0);
        {
            auto f = LoadExt2(image);
            ASSERT_TRUE(f->loaded);
            ExpectSameBothWays(*f->volume, ItemsByPath(*f->volume->RootItem()), dir, "big");
        }
        // Cut through the data: the tail of some files lies past the end.
        const std::string cut = dir.File("cut.img");
        ASSERT_EQ(RunShell("head -c 1500000 '" + image + "' > '" + cut + "'"), 0);
        auto f = LoadExt2(cut);
        ASSERT_TRUE(f->loaded);
        ExpectSameBothWays(*f->volume, ItemsByPath(*f->volume->RootItem()), dir, "");
    }
}

// Bytes past the initialized length, holes, and a run outside the volume
// that fails every read reaching it, over clusters that are not zeros.
TEST(KernelCopy, NtfsDataPastItsWrittenLengthAndBadRunsGoTheReadPath) {
    NtfsImage image;
    constexpr uint16_t kInUse = 1;
    const auto file = [](const char16_t* name, const Bytes& data) {
        return MakeRecord(kInUse, {StandardInformation(), FileNameAttribute(5, name), data});
    };
    image.SetRecord(6, file(u"part", NonResidentData(EncodeRuns({{100, 20}, {kHole, 10}, {200, 60}}), 360000, 0, 300000)));
    image.SetRecord(7, file(u"bad", NonResidentData(EncodeRuns({{300, 20}, {5000, 5}}), 100000)));
    image.data.emplace_back(100 * 4096, Numbered(400 * 4096));
    TempDir dir;
    const std::string path = dir.File("built.img");
    ASSERT_TRUE(WriteFileBytes(path, image.Build()));
    auto l = LoadNtfs(path);
    ASSERT_TRUE(l->loaded);
    std::map<std::string, FileItem*> items;
    CollectItems(*l->volume.RootItem(), "", items);
    ExpectSameBothWays(l->volume, items, dir, "part");
    const Outcome bad = Copy(l->volume, *items.at("bad"), Target::kFile, dir.File("bad"), false);
    EXPECT_EQ(bad.status, CopyStatus::kReadFailed);
    EXPECT_EQ(bad.written, 65536u);
}

TEST(KernelCopy, NtfsFilesGiveTheSameBytesAsTheReadPath) {
    DELVORA_REQUIRE_TOOL("mkntfs");
    DELVORA_REQUIRE_TOOL("ntfs-3g");
    DELVORA_REQUIRE_TOOL("ntfsfallocate");
    DELVORA_REQUIRE_TOOL("fusermount");
    TempDir dir;
    const std::string image = dir.File("v.img");
    ASSERT_EQ(RunShell("truncate -s 16M '" + image + "' && mkntfs -Q -F -s 512 -c 4096 '" + image + "' >/dev/null"), 0);
    const std::string mnt = dir.File("mnt");
    if (RunShell("mkdir -p '" + mnt + "' && timeout 20 ntfs-3g '" + image + "' '" + mnt + "'") != 0)
        GTEST_SKIP() << "no FUSE mount here";
    // Two files appended in turn interleave their clusters; a sparse file
    // with holes, a small resident one; the filler leaves free clusters
    // that are not zeros for the preallocation.
    const int made = RunShell("cd '" + mnt + "' && head -c 6000000 /dev/urandom > filler && for i in $(seq 0 11); do head -c 65536 /dev/urandom >> frag.bin &&"
                              " head -c 40000 /dev/urandom >> other.bin || exit 1; done && echo hi > small.txt &&"
                              " truncate -s 3M sparse.bin && head -c 100000 /dev/urandom |"
                              " dd of=sparse.bin bs=1 seek=1000000 conv=notrunc status=none && head -c 20000 /dev/urandom > pre.bin && rm filler");
    ASSERT_EQ(RunShell("fusermount -u '" + mnt + "' || umount '" + mnt + "'"), 0);
    ASSERT_EQ(made, 0);
    // Allocated beyond what was written: the rest reads as zeros.
    ASSERT_EQ(RunShell("ntfsfallocate -l 300000 '" + image + "' pre.bin >/dev/null 2>&1"), 0);
    auto l = LoadNtfs(image);
    ASSERT_TRUE(l->loaded);
    std::map<std::string, FileItem*> items;
    CollectItems(*l->volume.RootItem(), "", items);
    ClusterRunList runs;
    ASSERT_TRUE(l->volume.GetItemRuns(items.at("frag.bin"), runs));
    EXPECT_GT(runs.Size(), 1u) << "the file did not fragment";
    ExpectSameBothWays(l->volume, items, dir, "frag.bin");
}

}  // namespace
}  // namespace delvora::test
