// The read-ahead window and the hinted-range cache against a fake
// connection that completes a request when it is waited for (or asked
// whether it landed), fails chosen sectors as a bad disk does, and checks
// that no buffer is handed out again while a request still writes into it.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "common/bytes.h"
#include "disk/prefetch_cache.h"
#include "disk/read_ahead.h"
#include "support/memory_backend.h"

namespace delvora {
namespace {

using PieceState = ReadAhead::PieceState;

class FakeConnection final : public ReadAhead::Transport {
public:
    FakeConnection(const std::vector<uint8_t>& disk, std::set<uint64_t> bad) : m_disk(disk, std::move(bad)) {}
    int64_t Start(uint8_t* buffer, uint32_t length, uint64_t offset) override {
        for (const auto& [id, r] : m_pending)
            EXPECT_TRUE(buffer + length <= r.buffer || r.buffer + r.length <= buffer) << "buffer of request " << id;
        m_pending[++m_nLastId] = {buffer, length, offset};
        ++starts;
        fetched += length;
        return m_nLastId;
    }
    PieceState Wait(int64_t id, ReadAhead::TimePoint) override {
        if (waitsLeft-- == 0) return PieceState::Lost;
        const auto it = m_pending.find(id);
        if (it == m_pending.end()) {
            ADD_FAILURE() << "waited for request " << id << " twice or never started";
            return PieceState::Failed;
        }
        const Request r = it->second;
        m_pending.erase(it);
        return m_disk.ReadAt(r.buffer, r.length, r.offset) == 0 ? PieceState::Done : PieceState::Failed;
    }
    bool Landed(int64_t id, PieceState& state) override {
        if (!landing) return false;
        const auto it = m_pending.find(id);
        if (it == m_pending.end()) return false;
        const Request r = it->second;
        m_pending.erase(it);
        state = m_disk.ReadAt(r.buffer, r.length, r.offset) == 0 ? PieceState::Done : PieceState::Failed;
        return true;
    }
    size_t Pending() const { return m_pending.size(); }
    bool landing = true;  // false: every request stays on its way until waited for
    int starts = 0;
    uint64_t fetched = 0;
    int waitsLeft = -1;  // negative: the connection never drops

private:
    struct Request {
        uint8_t* buffer;
        uint32_t length;
        uint64_t offset;
    };
    test::MemoryBackend m_disk;
    std::map<int64_t, Request> m_pending;
    int64_t m_nLastId = 0;
};

// What NbdRemoteDisk does with each answer: a read the window does not hold
// goes to the connection directly.
bool ReadThrough(ReadAhead& ahead, FakeConnection& c, uint64_t offset, uint32_t count, uint8_t* out) {
    const auto deadline = ReadAhead::TimePoint::max();
    switch (ahead.Read(c, offset, count, out, deadline)) {
        case ReadAhead::Result::Served: return true;
        case ReadAhead::Result::Lost: return false;
        case ReadAhead::Result::NotHeld: break;
    }
    return c.Wait(c.Start(out, count, offset), deadline) == PieceState::Done;
}

struct Step {
    uint64_t offset;
    uint32_t count;
};

std::vector<Step> Forward(uint64_t from, uint64_t to, uint32_t step) {
    std::vector<Step> steps;
    for (uint64_t at = from; at < to; at += step) steps.push_back({at, static_cast<uint32_t>(std::min<uint64_t>(step, to - at))});
    return steps;
}

TEST(ReadAhead, ServesWhatTheDiskHoldsWhateverTheOrder) {
    // Every word holds its own offset, so a piece copied from the wrong place shows.
    constexpr uint64_t kSize = 7 * ReadAhead::kPieceBytes + 4608;
    std::vector<uint8_t> disk(kSize);
    for (uint64_t at = 0; at + 4 <= kSize; at += 4) PutLe32(disk.data() + at, static_cast<uint32_t>(at));
    std::mt19937 random(7);
    std::vector<Step> scattered;
    for (int i = 0; i < 200; ++i) scattered.push_back({random() % (kSize / 512 - 8) * 512, 4096});
    std::vector<Step> backAndForth = Forward(0, 1500000, 65536);
    for (const Step& s : Forward(4096, 3000000, 32768)) backAndForth.push_back(s);
    std::vector<Step> skipping = Forward(0, 196608, 65536);
    for (const Step& s : Forward(2621440, kSize, 65536)) skipping.push_back(s);
    const uint64_t bad = 3 * ReadAhead::kPieceBytes + 1024;  // one failing sector

    const struct {
        const char* name;
        std::vector<Step> steps;
        std::set<uint64_t> bad;
        int maxStarts;  // requests the whole pattern may cost
    } cases[] = {
        // The window grows from 128 KiB pieces to whole ones.
        {"64 KiB steps to the odd end", Forward(0, kSize, 65536), {}, 1 + 7 + 10},
        {"sector by sector", Forward(0, 2 * ReadAhead::kPieceBytes, 512), {}, 256 + 14},
        {"scattered reads fetch nothing ahead", scattered, {}, 200},
        {"forward, back to the start, forward", backAndForth, {}, 50},
        {"skipping forward past a short run", skipping, {}, 20},
        {"a failing sector inside the window", Forward(0, kSize, 65536), {bad / 512}, 36},
    };
    for (const auto& c : cases) {
        FakeConnection connection(disk, c.bad);
        ReadAhead ahead;
        ahead.Reset(kSize);
        for (const Step& s : c.steps) {
            std::vector<uint8_t> out(s.count, 0xEE);
            const bool touchesBad = !c.bad.empty() && s.offset <= bad && bad < s.offset + s.count;
            ASSERT_EQ(ReadThrough(ahead, connection, s.offset, s.count, out.data()), !touchesBad)
                << c.name << " at " << s.offset;
            if (!touchesBad) {
                ASSERT_EQ(0, std::memcmp(out.data(), disk.data() + s.offset, s.count)) << c.name << " at " << s.offset;
            }
        }
        EXPECT_LE(connection.starts, c.maxStarts) << c.name;
    }
}

TEST(ReadAhead, ShortRunsThenJumpsFetchLittleMoreThanTheyRead) {
    // A file system's tables: a megabyte read forward, then the next group
    // far away. The bytes fetched past each run are not used.
    constexpr uint64_t kGroup = 4 * ReadAhead::kWindowBytes;
    std::vector<uint8_t> disk(8 * kGroup, 0x33);
    FakeConnection connection(disk, {});
    ReadAhead ahead;
    ahead.Reset(disk.size());
    std::vector<uint8_t> out(65536);
    uint64_t read = 0;
    for (uint64_t group = 0; group < 8; ++group) {
        for (const Step& s : Forward(group * kGroup, group * kGroup + (1u << 20), 65536)) {
            ASSERT_TRUE(ReadThrough(ahead, connection, s.offset, s.count, out.data()));
            read += s.count;
        }
    }
    EXPECT_LE(connection.fetched, 3 * read);
}

TEST(ReadAhead, ALostConnectionIsToldAndNothingIsServedAfterIt) {
    std::vector<uint8_t> disk(3 * ReadAhead::kPieceBytes, 0x5A);
    FakeConnection connection(disk, {});
    ReadAhead ahead;
    ahead.Reset(disk.size());
    std::vector<uint8_t> out(65536);
    int lostAt = -1;
    connection.waitsLeft = 2;  // the window is open by then
    for (int i = 0; i < 48 && lostAt < 0; ++i) {
        const ReadAhead::Result r =
            ahead.Read(connection, uint64_t{65536} * i, 65536, out.data(), ReadAhead::TimePoint::max());
        if (r == ReadAhead::Result::Lost) lostAt = i;
        if (r == ReadAhead::Result::NotHeld) {
            ASSERT_EQ(connection.Wait(connection.Start(out.data(), 65536, uint64_t{65536} * i), {}), PieceState::Done);
        }
    }
    EXPECT_GT(lostAt, 2);
    EXPECT_GT(connection.Pending(), 0u) << "pieces were in flight when it dropped";
    // The caller closes the connection; a fresh one starts with no window.
    ahead.Reset(disk.size());
    connection.waitsLeft = -1;
    EXPECT_EQ(ahead.Read(connection, 0, 512, out.data(), ReadAhead::TimePoint::max()), ReadAhead::Result::NotHeld);
}

// What NbdRemoteDisk does with the cache's answers.
bool ReadHinted(PrefetchCache& cache, FakeConnection& c, uint64_t offset, uint32_t count, uint8_t* out) {
    const auto deadline = ReadAhead::TimePoint::max();
    switch (cache.Read(c, offset, count, out, deadline)) {
        case ReadAhead::Result::Served: return true;
        case ReadAhead::Result::Lost: return false;
        case ReadAhead::Result::NotHeld: break;
    }
    return c.Wait(c.Start(out, count, offset), deadline) == PieceState::Done;
}

TEST(PrefetchCache, HintedReadsGiveTheSameBytesAndFailuresAsDirectOnes) {
    constexpr uint64_t kSize = 64u << 20;
    std::vector<uint8_t> disk(kSize);
    for (uint64_t at = 0; at + 4 <= kSize; at += 4) PutLe32(disk.data() + at, static_cast<uint32_t>(at * 2654435761u));
    const uint64_t bad = 5 * 4096 + 1024;  // a failing sector inside the fifth folder
    std::vector<Step> folders;              // scattered, as a tree's folders lie
    for (uint64_t i = 0; i < 40; ++i) folders.push_back({i * 1048576 + (i % 3) * 4096, static_cast<uint32_t>(4096 * (1 + i % 4))});
    folders[5].offset = 5 * 4096;

    const struct {
        const char* name;
        std::vector<Step> hints;
        std::vector<Step> reads;
        int maxDirect;  // reads that may go to the connection themselves
    } cases[] = {
        {"hinted in reading order", folders, folders, 1},
        {"read in the opposite order", folders, {folders.rbegin(), folders.rend()}, 1},
        {"parts of hinted ranges", folders, {{folders[3].offset + 512, 1024}, {folders[3].offset, 512}}, 0},
        {"reads never hinted", {}, folders, 40},
        {"hints never read, then other reads", folders, Forward(48u << 20, (48u << 20) + 65536, 4096), 16},
        {"a hint past the end of the device", {{kSize - 4096, 8192}}, {{kSize - 4096, 4096}}, 1},
        {"a hint larger than a range may be", {{0, PrefetchCache::kMaxRangeBytes + 512}}, {{0, 4096}}, 1},
    };
    for (const auto& c : cases) {
        FakeConnection connection(disk, {bad / 512});
        PrefetchCache cache;
        cache.Reset(kSize);
        for (const Step& h : c.hints) cache.Hint(connection, h.offset, h.count);
        const int hinted = connection.starts;
        for (const Step& s : c.reads) {
            std::vector<uint8_t> out(s.count, 0xEE);
            const bool touchesBad = s.offset <= bad && bad < s.offset + s.count;
            // A failed hint is dropped: the direct read reports the failure.
            ASSERT_EQ(ReadHinted(cache, connection, s.offset, s.count, out.data()), !touchesBad)
                << c.name << " at " << s.offset;
            if (!touchesBad) {
                ASSERT_EQ(0, std::memcmp(out.data(), disk.data() + s.offset, s.count)) << c.name;
            }
        }
        EXPECT_LE(connection.starts - hinted, c.maxDirect) << c.name;
        EXPECT_LE(cache.HeldBytes(), PrefetchCache::kMaxBytes) << c.name;
        EXPECT_TRUE(cache.Drain(connection, ReadAhead::TimePoint::max()));
        EXPECT_EQ(connection.Pending(), 0u) << c.name;
    }
}

TEST(PrefetchCache, HoldsNoMoreThanItsCapAndMakesRoomOnlyFromLandedRanges) {
    std::vector<uint8_t> disk(64u << 20, 0x44);
    std::vector<uint8_t> out(1u << 20);
    for (const bool landing : {true, false}) {
        FakeConnection connection(disk, {});
        connection.landing = landing;
        PrefetchCache cache;
        cache.Reset(disk.size());
        const uint32_t range = 1u << 20;
        const uint64_t wanted = 3 * PrefetchCache::kMaxBytes / range;
        for (uint64_t i = 0; i < wanted; ++i) cache.Hint(connection, i * range, range);
        EXPECT_LE(connection.fetched, (landing ? 3 : 1) * PrefetchCache::kMaxBytes);
        EXPECT_LE(cache.HeldBytes(), PrefetchCache::kMaxBytes);
        EXPECT_LE(cache.Ranges(), PrefetchCache::kMaxRanges);
        if (!landing) {
            // Nothing landed, so nothing was dropped: reading frees room.
            ASSERT_TRUE(ReadHinted(cache, connection, 0, range, out.data()));
            cache.Hint(connection, (wanted + 1) * range, range);
            EXPECT_EQ(cache.HeldBytes(), PrefetchCache::kMaxBytes);
        }
        ASSERT_TRUE(cache.Drain(connection, ReadAhead::TimePoint::max()));
        EXPECT_EQ(connection.Pending(), 0u);
    }
}

TEST(PrefetchCache, ALostConnectionIsToldWhenAHintedRangeIsWaitedFor) {
    std::vector<uint8_t> disk(1u << 20, 0x5A);
    FakeConnection connection(disk, {});
    connection.waitsLeft = 0;
    PrefetchCache cache;
    cache.Reset(disk.size());
    cache.Hint(connection, 4096, 4096);
    std::vector<uint8_t> out(4096);
    EXPECT_EQ(cache.Read(connection, 4096, 4096, out.data(), ReadAhead::TimePoint::max()), ReadAhead::Result::Lost);
}

}  // namespace
}  // namespace delvora
