// What a read had to fill: the range set, and the device reporting exactly
// the bytes it could not read to the recorder of the calling thread.
#include <gtest/gtest.h>

#include "disk/disk_device.h"
#include "disk/filled_ranges.h"
#include "support/memory_backend.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::MemoryBackend;
using test::NumberedSectors;

TEST(ByteRangeSet, JoinsTouchingAndOverlappingRangesInAnyOrder) {
    struct Case {
        std::vector<std::pair<uint64_t, uint64_t>> adds;  // offset, count
        const char* text;
        uint64_t bytes;
    };
    const Case cases[] = {
        {{}, "", 0},
        {{{4096, 4096}, {65536, 512}}, "4096-8191;65536-66047", 4608},
        {{{0, 512}, {512, 512}}, "0-1023", 1024},                 // adjacent
        {{{1024, 512}, {0, 512}, {512, 512}}, "0-1535", 1536},    // out of order, filling a gap
        {{{100, 50}, {120, 100}}, "100-219", 120},                // overlapping
        {{{0, 10}, {20, 10}, {5, 20}}, "0-29", 30},               // one joining two
        {{{500, 0}}, "", 0},                                      // nothing
        {{{UINT64_MAX - 9, 100}}, "18446744073709551606-18446744073709551615", 10},  // cut at the top
    };
    for (const Case& c : cases) {
        ByteRangeSet set;
        for (const auto& [offset, count] : c.adds) set.Add(offset, count);
        EXPECT_EQ(set.Text(), c.text);
        EXPECT_EQ(set.TotalBytes(), c.bytes) << c.text;
    }
    ByteRangeSet set;
    set.Add(4096, 4096);
    EXPECT_TRUE(set.Overlaps(8191, 1));
    EXPECT_TRUE(set.Overlaps(0, 4097));
    EXPECT_FALSE(set.Overlaps(0, 4096));
    EXPECT_FALSE(set.Overlaps(8192, 100));
}

TEST(ByteRangeSet, ManyRangesStayBoundedAndCoverEveryByte) {
    ByteRangeSet set;
    // Every other sector of a large medium.
    for (uint64_t n = 0; n < 2 * ByteRangeSet::kMaxRanges + 10; ++n) set.Add(n * 1024, 512);
    EXPECT_LE(set.Ranges().size(), ByteRangeSet::kMaxRanges);
    for (uint64_t n = 0; n < 2 * ByteRangeSet::kMaxRanges + 10; n += 997) EXPECT_TRUE(set.Overlaps(n * 1024, 512)) << n;
}

TEST(FillRecorder, DeviceReportsExactlyTheSectorsItFilledToTheInnermostRecorder) {
    test::RecordingContext rc;
    DiskDevice device(rc.context);
    device.SetName("PHYSICALDRIVE0");
    ASSERT_TRUE(device.OpenWithBackend(std::make_unique<MemoryBackend>(NumberedSectors(16), std::set<uint64_t>{2, 3, 9})));
    ByteRangeSet outer, inner;
    std::vector<uint8_t> buf(8 * 512);
    {
        FillRecorder a(outer);
        ASSERT_EQ(device.Read(buf.data(), 4096, 0), 1);  // sectors 0..7: 2 and 3 fail
        EXPECT_EQ(outer.Text(), "1024-2047");
        {
            FillRecorder b(inner);
            std::vector<uint8_t> one(512, 0xEE);
            EXPECT_EQ(device.Read(one.data(), 512, 9), 0);
            EXPECT_EQ(one, std::vector<uint8_t>(512, 0));
            {
                // The second pass of a read that failed fills with another byte.
                FillByteScope fill(0xFF);
                EXPECT_EQ(device.Read(one.data(), 512, 9), 0);
                EXPECT_EQ(one, std::vector<uint8_t>(512, 0xFF));
            }
            EXPECT_EQ(FillByte(), 0);
        }
        EXPECT_EQ(inner.Text(), "4608-5119");
        // The inner recorder handed its ranges on when it ended.
        EXPECT_EQ(outer.Text(), "1024-2047;4608-5119");
    }
    // Without a recorder nothing is kept, and nothing breaks.
    EXPECT_EQ(device.Read(buf.data(), 512, 2), 0);
    EXPECT_EQ(outer.TotalBytes(), 1536u);
}

}  // namespace
}  // namespace delvora
