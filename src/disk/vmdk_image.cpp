// VMDK images through libvmdk. A descriptor names its extent files; only
// plain names are opened, from the descriptor's own folder, so a crafted
// descriptor cannot make us read /etc/passwd or a device.
#include <libvmdk.h>

#include <cstring>

#include "disk/container_readers.h"

namespace delvora {
namespace {

std::string VmdkErrorText(libvmdk_error_t*& error, const char* fallback) {
    return LibraryErrorText(error, fallback, libvmdk_error_sprint, libvmdk_error_free);
}

struct VmdkHandle {
    libvmdk_handle_t* handle = nullptr;
    std::unique_ptr<VmdkHandle> parent;
    ~VmdkHandle() {
        if (handle) {
            libvmdk_handle_close(handle, nullptr);
            libvmdk_handle_free(&handle, nullptr);
        }
        parent.reset();
    }
};

std::string ExtentName(libvmdk_handle_t* handle, int index) {
    libvmdk_extent_descriptor_t* extent = nullptr;
    if (libvmdk_handle_get_extent_descriptor(handle, index, &extent, nullptr) != 1) return {};
    std::string name;
    size_t size = 0;
    if (libvmdk_extent_descriptor_get_utf8_filename_size(extent, &size, nullptr) == 1 && size > 0 && size <= 65536) {
        name.assign(size, '\0');
        if (libvmdk_extent_descriptor_get_utf8_filename(extent, reinterpret_cast<uint8_t*>(name.data()), size,
                                                        nullptr) != 1)
            name.clear();
        name.resize(std::strlen(name.c_str()));
    }
    libvmdk_extent_descriptor_free(&extent, nullptr);
    return name;
}

std::unique_ptr<VmdkHandle> OpenChain(const std::string& path, int depth, std::string& error,
                                     std::vector<std::string>& files) {
    files.push_back(path);
    auto node = std::make_unique<VmdkHandle>();
    libvmdk_error_t* vmdkError = nullptr;
    if (libvmdk_handle_initialize(&node->handle, &vmdkError) != 1) {
        error = VmdkErrorText(vmdkError, "cannot start the VMDK reader");
        return nullptr;
    }
    if (libvmdk_handle_open(node->handle, path.c_str(), LIBVMDK_OPEN_READ, &vmdkError) != 1) {
        error = "not a readable VMDK image (" + VmdkErrorText(vmdkError, "open failed") + ")";
        libvmdk_handle_free(&node->handle, nullptr);
        return nullptr;
    }
    int extents = 0;
    if (libvmdk_handle_get_number_of_extents(node->handle, &extents, &vmdkError) != 1 || extents <= 0) {
        error = "a VMDK descriptor naming no extent file (" + VmdkErrorText(vmdkError, "none listed") + ")";
        return nullptr;
    }
    for (int i = 0; i < extents; ++i) {
        const std::string name = ExtentName(node->handle, i);
        if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") {
            error = "its descriptor names an extent file outside its own folder: " + name + " (refused)";
            return nullptr;
        }
        // A sparse image names itself as its one extent.
        const size_t slash = path.find_last_of('/');
        const std::string extent = path.substr(0, slash + 1) + name;
        if (extent != path) files.push_back(extent);
    }
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    if (libvmdk_handle_set_extent_data_files_path(node->handle, folder.c_str(), folder.size(), &vmdkError) != 1 ||
        libvmdk_handle_open_extent_data_files(node->handle, &vmdkError) != 1) {
        error = "its extent files cannot be read (" + VmdkErrorText(vmdkError, "open failed") + ")";
        return nullptr;
    }
    size_t size = 0;
    if (libvmdk_handle_get_utf8_parent_filename_size(node->handle, &size, nullptr) != 1 || size <= 1) return node;
    if (depth >= kMaxParentDepth || size > 65536) {
        error = "its chain of parent files is too long";
        return nullptr;
    }
    std::string named(size, '\0');
    if (libvmdk_handle_get_utf8_parent_filename(node->handle, reinterpret_cast<uint8_t*>(named.data()), size,
                                                nullptr) != 1)
        named.clear();
    named.resize(std::strlen(named.c_str()));
    std::string parentPath;
    if (!ParentBeside(path, named, parentPath, error)) return nullptr;
    node->parent = OpenChain(parentPath, depth + 1, error, files);
    if (!node->parent) return nullptr;
    if (libvmdk_handle_set_parent_handle(node->handle, node->parent->handle, &vmdkError) != 1) {
        error = "its parent file does not fit it (" + VmdkErrorText(vmdkError, "refused") + ")";
        return nullptr;
    }
    return node;
}

class VmdkReader final : public LockedReader {
public:
    explicit VmdkReader(std::unique_ptr<VmdkHandle> chain) : m_pChain(std::move(chain)) {
        size64_t size = 0;
        libvmdk_handle_get_media_size(m_pChain->handle, &size, nullptr);
        m_nMediaSize = size;
        SetReadBlock(size_t{1} << 20);
    }

protected:
    int64_t ReadLocked(uint8_t* buffer, size_t count, uint64_t offset) override {
        return libvmdk_handle_read_buffer_at_offset(m_pChain->handle, buffer, count, static_cast<off64_t>(offset),
                                                    nullptr);
    }

private:
    std::unique_ptr<VmdkHandle> m_pChain;
};

}  // namespace

std::unique_ptr<BlockBackend> OpenVmdkImage(const std::string& path, std::string& error, ContainerInfo& info) {
    std::unique_ptr<VmdkHandle> chain = OpenChain(path, 0, error, info.files);
    if (!chain) return nullptr;
    auto reader = std::make_unique<VmdkReader>(std::move(chain));
    info.kind = ContainerKind::Vmdk;
    info.mediaSize = reader->Size();
    return reader;
}

}  // namespace delvora
