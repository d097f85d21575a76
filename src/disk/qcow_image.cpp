// QCOW images through libqcow, after the header has been checked here: the
// library sizes its tables from the header, and a crafted one must not make
// it allocate gigabytes. A backing file is read only from beside the image.
#include <libqcow.h>

#include <cstring>

#include "common/bytes.h"
#include "disk/container_readers.h"

namespace delvora {

bool CheckQcowHeader(std::span<const uint8_t> head, uint64_t fileSize, std::string& error) {
    if (!Has(head, 0, 48) || Be32(head, 0) != 0x514649FBu) {
        error = "QCOW header cut short";
        return false;
    }
    const uint32_t version = Be32(head, 4);
    const uint64_t backingOffset = Be64(head, 8);
    const uint32_t backingSize = Be32(head, 16);
    uint32_t clusterBits = 0;
    uint64_t l1Offset = 0;
    uint64_t l1Entries = 0;
    const uint64_t mediaSize = Be64(head, 24);
    // 2^56 bytes is far beyond any disk, yet small enough that the table
    // arithmetic below cannot overflow.
    if (mediaSize > (uint64_t{1} << 56)) {
        error = "QCOW media size is absurd";
        return false;
    }
    if (version == 1) {
        clusterBits = Le8(head, 32);
        const uint32_t l2Bits = Le8(head, 33);
        l1Offset = Be64(head, 40);
        if (clusterBits < 9 || clusterBits > 21 || l2Bits < 6 || l2Bits > 21) {
            error = "QCOW cluster or table size out of range";
            return false;
        }
        const uint64_t perL1 = uint64_t{1} << (clusterBits + l2Bits);
        l1Entries = (mediaSize + perL1 - 1) / perL1;
    } else if (version == 2 || version == 3) {
        clusterBits = Be32(head, 20);
        l1Entries = Be32(head, 36);
        l1Offset = Be64(head, 40);
        if (clusterBits < 9 || clusterBits > 21) {
            error = "QCOW cluster size out of range";
            return false;
        }
        // One L1 entry covers one L2 table's worth of clusters.
        const uint64_t perL1 = (uint64_t{1} << clusterBits) * ((uint64_t{1} << clusterBits) / 8);
        if (l1Entries < (mediaSize + perL1 - 1) / perL1) {
            error = "QCOW L1 table too small for the media size";
            return false;
        }
    } else {
        error = "QCOW version " + std::to_string(version) + " is not read";
        return false;
    }
    // qemu caps the L1 table at 32 MiB; the table must also lie in the file.
    if (l1Entries > (uint64_t{32} << 20) / 8 || l1Offset > fileSize || l1Entries * 8 > fileSize - l1Offset) {
        error = "QCOW L1 table lies outside the file or is absurdly large";
        return false;
    }
    if (backingOffset != 0 &&
        (backingSize == 0 || backingSize > 1023 || backingOffset > fileSize || backingSize > fileSize - backingOffset)) {
        error = "QCOW backing file name lies outside the file";
        return false;
    }
    return true;
}

namespace {

std::string QcowErrorText(libqcow_error_t*& error, const char* fallback) {
    return LibraryErrorText(error, fallback, libqcow_error_sprint, libqcow_error_free);
}

struct QcowFile {
    libqcow_file_t* file = nullptr;
    std::unique_ptr<QcowFile> parent;
    ~QcowFile() {
        if (file) {
            libqcow_file_close(file, nullptr);
            libqcow_file_free(&file, nullptr);
        }
        parent.reset();
    }
};

std::unique_ptr<QcowFile> OpenChain(const std::string& path, int depth, std::string& error,
                                     std::vector<std::string>& files) {
    files.push_back(path);
    int code = 0;
    std::unique_ptr<FdBackend> raw = FdBackend::Open(path, code);
    if (!raw) {
        error = path + ": " + ErrnoText(code);
        return nullptr;
    }
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(raw->Size(), 512)));
    if (raw->ReadAt(head.data(), head.size(), 0) != 0 || !CheckQcowHeader(head, raw->Size(), error)) {
        if (error.empty()) error = "QCOW header cannot be read";
        return nullptr;
    }
    raw.reset();
    auto node = std::make_unique<QcowFile>();
    libqcow_error_t* qcowError = nullptr;
    if (libqcow_file_initialize(&node->file, &qcowError) != 1) {
        error = QcowErrorText(qcowError, "cannot start the QCOW reader");
        return nullptr;
    }
    if (libqcow_file_open(node->file, path.c_str(), LIBQCOW_OPEN_READ, &qcowError) != 1) {
        error = "not a readable QCOW image (" + QcowErrorText(qcowError, "open failed") + ")";
        libqcow_file_free(&node->file, nullptr);
        return nullptr;
    }
    uint32_t encryption = 0;
    if (libqcow_file_get_encryption_method(node->file, &encryption, nullptr) == 1 && encryption != 0) {
        error = "an encrypted QCOW image (no key to read it)";
        return nullptr;
    }
    size_t size = 0;
    if (libqcow_file_get_utf8_backing_filename_size(node->file, &size, nullptr) != 1 || size <= 1) return node;
    if (depth >= kMaxParentDepth || size > 65536) {
        error = "its chain of backing files is too long";
        return nullptr;
    }
    std::string named(size, '\0');
    if (libqcow_file_get_utf8_backing_filename(node->file, reinterpret_cast<uint8_t*>(named.data()), size,
                                               nullptr) != 1)
        named.clear();
    named.resize(std::strlen(named.c_str()));
    std::string parentPath;
    if (!ParentBeside(path, named, parentPath, error)) return nullptr;
    node->parent = OpenChain(parentPath, depth + 1, error, files);
    if (!node->parent) return nullptr;
    if (libqcow_file_set_parent_file(node->file, node->parent->file, &qcowError) != 1) {
        error = "its backing file does not fit it (" + QcowErrorText(qcowError, "refused") + ")";
        return nullptr;
    }
    return node;
}

class QcowReader final : public LockedReader {
public:
    explicit QcowReader(std::unique_ptr<QcowFile> chain) : m_pChain(std::move(chain)) {
        size64_t size = 0;
        libqcow_file_get_media_size(m_pChain->file, &size, nullptr);
        m_nMediaSize = size;
        SetReadBlock(size_t{1} << 20);
    }

protected:
    int64_t ReadLocked(uint8_t* buffer, size_t count, uint64_t offset) override {
        return libqcow_file_read_buffer_at_offset(m_pChain->file, buffer, count, static_cast<off64_t>(offset),
                                                  nullptr);
    }

private:
    std::unique_ptr<QcowFile> m_pChain;
};

}  // namespace

std::unique_ptr<BlockBackend> OpenQcowImage(const std::string& path, std::string& error, ContainerInfo& info) {
    std::unique_ptr<QcowFile> chain = OpenChain(path, 0, error, info.files);
    if (!chain) return nullptr;
    auto reader = std::make_unique<QcowReader>(std::move(chain));
    info.kind = ContainerKind::Qcow2;
    info.mediaSize = reader->Size();
    return reader;
}

}  // namespace delvora
