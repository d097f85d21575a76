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
    const std::string path = context.Devices().Resolve(name);
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

bool HashMedia(BlockBackend& backend, Digests& digests, std::vector<ByteRange>& unreadable, std::string& error,
               const std::function<bool(uint64_t, uint64_t)>& progress) {
    unreadable.clear();
    const uint64_t total = backend.Size();
    constexpr size_t kBlock = size_t{4} << 20;
    try {
        // Two buffers: the next block is read (and, for containers,
        // decompressed) while the last one is hashed on a second thread.
        std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(kBlock), std::vector<uint8_t>(kBlock)};
        Hasher hasher(kHashMd5 | kHashSha1);
        std::mutex mutex;
        std::condition_variable changed;
        size_t filled[2] = {0, 0};  // bytes waiting in each buffer; 0: free
        bool finished = false;
        std::thread worker([&] {
            // Ends when the reader says it is finished and nothing waits.
            for (size_t turn = 0;; turn ^= 1) {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return filled[turn] != 0 || finished; });
                if (filled[turn] == 0) return;
                const size_t count = filled[turn];
                lock.unlock();
                hasher.Update(std::span<const uint8_t>(buffers[turn].data(), count));
                lock.lock();
                filled[turn] = 0;
                changed.notify_all();
            }
        });
        bool ok = true;
        uint64_t done = 0;
        // Bounded by the media's size: every round advances by one block.
        for (size_t turn = 0; done < total; turn ^= 1) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return filled[turn] == 0; });
            }
            const size_t count = static_cast<size_t>(std::min<uint64_t>(kBlock, total - done));
            ReadBlock(backend, buffers[turn].data(), count, done, unreadable);
            {
                std::lock_guard lock(mutex);
                filled[turn] = count;
            }
            changed.notify_all();
            done += count;
            if (progress && !progress(done, total)) {
                error = "stopped";
                ok = false;
                break;
            }
        }
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        changed.notify_all();
        worker.join();
        if (!ok) return false;
        digests = hasher.Finish();
        return true;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return false;
    } catch (const std::system_error& e) {
        error = e.what();
        return false;
    }
}

}  // namespace delvora
