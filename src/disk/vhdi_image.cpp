// VHD and VHDX images through libvhdi; a differencing image reads through
// its parent, which must sit beside it.
#include <libvhdi.h>

#include <cstring>

#include "disk/container_readers.h"

namespace delvora {
namespace {

std::string VhdiErrorText(libvhdi_error_t*& error, const char* fallback) {
    return LibraryErrorText(error, fallback, libvhdi_error_sprint, libvhdi_error_free);
}

// One file of a chain; the parent outlives the child that reads through it.
struct VhdiFile {
    libvhdi_file_t* file = nullptr;
    std::unique_ptr<VhdiFile> parent;
    ~VhdiFile() {
        if (file) {
            libvhdi_file_close(file, nullptr);
            libvhdi_file_free(&file, nullptr);
        }
        parent.reset();
    }
};

std::unique_ptr<VhdiFile> OpenChain(const std::string& path, int depth, std::string& error,
                                     std::vector<std::string>& files) {
    files.push_back(path);
    auto node = std::make_unique<VhdiFile>();
    libvhdi_error_t* vhdiError = nullptr;
    if (libvhdi_file_initialize(&node->file, &vhdiError) != 1) {
        error = VhdiErrorText(vhdiError, "cannot start the VHD reader");
        return nullptr;
    }
    if (libvhdi_file_open(node->file, path.c_str(), LIBVHDI_OPEN_READ, &vhdiError) != 1) {
        error = "not a readable VHD/VHDX image (" + VhdiErrorText(vhdiError, "open failed") + ")";
        libvhdi_file_free(&node->file, nullptr);
        return nullptr;
    }
    uint32_t diskType = 0;
    libvhdi_file_get_disk_type(node->file, &diskType, nullptr);
    if (diskType != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return node;
    if (depth >= kMaxParentDepth) {
        error = "its chain of parent files is too long";
        return nullptr;
    }
    size_t size = 0;
    std::string named;
    if (libvhdi_file_get_utf8_parent_filename_size(node->file, &size, nullptr) == 1 && size > 0 && size <= 65536) {
        named.assign(size, '\0');
        if (libvhdi_file_get_utf8_parent_filename(node->file, reinterpret_cast<uint8_t*>(named.data()), size,
                                                  nullptr) != 1)
            named.clear();
        named.resize(std::strlen(named.c_str()));
    }
    std::string parentPath;
    if (!ParentBeside(path, named, parentPath, error)) return nullptr;
    node->parent = OpenChain(parentPath, depth + 1, error, files);
    if (!node->parent) return nullptr;
    if (libvhdi_file_set_parent_file(node->file, node->parent->file, &vhdiError) != 1) {
        error = "its parent file does not fit it (" + VhdiErrorText(vhdiError, "refused") + ")";
        return nullptr;
    }
    return node;
}

class VhdiReader final : public LockedReader {
public:
    explicit VhdiReader(std::unique_ptr<VhdiFile> chain) : m_pChain(std::move(chain)) {
        size64_t size = 0;
        uint32_t bytesPerSector = 0;
        libvhdi_file_get_media_size(m_pChain->file, &size, nullptr);
        libvhdi_file_get_bytes_per_sector(m_pChain->file, &bytesPerSector, nullptr);
        m_nMediaSize = size;
        m_dwSectorSize = bytesPerSector;
    }
    bool Vhdx() const {
        int type = 0;
        libvhdi_file_get_file_type(m_pChain->file, &type, nullptr);
        return type == LIBVHDI_FILE_TYPE_VHDX;
    }

protected:
    int64_t ReadLocked(uint8_t* buffer, size_t count, uint64_t offset) override {
        return libvhdi_file_read_buffer_at_offset(m_pChain->file, buffer, count, static_cast<off64_t>(offset),
                                                  nullptr);
    }

private:
    std::unique_ptr<VhdiFile> m_pChain;
};

}  // namespace

std::unique_ptr<BlockBackend> OpenVhdiImage(const std::string& path, std::string& error, ContainerInfo& info) {
    std::unique_ptr<VhdiFile> chain = OpenChain(path, 0, error, info.files);
    if (!chain) return nullptr;
    auto reader = std::make_unique<VhdiReader>(std::move(chain));
    info.kind = reader->Vhdx() ? ContainerKind::Vhdx : ContainerKind::Vhd;
    info.mediaSize = reader->Size();
    info.bytesPerSector = reader->LogicalSectorSize();
    return reader;
}

}  // namespace delvora
