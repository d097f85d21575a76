#include "script/script_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/block_backend.h"
#include "disk/device_map.h"

namespace delvora {
namespace {

constexpr int kWrite = 0x02;
constexpr int kReadWrite = 0x04;
constexpr int kCreate = 0x08;
constexpr int kNoTruncateMask = 0x16;

}  // namespace

ScriptFile::~ScriptFile() {
    if (m_fd >= 0) ::close(m_fd);
}

void ScriptFile::ReportError(int error) const {
    const std::string reason = error == EBADF && m_fd < 0 ? std::string(Tr("ScriptFile", "文件没有打开")) : ErrnoText(error);
    m_pContext->Notify().Message(Format(Tr("ScriptFile", "访问 %s 时出错: %s"), m_strName.c_str(), reason.c_str()), "提示",
                                 MessageIcon::Error);
}

void ScriptFile::ProtectPath(const std::string& path) {
    if (path.empty() || std::find(m_protected.begin(), m_protected.end(), path) != m_protected.end()) return;
    m_protected.push_back(path);
}

bool ScriptFile::IsExaminedSource(int fd) const {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return true;
    if (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode)) return true;
    const auto same = [&st](const std::string& path) {
        struct stat source {};
        // stat follows links: any name of the same file is the same file.
        return !path.empty() && ::stat(path.c_str(), &source) == 0 && source.st_dev == st.st_dev &&
               source.st_ino == st.st_ino;
    };
    const DeviceMap& devices = DevicesOf(*m_pContext);
    // The map and the protected list hold a handful of names: one stat each.
    for (const auto& name : devices.Names())
        if (same(devices.Resolve(name))) return true;
    for (const std::string& path : m_protected)
        if (same(path)) return true;
    return false;
}

bool ScriptFile::Truncate(int fd, const std::string& path) {
    if (::ftruncate(fd, 0) == 0) return true;
    // A file created for reading is emptied all the same, through a second
    // handle on the same file.
    const int writer = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (writer < 0) return false;
    struct stat a {}, b {};
    const bool bSame = ::fstat(fd, &a) == 0 && ::fstat(writer, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    const bool bOk = bSame && ::ftruncate(writer, 0) == 0;
    if (!bSame) errno = EAGAIN;
    const int error = errno;
    ::close(writer);
    errno = error;
    return bOk;
}

int ScriptFile::Open(const std::string& path, int nFormat) {
    Close();
    m_strName = path;
    const int bits = nFormat & 0xFF;
    const bool bWrite = (bits & (kWrite | kReadWrite)) != 0;
    // Never blocks: a FIFO or a device would hold the run where no stop reaches it.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (bits & kReadWrite) flags |= O_RDWR;
    else if (bits & kWrite) flags |= O_WRONLY;
    else flags |= O_RDONLY;
    if (bits & kCreate) flags |= O_CREAT;
    // Truncation waits until the file is known not to be an examined source.
    const bool bTruncate = (bits & kCreate) && !(bits & kNoTruncateMask);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return 0;  // closed; the next read or write reports it
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        m_pContext->Notify().Message(Format(Tr("ScriptFile", "%s 不是普通文件, 不能打开"), path.c_str()), "提示", MessageIcon::Error);
        return 1;
    }
    // Truncating writes as much as writing does.
    if ((bWrite || bTruncate) && IsExaminedSource(fd)) {
        ::close(fd);
        m_pContext->Notify().Message(Format(Tr("ScriptFile", "%s 是被检查的介质, 不能写入"), path.c_str()), "提示", MessageIcon::Error);
        return 1;
    }
    if (bTruncate && !Truncate(fd, path)) {
        const int error = errno;
        ::close(fd);
        ReportError(error);
        return 1;
    }
    m_fd = fd;
    return 0;
}

int ScriptFile::Close() {
    if (m_fd < 0) return 0;
    const int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0) {
        ReportError(errno);
        return 1;
    }
    return 0;
}

int ScriptFile::ReadByte() {
    if (m_fd < 0) {
        ReportError(EBADF);
        return 0;
    }
    uint8_t byte = 0;
    ssize_t n;
    do n = ::read(m_fd, &byte, 1);
    while (n < 0 && errno == EINTR);  // ends: a signal only interrupts
    if (n < 0) {
        ReportError(errno);
        return 0;
    }
    return n == 1 ? byte : 0;
}

void ScriptFile::WriteByte(int value) {
    if (m_fd < 0) return ReportError(EBADF);
    const auto byte = static_cast<uint8_t>(value & 0xFF);
    ssize_t n;
    do n = ::write(m_fd, &byte, 1);
    while (n < 0 && errno == EINTR);  // ends: a signal only interrupts
    if (n != 1) ReportError(n < 0 ? errno : EIO);
}

int ScriptFile::Seek(int nOffSize, int nFormat) {
    if (m_fd < 0) {
        ReportError(EBADF);
        return 1;
    }
    const int origin = ((nFormat & 0x01) ? 1 : 0) + ((nFormat & 0x02) ? 2 : 0);
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin > 2) {
        ReportError(EINVAL);
        return 1;
    }
    if (::lseek(m_fd, static_cast<off_t>(static_cast<int64_t>(nOffSize)), kWhence[origin]) < 0) {
        ReportError(errno);
        return 1;
    }
    return 0;
}

}  // namespace delvora
