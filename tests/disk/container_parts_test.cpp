// The pieces of the container readers that work without a library: the
// QCOW header check, split-part discovery and the one hashing pass.
#include <gtest/gtest.h>

#include <fstream>

#include "common/bytes.h"
#include "disk/container_readers.h"
#include "disk/media_info.h"
#include "support/memory_backend.h"
#include "support/recorders.h"

namespace delvora {
namespace {

void PutBe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void PutBe64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    PutBe32(b, at, static_cast<uint32_t>(v >> 32));
    PutBe32(b, at + 4, static_cast<uint32_t>(v));
}

// A version 3 header as qemu-img writes it for a 1 GiB disk (64 KiB
// clusters, one L1 entry per 512 MiB), then one field at a time made hostile.
TEST(QcowHeader, EachImplausibleFieldIsRefusedWithItsReason) {
    std::vector<uint8_t> good(512);
    PutBe32(good, 0, 0x514649FB);
    PutBe32(good, 4, 3);
    PutBe32(good, 20, 16);
    PutBe64(good, 24, 1ull << 30);
    PutBe32(good, 36, 2);
    PutBe64(good, 40, 0x30000);
    const uint64_t fileSize = 0x40000;
    std::string error;
    ASSERT_TRUE(CheckQcowHeader(good, fileSize, error)) << error;

    struct Case {
        size_t at;
        int width;
        uint64_t value;
        const char* reason;
    };
    const Case cases[] = {
        {4, 4, 4, "version 4"},
        {20, 4, 8, "cluster size"},
        {20, 4, 40, "cluster size"},            // a shift of 40 bits would allocate terabytes
        {24, 8, 1ull << 60, "media size"},
        {36, 4, 1, "L1 table too small"},        // 1 GiB needs two entries
        {36, 4, 0x7FFFFFFF, "absurdly large"},   // 16 GiB of table
        {40, 8, fileSize - 8, "outside the file"},
        {40, 8, UINT64_MAX - 4, "outside the file"},  // offset + size would wrap
        {8, 8, fileSize + 1, "backing file name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        std::vector<uint8_t> bad = good;
        if (c.width == 4) PutBe32(bad, c.at, static_cast<uint32_t>(c.value));
        else PutBe64(bad, c.at, c.value);
        if (c.at == 8) PutBe32(bad, 16, 16);
        error.clear();
        EXPECT_FALSE(CheckQcowHeader(bad, fileSize, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    EXPECT_FALSE(CheckQcowHeader(std::span(good).first(40), fileSize, error));
}

void MakeFile(const std::string& path, size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

TEST(SplitRawParts, FindsTheSetInNameOrderAndChecksSizes) {
    test::TempDir dir;
    struct Case {
        std::vector<std::pair<const char*, size_t>> files;
        const char* first;
        size_t parts;       // 0: refused
        const char* reason;
    };
    const Case cases[] = {
        {{{"a.001", 10}, {"a.002", 10}, {"a.003", 4}}, "a.001", 3, ""},
        {{{"a.000", 10}, {"a.001", 10}}, "a.000", 2, ""},
        {{{"a.aa", 10}, {"a.ab", 10}, {"a.ac", 1}}, "a.aa", 3, ""},
        {{{"a.01", 10}}, "a.01", 1, ""},                          // a set of one is a raw image
        {{{"a.002", 10}, {"a.003", 10}}, "a.002", 1, ""},          // not a first part
        {{{"a.img", 10}, {"a.imh", 10}}, "a.img", 1, ""},
        {{{"a.001", 10}, {"a.002", 10}, {"a.004", 10}}, "a.001", 0, "a.003 is missing"},
        {{{"a.001", 10}, {"a.002", 7}, {"a.003", 7}}, "a.001", 0, "a.002 holds 7 bytes"},
        {{{"a.001", 10}, {"a.002", 12}}, "a.001", 0, "a.002 holds 12 bytes"},
        {{{"a.001", 10}, {"a.002", 0}}, "a.001", 0, "a.002 holds 0 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + std::string(" ") + c.reason);
        test::RunShell("rm -f " + dir.Path() + "/*");
        for (const auto& [name, size] : c.files) MakeFile(dir.File(name), size);
        std::vector<std::string> parts;
        std::string error;
        EXPECT_EQ(SplitRawParts(dir.File(c.first), parts, error), c.parts != 0);
        if (c.parts) EXPECT_EQ(parts.size(), c.parts);
        else EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }

    // Two-letter suffixes carry on past "az" in the same width.
    test::RunShell("rm -f " + dir.Path() + "/*");
    std::vector<std::string> names;
    for (char a = 'a'; a <= 'b'; ++a)
        for (char b = 'a'; b <= 'z'; ++b) names.push_back(std::string("d.") + a + b);
    for (const auto& name : names) MakeFile(dir.File(name), 512);
    std::vector<std::string> parts;
    std::string error;
    ASSERT_TRUE(SplitRawParts(dir.File("d.aa"), parts, error)) << error;
    ASSERT_EQ(parts.size(), names.size());
    EXPECT_EQ(parts[26], dir.File("d.ba"));
    auto backend = OpenSplitRawImage(parts, error);
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->Size(), 512u * names.size());
    // A read across a part boundary comes from both parts.
    std::vector<uint8_t> bytes(1024);
    EXPECT_EQ(backend->ReadAt(bytes.data(), bytes.size(), 512 * 25 + 256), 0);
    EXPECT_EQ(backend->ReadAt(bytes.data(), 1, backend->Size()), EIO);
}

// The faulty test disk with its size told, as every image backend tells it.
class SizedDisk final : public BlockBackend {
public:
    SizedDisk(std::vector<uint8_t> bytes, std::set<uint64_t> bad = {})
        : m_nSize(bytes.size()), m_disk(std::move(bytes), std::move(bad)) {}
    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) override { return m_disk.ReadAt(buffer, count, offset); }
    uint64_t Size() const override { return m_nSize; }

private:
    uint64_t m_nSize;
    test::MemoryBackend m_disk;
};

// Bad sectors are hashed as zeros and named, neighbours joined, so the
// digests never silently vouch for bytes the medium did not give.
TEST(HashMedia, UnreadablePiecesAreNamedAndHashedAsZeros) {
    const size_t sectors = 20000;  // more than two 4 MiB blocks
    std::vector<uint8_t> bytes = test::NumberedSectors(sectors);
    // Bad: sector 100 (one 32 KiB piece), sectors 9000..9100 (spanning pieces).
    std::set<uint64_t> bad{100};
    for (uint64_t s = 9000; s <= 9100; ++s) bad.insert(s);
    SizedDisk faulty(bytes, bad);
    Digests digests;
    std::vector<ByteRange> unreadable;
    std::string error;
    ASSERT_TRUE(HashMedia(faulty, kHashMd5 | kHashSha1, digests, unreadable, error)) << error;
    ASSERT_EQ(unreadable.size(), 2u);
    EXPECT_EQ(unreadable[0].offset, 32768u);  // the 32 KiB piece holding sector 100
    EXPECT_EQ(unreadable[0].length, 32768u);
    EXPECT_EQ(unreadable[1].offset, 9000u * 512 / 32768 * 32768);
    EXPECT_EQ(unreadable[1].offset + unreadable[1].length, (9100u * 512 / 32768 + 1) * 32768);

    std::vector<uint8_t> expected = bytes;
    for (const auto& range : unreadable) std::fill_n(expected.begin() + range.offset, range.length, 0);
    Hasher hasher(kHashMd5 | kHashSha1);
    hasher.Update(expected);
    const Digests want = hasher.Finish();
    EXPECT_EQ(digests.md5, want.md5);
    EXPECT_EQ(digests.sha1, want.sha1);

    SizedDisk sound(bytes);
    ASSERT_TRUE(HashMedia(sound, kHashSha1, digests, unreadable, error));
    EXPECT_TRUE(unreadable.empty());
    EXPECT_TRUE(digests.md5.empty());
    hasher.Update(bytes);
    EXPECT_EQ(digests.sha1, hasher.Finish().sha1);
}

}  // namespace
}  // namespace delvora
