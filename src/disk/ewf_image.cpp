// E01 (EWF) images through libewf: every segment of the set, found from the
// first one's name by the segment naming scheme.
#include <libewf.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>

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
        uint32_t before = 0, after = 0;
        libewf_handle_get_number_of_checksum_errors(m_pHandle, &before, nullptr);
        const ssize_t n =
            libewf_handle_read_random(m_pHandle, buffer, count, static_cast<off64_t>(offset), nullptr);
        libewf_handle_get_number_of_checksum_errors(m_pHandle, &after, nullptr);
        // The library counts a damaged chunk once and then serves it from its
        // cache as zeros: remember where they lie.
        for (uint32_t i = before; i < after; ++i) {
            uint64_t start = 0, sectors = 0;
            if (libewf_handle_get_checksum_error(m_pHandle, i, &start, &sectors, nullptr) == 1 && sectors != 0 &&
                start <= UINT64_MAX / 512 && sectors <= UINT64_MAX / 512 - start)
                m_damaged[start * m_nChecksumUnit] = (start + sectors) * m_nChecksumUnit;
        }
        // A chunk whose checksum or decompression fails is a failed read, like
        // a bad sector: the layer above retries piece by piece and says
        // which bytes it had to zero-fill.
        if (n > 0 && Damaged(offset, static_cast<uint64_t>(n))) return -1;
        return n;
    }

private:
    bool Damaged(uint64_t offset, uint64_t count) const {
        auto next = m_damaged.lower_bound(offset + count);
        if (next == m_damaged.begin()) return false;
        return std::prev(next)->second > offset;
    }

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
    uint64_t m_nChecksumUnit = 512;
    std::map<uint64_t, uint64_t> m_damaged;  // damaged byte ranges: start → end
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
    // A set missing a segment, or with one cut short, opens; its tail would
    // read as zeros without a word.
    if (libewf_handle_segment_files_corrupted(m_pHandle, nullptr) != 0) {
        error = "its segment files are incomplete (a segment missing or cut short)";
        return false;
    }
    libewf_handle_set_read_zero_chunk_on_error(m_pHandle, 1, nullptr);
    size64_t mediaSize = 0;
    uint32_t bytesPerSector = 0;
    if (libewf_handle_get_media_size(m_pHandle, &mediaSize, &ewfError) != 1) {
        error = EwfErrorText(ewfError, "no media size recorded");
        return false;
    }
    libewf_handle_get_bytes_per_sector(m_pHandle, &bytesPerSector, nullptr);
    m_nMediaSize = mediaSize;
    m_dwSectorSize = bytesPerSector;
    if (bytesPerSector != 0) m_nChecksumUnit = bytesPerSector;
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
