// E01 (EWF) images through libewf: every segment of the set, found from the
// first one's name by the segment naming scheme.
#include <libewf.h>

#include <cstdlib>
#include <cstring>

#include "common/hash.h"
#include "disk/container_readers.h"

namespace delvora {
namespace {

std::string EwfErrorText(libewf_error_t*& error, const char* fallback) {
    return LibraryErrorText(error, fallback, libewf_error_sprint, libewf_error_free);
}

class EwfReader final : public LockedReader {
public:
    ~EwfReader() override {
        if (m_pHandle) {
            libewf_handle_close(m_pHandle, nullptr);
            libewf_handle_free(&m_pHandle, nullptr);
        }
    }
    bool Open(const std::vector<std::string>& segments, std::string& error, ContainerInfo& info);

protected:
    int64_t ReadLocked(uint8_t* buffer, size_t count, uint64_t offset) override {
        const ssize_t n =
            libewf_handle_read_random(m_pHandle, buffer, count, static_cast<off64_t>(offset), nullptr);
        return n;
    }

private:
    std::string Header(const char* identifier) {
        size_t size = 0;
        const auto* id = reinterpret_cast<const uint8_t*>(identifier);
        const size_t length = std::strlen(identifier);
        if (libewf_handle_get_utf8_header_value_size(m_pHandle, id, length, &size, nullptr) != 1 || size == 0 ||
            size > 65536)
            return {};
        std::string value(size, '\0');
        if (libewf_handle_get_utf8_header_value(m_pHandle, id, length, reinterpret_cast<uint8_t*>(value.data()),
                                                size, nullptr) != 1)
            return {};
        value.resize(std::strlen(value.c_str()));
        return value;
    }

    libewf_handle_t* m_pHandle = nullptr;
};

bool EwfReader::Open(const std::vector<std::string>& segments, std::string& error, ContainerInfo& info) {
    libewf_error_t* ewfError = nullptr;
    if (libewf_handle_initialize(&m_pHandle, &ewfError) != 1) {
        error = EwfErrorText(ewfError, "cannot start the E01 reader");
        return false;
    }
    std::vector<char*> names;
    for (const auto& segment : segments) names.push_back(const_cast<char*>(segment.c_str()));
    if (libewf_handle_open(m_pHandle, names.data(), static_cast<int>(names.size()), LIBEWF_OPEN_READ, &ewfError) != 1) {
        error = "not a readable E01 set (" + EwfErrorText(ewfError, "open failed") + ")";
        libewf_handle_free(&m_pHandle, nullptr);
        return false;
    }
    size64_t mediaSize = 0;
    uint32_t bytesPerSector = 0;
    if (libewf_handle_get_media_size(m_pHandle, &mediaSize, &ewfError) != 1) {
        error = EwfErrorText(ewfError, "no media size recorded");
        return false;
    }
    libewf_handle_get_bytes_per_sector(m_pHandle, &bytesPerSector, nullptr);
    m_nMediaSize = mediaSize;
    m_dwSectorSize = bytesPerSector;
    libewf_handle_set_header_values_date_format(m_pHandle, LIBEWF_DATE_FORMAT_ISO8601, nullptr);

    info.kind = ContainerKind::Ewf;
    info.mediaSize = mediaSize;
    info.bytesPerSector = bytesPerSector;
    info.files = segments;
    info.caseNumber = Header("case_number");
    info.evidenceNumber = Header("evidence_number");
    info.examiner = Header("examiner_name");
    info.description = Header("description");
    info.notes = Header("notes");
    info.acquiredDate = Header("acquiry_date");
    info.acquiredSoftware = Header("acquiry_software");
    const std::string version = Header("acquiry_software_version");
    if (!version.empty()) info.acquiredSoftware += (info.acquiredSoftware.empty() ? "" : " ") + version;
    uint8_t md5[16], sha1[20];
    if (libewf_handle_get_md5_hash(m_pHandle, md5, sizeof md5, nullptr) == 1) info.storedMd5 = HexText(md5);
    if (libewf_handle_get_sha1_hash(m_pHandle, sha1, sizeof sha1, nullptr) == 1) info.storedSha1 = HexText(sha1);
    return true;
}

}  // namespace

std::unique_ptr<BlockBackend> OpenEwfImage(const std::string& path, std::string& error, ContainerInfo& info) {
    // The set's other segments (.E02 …) follow from the first one's name;
    // a name outside the scheme is opened as a set of one.
    std::vector<std::string> segments;
    char** globbed = nullptr;
    int count = 0;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &globbed, &count, nullptr) == 1) {
        for (int i = 0; i < count; ++i) segments.emplace_back(globbed[i]);
        libewf_glob_free(globbed, count, nullptr);
    }
    if (segments.empty() || segments.front() != path) segments = {path};
    auto reader = std::make_unique<EwfReader>();
    if (!reader->Open(segments, error, info)) return nullptr;
    return reader;
}

}  // namespace delvora
