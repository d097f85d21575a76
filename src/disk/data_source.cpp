#include "disk/data_source.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/codepage.h"
#include "disk/container_image.h"

namespace delvora {

DataSource::DataSource(const CoreContext& context) : m_pContext(&context), m_device(context) {}

DataSource::~DataSource() { Close(); }

void DataSource::SetPath(const std::string& path) {
    m_strPath = path;
    if (m_kind == SourceKind::Device) m_device.SetName(path);
}

int DataSource::SetRemote(std::shared_ptr<RemoteDisk> remote) {
    if (!remote) return 0;
    Close();
    m_pRemote = std::move(remote);
    return 1;
}

namespace {

// A remote disk seen as a backend, so its reads share the retry layer.
class RemoteBackend final : public BlockBackend {
public:
    explicit RemoteBackend(std::shared_ptr<RemoteDisk> remote) : m_pRemote(std::move(remote)) {}
    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) override {
        if (offset % 512 != 0 || count > UINT32_MAX) return EINVAL;
        return m_pRemote->ReadInto(offset / 512, static_cast<uint32_t>(count), buffer) < 0 ? EIO : 0;
    }
    uint64_t Size() const override { return m_pRemote->SizeBytes(); }
    bool TakesPrefetch() const override { return m_pRemote->TakesPrefetch(); }
    void Prefetch(uint64_t offset, size_t count) override {
        if (offset % 512 == 0 && count <= UINT32_MAX) m_pRemote->Prefetch(offset / 512, static_cast<uint32_t>(count));
    }

private:
    std::shared_ptr<RemoteDisk> m_pRemote;
};

}  // namespace

int DataSource::Open() {
    Close();
    m_strOpenError.clear();
    int result = 0;
    switch (m_kind) {
        case SourceKind::Device:
            m_device.SetName(m_strPath);
            result = m_device.Open();
            break;
        case SourceKind::ImageFile: {
            std::unique_ptr<BlockBackend> file = OpenImageFile(m_strPath, m_strOpenError);
            if (!file) break;
            const uint64_t size = file->Size();
            m_device.SetName(m_strPath);
            result = m_device.OpenWithBackend(std::move(file), size);
            break;
        }
        case SourceKind::Remote:
            if (m_pRemote) {
                const std::u16string wide = Utf8ToUtf16(m_strPath);
                const int32_t status = m_pRemote->Open(wide, 512);
                if (status >= 0) {
                    m_device.SetName(m_strPath);
                    result = m_device.OpenWithBackend(std::make_unique<RemoteBackend>(m_pRemote));
                } else {
                    const std::string why = m_pRemote->LastErrorText();
                    m_strOpenError = why.empty() ? ErrnoText(-status) : why;
                }
            }
            break;
    }
    m_bIsOpen = result;
    return result;
}

int DataSource::OpenWithBackend(std::unique_ptr<BlockBackend> backend) {
    Close();
    m_strOpenError.clear();
    m_bIsOpen = m_device.OpenWithBackend(std::move(backend));
    return m_bIsOpen;
}

int DataSource::Close() {
    if (!m_bIsOpen) return 0;
    m_device.Close();
    m_bIsOpen = 0;
    return 1;
}

int DataSource::GetData(uint8_t* buffer, uint32_t count, uint64_t sector) {
    if (!m_bIsOpen) return 0;
    return m_device.Read(buffer, count, sector);
}

bool DataSource::TakesPrefetch() const { return m_bIsOpen && m_device.TakesPrefetch(); }

void DataSource::Prefetch(uint32_t count, uint64_t sector) {
    if (m_bIsOpen) m_device.Prefetch(count, sector);
}

void DataSource::SetReportErrors(int report) {
    if (m_kind == SourceKind::Device) m_device.SetReportErrors(report);
}

int DataSource::ReadFat_BPB(uint64_t firstSector) {
    if (m_bFixedParams) return 1;
    if (!m_bIsOpen) return 0;
    std::vector<uint8_t> boot(m_kind == SourceKind::Remote ? 512 : 1024);
    if (!GetData(boot.data(), static_cast<uint32_t>(boot.size()), firstSector)) return 0;
    std::memcpy(m_fatBootParams.data(), boot.data() + 3, m_fatBootParams.size());
    return 1;
}

int DataSource::ReadNtfs_BPB(uint64_t firstSector) {
    if (m_bFixedParams) return 1;
    if (!m_bIsOpen) return 0;
    std::vector<uint8_t> boot(m_kind == SourceKind::Remote ? 512 : 1024);
    if (!GetData(boot.data(), static_cast<uint32_t>(boot.size()), firstSector)) return 0;
    std::memcpy(m_ntfsBootParams.data(), boot.data(), m_ntfsBootParams.size());
    return 1;
}

void DataSource::SetFat_BPB(const FatBootParams& params) {
    m_fatBootParams = params;
    m_bFixedParams = 1;
}

void DataSource::SetNtfs_BPB(const NtfsBootParams& params) {
    m_ntfsBootParams = params;
    m_bFixedParams = 1;
}

void DataSource::SetExt2_Param(const Ext2Params& params) {
    m_ext2Params = params;
    m_bFixedParams = 1;
}

void DataSource::Save(ArchiveWriter& archive) const {
    archive.WriteU8(static_cast<uint8_t>(m_kind));
    archive.WriteString(m_strPath);
}

int DataSource::Load(ArchiveReader& archive) {
    uint8_t kind = 0;
    std::string path;
    if (!archive.ReadU8(kind) || !archive.ReadString(path)) return 0;
    m_kind = static_cast<SourceKind>(kind);
    SetPath(path);
    return Open();
}

uint64_t DataSource::SendBytes(int outFd, uint64_t offset, uint64_t count) {
    const uint64_t size = SizeBytes();
    if (!m_bIsOpen || offset > size || count > size - offset) return 0;
    // GetData reads whole sectors and fails one the image holds only in
    // part: bytes of such a sector stay with the read path.
    const uint64_t tail = (offset + count) % 512;
    if (tail != 0 && size - offset - count < 512 - tail) return 0;
    return m_device.SendTo(outFd, offset, count);
}

uint64_t DataSource::SizeBytes() const { return m_bIsOpen ? m_device.SizeBytes() : 0; }

std::string DataSource::LastErrorText() const {
    return m_strOpenError.empty() ? m_device.LastErrorText() : m_strOpenError;
}

}  // namespace delvora
