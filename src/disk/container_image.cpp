#include "disk/container_image.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "disk/container_readers.h"

namespace delvora {

const char* ContainerKindName(ContainerKind kind) {
    switch (kind) {
        case ContainerKind::Raw: return "raw";
        case ContainerKind::SplitRaw: return "split";
        case ContainerKind::Ewf: return "e01";
        case ContainerKind::Vhd: return "vhd";
        case ContainerKind::Vhdx: return "vhdx";
        case ContainerKind::Vmdk: return "vmdk";
        case ContainerKind::Qcow2: return "qcow2";
    }
    return "raw";
}

namespace {

bool StartsWith(std::span<const uint8_t> bytes, std::string_view magic) {
    return bytes.size() >= magic.size() && std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
}

}  // namespace

ContainerKind DetectContainer(std::span<const uint8_t> head, std::span<const uint8_t> tail) {
    using namespace std::string_view_literals;
    if (StartsWith(head, "EVF\x09\x0d\x0a\xff\x00"sv) || StartsWith(head, "EVF2\x0d\x0a\x81\x00"sv))
        return ContainerKind::Ewf;
    if (StartsWith(head, "QFI\xfb"sv)) return ContainerKind::Qcow2;
    if (StartsWith(head, "vhdxfile"sv)) return ContainerKind::Vhdx;
    // A dynamic VHD copies its footer to the front; a fixed one has it only
    // at the end, after the media's bytes.
    if (StartsWith(head, "conectix"sv) || StartsWith(tail, "conectix"sv)) return ContainerKind::Vhd;
    if (StartsWith(head, "KDMV"sv) || StartsWith(head, "COWD"sv) || StartsWith(head, "# Disk DescriptorFile"sv))
        return ContainerKind::Vmdk;
    return ContainerKind::Raw;
}

int LockedReader::ReadAt(uint8_t* buffer, size_t count, uint64_t offset) {
    if (offset > m_nMediaSize || count > m_nMediaSize - offset) return EIO;
    std::lock_guard lock(m_mutex);
    if (m_nBlockSize == 0 || count >= m_nBlockSize) return ReadThrough(buffer, count, offset);
    // Bounded: every round copies at least one byte out of a block or returns.
    while (count > 0) {
        const uint64_t start = offset / m_nBlockSize * m_nBlockSize;
        if (start != m_nBlockOffset) {
            const size_t size = static_cast<size_t>(std::min<uint64_t>(m_nBlockSize, m_nMediaSize - start));
            m_block.resize(size);
            m_nBlockOffset = UINT64_MAX;
            // A block that fails as a whole is not kept: the read goes
            // through as asked, so only what it covers fails.
            if (ReadThrough(m_block.data(), size, start) != 0) return ReadThrough(buffer, count, offset);
            m_nBlockOffset = start;
        }
        const size_t within = static_cast<size_t>(offset - start);
        const size_t piece = std::min(count, m_block.size() - within);
        std::memcpy(buffer, m_block.data() + within, piece);
        buffer += piece;
        offset += piece;
        count -= piece;
    }
    return 0;
}

int LockedReader::ReadThrough(uint8_t* buffer, size_t count, uint64_t offset) {
    size_t done = 0;
    // Bounded: every round advances or returns.
    while (done < count) {
        const int64_t n = ReadLocked(buffer + done, count - done, offset + done);
        if (n <= 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

bool ParentBeside(const std::string& containerPath, const std::string& named, std::string& out,
                  std::string& error) {
    // Windows tools record parents as C:\...\name, qemu-img as given.
    const size_t cut = named.find_last_of("/\\");
    const std::string base = cut == std::string::npos ? named : named.substr(cut + 1);
    if (base.empty() || base == "." || base == "..") {
        error = "names a parent file without a name: " + named;
        return false;
    }
    const size_t slash = containerPath.find_last_of('/');
    out = (slash == std::string::npos ? std::string() : containerPath.substr(0, slash + 1)) + base;
    struct stat parent{}, self{};
    if (::stat(out.c_str(), &parent) != 0 || !S_ISREG(parent.st_mode)) {
        error = "its parent file " + base + " is not beside it (named as " + named + ")";
        return false;
    }
    if (::stat(containerPath.c_str(), &self) == 0 && self.st_dev == parent.st_dev && self.st_ino == parent.st_ino) {
        error = "names itself as its parent file";
        return false;
    }
    return true;
}

std::unique_ptr<BlockBackend> OpenImageFile(const std::string& path, std::string& error, ContainerInfo* info) {
    ContainerInfo local;
    ContainerInfo& facts = info ? *info : local;
    facts = ContainerInfo{};
    int code = 0;
    std::unique_ptr<FdBackend> file = FdBackend::Open(path, code);
    if (!file) {
        error = path + ": " + ErrnoText(code);
        return nullptr;
    }
    const uint64_t size = file->Size();
    struct stat st{};
    const bool regular = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    ContainerKind kind = ContainerKind::Raw;
    // Block devices are disks, never containers: only files are looked into.
    if (regular) {
        std::vector<uint8_t> head(512), tail(512);
        const size_t headSize = static_cast<size_t>(std::min<uint64_t>(size, head.size()));
        head.resize(file->ReadAt(head.data(), headSize, 0) == 0 ? headSize : 0);
        if (size >= tail.size() && file->ReadAt(tail.data(), tail.size(), size - tail.size()) != 0) tail.clear();
        if (size < tail.size()) tail.clear();
        kind = DetectContainer(head, tail);
    }
    std::unique_ptr<BlockBackend> backend;
    switch (kind) {
        case ContainerKind::Ewf: backend = OpenEwfImage(path, error, facts); break;
        case ContainerKind::Vhd:
        case ContainerKind::Vhdx: backend = OpenVhdiImage(path, error, facts); break;
        case ContainerKind::Vmdk: backend = OpenVmdkImage(path, error, facts); break;
        case ContainerKind::Qcow2: backend = OpenQcowImage(path, error, facts); break;
        case ContainerKind::Raw:
        case ContainerKind::SplitRaw: {
            std::vector<std::string> parts;
            if (regular && !SplitRawParts(path, parts, error)) break;
            if (parts.size() > 1) {
                backend = OpenSplitRawImage(parts, error);
                facts.kind = ContainerKind::SplitRaw;
                facts.files = parts;
            } else {
                backend = std::move(file);
                facts.kind = ContainerKind::Raw;
                facts.files = {path};
            }
            if (backend) facts.mediaSize = backend->Size();
            break;
        }
    }
    if (!backend) {
        error = path + ": " + (error.empty() ? std::string("cannot be read as ") + ContainerKindName(kind) : error);
        return nullptr;
    }
    return backend;
}

}  // namespace delvora
