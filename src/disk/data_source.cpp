#include "disk/data_source.h"

#include <cstring>
#include <vector>

#include "common/codepage.h"

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

int DataSource::Open() {
    Close();
    int result = 0;
    switch (m_kind) {
        case SourceKind::Device:
            m_device.SetName(m_strPath);
            result = m_device.Open();
            break;
        case SourceKind::ImageFile: {
            int error = 0;
            m_pFile = FdBackend::Open(m_strPath, error);
            if (!m_pFile) m_strFileError = m_strPath + ": " + ErrnoText(error);
            result = m_pFile ? 1 : 0;
            break;
        }
        case SourceKind::Remote:
            if (m_pRemote) {
                const std::u16string wide = Utf8ToUtf16(m_strPath);
                result = m_pRemote->Open(wide, 512) >= 0 ? 1 : 0;
            }
            break;
    }
    m_bIsOpen = result;
    return result;
}

int DataSource::Close() {
    if (!m_bIsOpen) return 0;
    switch (m_kind) {
        case SourceKind::Device: m_device.Close(); break;
        case SourceKind::ImageFile: m_pFile.reset(); break;
        case SourceKind::Remote: break;
    }
    m_bIsOpen = 0;
    return 1;
}

int DataSource::GetData(uint8_t* buffer, uint32_t count, uint32_t sector) {
    if (!m_bIsOpen) return 0;
    switch (m_kind) {
        case SourceKind::Device:
            return m_device.Read(buffer, count, sector);
        case SourceKind::ImageFile: {
            const int error = m_pFile->ReadAt(buffer, count, uint64_t{sector} * 512);
            if (error != 0) m_strFileError = ErrnoText(error);
            return error == 0 ? 1 : 0;
        }
        case SourceKind::Remote: {
            if (!m_pRemote) return 0;
            std::vector<uint8_t> data;
            const int32_t status = m_pRemote->Read(sector, count, data);
            if (status < 0 || data.size() != count) return 0;
            std::memcpy(buffer, data.data(), count);
            return 1;
        }
    }
    return 0;
}

void DataSource::SetReportErrors(int report) {
    if (m_kind == SourceKind::Device) m_device.SetReportErrors(report);
}

int DataSource::ReadFat_BPB(uint32_t firstSector) {
    if (m_bFixedParams) return 1;
    if (!m_bIsOpen) return 0;
    std::vector<uint8_t> boot(m_kind == SourceKind::Remote ? 512 : 1024);
    if (!GetData(boot.data(), static_cast<uint32_t>(boot.size()), firstSector)) return 0;
    std::memcpy(m_fatBootParams.data(), boot.data() + 3, m_fatBootParams.size());
    return 1;
}

int DataSource::ReadNtfs_BPB(uint32_t firstSector) {
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

uint64_t DataSource::SizeBytes() const {
    if (!m_bIsOpen) return 0;
    if (m_kind == SourceKind::Device) return m_device.SizeBytes();
    if (m_kind == SourceKind::ImageFile && m_pFile) return m_pFile->Size();
    return 0;
}

std::string DataSource::LastErrorText() const {
    return m_kind == SourceKind::Device ? m_device.LastErrorText() : m_strFileError;
}

}  // namespace delvora
