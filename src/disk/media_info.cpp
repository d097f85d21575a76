#include "disk/media_info.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "disk/device_map.h"

namespace delvora {

const char* PartitionSchemeOf(std::span<const uint8_t> sector0) {
    if (Le16(sector0, 510) != 0xAA55) return "none";
    bool any = false;
    for (size_t i = 0; i < 4; ++i) {
        const size_t entry = 446 + 16 * i;
        const uint8_t status = Le8(sector0, entry);
        const uint8_t type = Le8(sector0, entry + 4);
        // A boot sector's code sits where a table would: status bytes other
        // than 0x00/0x80 say this is not one.
        if (status != 0x00 && status != 0x80) return "none";
        if (type == 0) continue;
        if (type == 0xEE) return "gpt";
        any = any || Le32(sector0, entry + 12) != 0;
    }
    return any ? "mbr" : "none";
}

bool DescribeSource(const CoreContext& context, const std::string& name, ContainerInfo& info,
                    std::string& scheme, std::string& error) {
    const std::string path = DevicesOf(context).Resolve(name);
    if (path.empty()) {
        error = "no such device: " + name;
        return false;
    }
    std::unique_ptr<BlockBackend> backend = OpenImageFile(path, error, &info);
    if (!backend) return false;
    std::vector<uint8_t> sector(512);
    scheme = backend->Size() >= sector.size() && backend->ReadAt(sector.data(), sector.size(), 0) == 0
                 ? PartitionSchemeOf(sector)
                 : "none";
    if (info.mediaSize == 0) info.mediaSize = backend->Size();
    return true;
}

namespace {

// Reads one block; a failure is retried piece by piece, and the pieces that
// still fail are zero-filled and noted.
void ReadBlock(BlockBackend& backend, uint8_t* buffer, size_t count, uint64_t offset,
               std::vector<ByteRange>& unreadable) {
    if (backend.ReadAt(buffer, count, offset) == 0) return;
    constexpr size_t kPiece = 32768;
    for (size_t done = 0; done < count; done += kPiece) {
        const size_t piece = std::min(kPiece, count - done);
        if (backend.ReadAt(buffer + done, piece, offset + done) == 0) continue;
        std::memset(buffer + done, 0, piece);
        if (!unreadable.empty() && unreadable.back().offset + unreadable.back().length == offset + done)
            unreadable.back().length += piece;
        else
            unreadable.push_back({offset + done, piece});
    }
}

}  // namespace

bool HashMedia(BlockBackend& backend, unsigned kinds, Digests& digests, std::vector<ByteRange>& unreadable,
               std::string& error, const std::function<bool(uint64_t, uint64_t)>& progress) {
    unreadable.clear();
    const uint64_t total = backend.Size();
    constexpr size_t kBlock = size_t{4} << 20;
    constexpr size_t kSlots = 3;
    try {
        // One thread per digest hashes the blocks the reader (which, for a
        // container, also decompresses) has filled: the digests and the
        // reading share the cores instead of taking turns.
        std::vector<unsigned> each;
        for (unsigned kind : {unsigned{kHashMd5}, unsigned{kHashSha1}, unsigned{kHashSha256}})
            if (kinds & kind) each.push_back(kind);
        struct Slot {
            std::vector<uint8_t> bytes = std::vector<uint8_t>(kBlock);
            uint64_t block = UINT64_MAX;  // which block it holds
            size_t count = 0;
            size_t pending = 0;  // hashers yet to take it
        };
        std::vector<Slot> slots(kSlots);
        std::mutex mutex;
        std::condition_variable changed;
        uint64_t blocks = UINT64_MAX;  // set once the reader is done
        std::vector<std::unique_ptr<Hasher>> hashers;
        for (unsigned kind : each) hashers.push_back(std::make_unique<Hasher>(kind));
        std::vector<std::thread> workers;
        for (size_t h = 0; h < hashers.size(); ++h) {
            workers.emplace_back([&, h] {
                // Ends once every block the reader filled has been taken.
                for (uint64_t block = 0;; ++block) {
                    Slot& slot = slots[block % kSlots];
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return slot.block == block || block >= blocks; });
                    if (slot.block != block) return;
                    lock.unlock();
                    hashers[h]->Update(std::span<const uint8_t>(slot.bytes.data(), slot.count));
                    lock.lock();
                    if (--slot.pending == 0) changed.notify_all();
                }
            });
        }
        bool ok = true;
        uint64_t done = 0, block = 0;
        // Bounded by the media's size: every round advances by one block.
        for (; done < total; ++block) {
            Slot& slot = slots[block % kSlots];
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return slot.pending == 0; });
            }
            const size_t count = static_cast<size_t>(std::min<uint64_t>(kBlock, total - done));
            ReadBlock(backend, slot.bytes.data(), count, done, unreadable);
            {
                std::lock_guard lock(mutex);
                slot.count = count;
                slot.pending = workers.size();
                slot.block = block;
            }
            changed.notify_all();
            done += count;
            if (progress && !progress(done, total)) {
                error = "stopped";
                ok = false;
                ++block;
                break;
            }
        }
        {
            std::lock_guard lock(mutex);
            blocks = block;
        }
        changed.notify_all();
        for (auto& worker : workers) worker.join();
        if (!ok) return false;
        digests = Digests{};
        for (auto& hasher : hashers) {
            const Digests one = hasher->Finish();
            if (!one.md5.empty()) digests.md5 = one.md5;
            if (!one.sha1.empty()) digests.sha1 = one.sha1;
            if (!one.sha256.empty()) digests.sha256 = one.sha256;
        }
        return true;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return false;
    }
}

}  // namespace delvora
