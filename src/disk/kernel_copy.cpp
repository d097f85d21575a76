#include "disk/kernel_copy.h"

#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace delvora {
namespace {

// Both calls move at most about 2 GiB at once.
constexpr uint64_t kPieceBytes = uint64_t{1} << 30;

}  // namespace

uint64_t KernelCopy(int inFd, uint64_t offset, uint64_t count, int outFd) {
    if (inFd < 0 || outFd < 0 || offset > uint64_t(std::numeric_limits<off_t>::max()) ||
        count > uint64_t(std::numeric_limits<off_t>::max()) - offset)
        return 0;
    struct stat in {}, out {};
    if (::fstat(inFd, &in) != 0 || ::fstat(outFd, &out) != 0) return 0;
    // copy_file_range may share or copy blocks within one file system, and
    // kernels refuse most others; pipes, sockets and devices take sendfile.
    bool useRange = S_ISREG(out.st_mode) && in.st_dev == out.st_dev;
    uint64_t done = 0;
    // Each pass moves at least one byte, switches the call once, or returns.
    while (done < count) {
        const size_t piece = static_cast<size_t>(std::min(count - done, kPieceBytes));
        ssize_t moved = 0;
        if (useRange) {
            loff_t from = static_cast<loff_t>(offset + done);
            moved = ::copy_file_range(inFd, &from, outFd, nullptr, piece, 0);
            if (moved < 0 && errno != EINTR) {
                // Other file systems, O_APPEND, old kernels: sendfile may still do.
                useRange = false;
                continue;
            }
        } else {
            off_t from = static_cast<off_t>(offset + done);
            moved = ::sendfile(outFd, inFd, &from, piece);
        }
        if (moved < 0) {
            if (errno == EINTR) continue;
            return done;
        }
        if (moved == 0) return done;  // the input ended
        done += static_cast<uint64_t>(moved);
    }
    return done;
}

}  // namespace delvora
