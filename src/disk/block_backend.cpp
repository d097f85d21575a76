#include "disk/block_backend.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disk/kernel_copy.h"

namespace delvora {

std::unique_ptr<FdBackend> FdBackend::Open(const std::string& path, int& error) {
    // Non-blocking so that a FIFO named by mistake cannot hang the open;
    // only files and devices are sources.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    error = 0;
    return std::unique_ptr<FdBackend>(new FdBackend(fd));
}

FdBackend::~FdBackend() { ::close(m_fd); }

int FdBackend::ReadAt(uint8_t* buffer, size_t count, uint64_t offset) {
    size_t done = 0;
    // Bounded: every round either advances or returns.
    while (done < count) {
        const ssize_t n = ::pread(m_fd, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;  // past the end: a short read is a failed read
        done += static_cast<size_t>(n);
    }
    return 0;
}

uint64_t FdBackend::Size() const {
    struct stat st{};
    if (::fstat(m_fd, &st) != 0) return 0;
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(m_fd, BLKGETSIZE64, &bytes) == 0) return bytes;
        return 0;
    }
    return static_cast<uint64_t>(st.st_size);
}

uint64_t FdBackend::SendTo(int outFd, uint64_t offset, uint64_t count) {
    // Past the end the read path zero-fills and notes the bytes: that stays its job.
    const uint64_t size = Size();
    if (offset > size || count > size - offset) return 0;
    return KernelCopy(m_fd, offset, count, outFd);
}

uint32_t FdBackend::LogicalSectorSize() const {
    struct stat st{};
    if (::fstat(m_fd, &st) != 0 || !S_ISBLK(st.st_mode)) return 0;
    int bytes = 0;
    return ::ioctl(m_fd, BLKSSZGET, &bytes) == 0 && bytes > 0 ? static_cast<uint32_t>(bytes) : 0;
}

std::string ErrnoText(int error) {
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(error, buf, sizeof buf);
    return text ? text : "";
}

}  // namespace delvora

namespace delvora {

int BytesBackend::ReadAt(uint8_t* buffer, size_t count, uint64_t offset) {
    if (offset > m_nSize || count > m_nSize - offset) return EIO;
    if (count) std::memcpy(buffer, m_pData + offset, count);
    return 0;
}

}  // namespace delvora
