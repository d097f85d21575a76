// The quick tests of the residual searches: a real-looking record and inode
// pass, and each field the search relies on, changed one at a time, turns
// them away.
#include <gtest/gtest.h>

#include "common/bytes.h"
#include "fs/ntfs/ntfs_builder.h"
#include "recovery/slot_tests.h"

namespace delvora {
namespace {

using test::Bytes;

TEST(SlotTests, LostRecordNeedsItsSignatureAndStandardInformationFirst) {
    const Bytes good = test::MakeRecord(0, {test::StandardInformation(), test::FileNameAttribute(5, u"a.txt")});
    ASSERT_TRUE(LooksLikeLostRecord(good));
    const struct {
        const char* what;
        size_t offset;
        uint32_t value;
        int width;
    } spoilers[] = {
        {"signature", 0, 0x44414142, 4},           // "BAAD"
        {"update-sequence offset above 255", 4, 0x0130, 2},
        {"first attribute before 0x30", 0x14, 0x28, 2},
        {"first attribute past the slot", 0x14, 1024, 2},
        {"first attribute not $STANDARD_INFORMATION", 0x38, 0x30, 4},
        {"$STANDARD_INFORMATION of another length", 0x3C, 0x50, 4},
    };
    for (const auto& s : spoilers) {
        Bytes bad = good;
        if (s.width == 4) PutLe32(&bad[s.offset], s.value);
        else PutLe16(&bad[s.offset], static_cast<uint16_t>(s.value));
        EXPECT_FALSE(LooksLikeLostRecord(bad)) << s.what;
    }
    EXPECT_FALSE(LooksLikeLostRecord(ByteSpan(good).first(0x3C))) << "a slot cut short";
}

TEST(SlotTests, LostInodeNeedsAFileOwnedByGroupZeroWithBlocksInsideTheVolume) {
    Bytes good(128, 0);
    PutLe16(&good[2], 1000);     // owner
    PutLe32(&good[4], 5000);     // size
    PutLe32(&good[12], 1700000000);  // change time
    PutLe16(&good[26], 1);       // links
    PutLe32(&good[28], 10);      // 512-byte blocks
    PutLe32(&good[40], 300);     // first block
    PutLe32(&good[44], 301);
    const uint64_t blocks = 4096;
    ASSERT_TRUE(LooksLikeLostInode(good, blocks));
    const struct {
        const char* what;
        size_t offset;
        uint32_t value;
        int width;
    } spoilers[] = {
        {"no size", 4, 0, 4},          {"no change time", 12, 0, 4},       {"a file ACL", 104, 7, 4},
        {"a directory ACL", 108, 7, 4}, {"owner 4096", 2, 4096, 2},         {"group 100", 24, 100, 2},
        {"4096 links", 26, 4096, 2},   {"no blocks", 28, 0, 4},            {"no first block", 40, 0, 4},
        {"a pointer past the volume", 44, 4096, 4}, {"the last pointer past it", 96, 5000, 4},
    };
    for (const auto& s : spoilers) {
        Bytes bad = good;
        if (s.width == 4) PutLe32(&bad[s.offset], s.value);
        else PutLe16(&bad[s.offset], static_cast<uint16_t>(s.value));
        EXPECT_FALSE(LooksLikeLostInode(bad, blocks)) << s.what;
    }
}

}  // namespace
}  // namespace delvora
