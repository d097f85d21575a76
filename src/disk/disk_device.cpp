#include "disk/disk_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/container_image.h"
#include "disk/device_map.h"
#include "disk/filled_ranges.h"

namespace delvora {

int DiskDevice::Open() {
    Notifier& notifier = m_pContext->Notify();
    if (m_strName.empty()) {
        notifier.Message(Tr("DiskDevice", "请设好逻辑盘符!"));
        return 0;
    }
    if (m_strName.size() == 2 && m_strName.find(':') == std::string::npos) {
        notifier.Message(Tr("DiskDevice", "请将逻辑盘符设成 A: C: D: ... "));
        return 0;
    }
    Close();
    const std::string path = DevicesOf(*m_pContext).Resolve(m_strName);
    std::string error;
    std::unique_ptr<BlockBackend> backend;
    // Image files may be containers (E01, VMDK …): the same name reads the
    // media they hold.
    if (!path.empty()) backend = OpenImageFile(path, error);
    if (!backend) {
        m_strLastError = path.empty() ? "no such device: " + m_strName : error;
        if (m_bReportErrors == 1) notifier.Message(Tr("DiskDevice", "创建逻辑盘文件失败!"), "提示", MessageIcon::Error);
        return 0;
    }
    m_nSizeBytes = backend->Size();
    m_pBackend = std::move(backend);
    m_bOpened = 1;
    return 1;
}

int DiskDevice::OpenWithBackend(std::unique_ptr<BlockBackend> backend, uint64_t sizeBytes) {
    Close();
    if (!backend) return 0;
    m_nSizeBytes = sizeBytes != 0 ? sizeBytes : backend->Size();
    m_pBackend = std::move(backend);
    m_bOpened = 1;
    return 1;
}

int DiskDevice::Close() {
    if (m_bOpened) {
        m_bOpened = 0;
        m_pBackend.reset();
    }
    return 1;
}

int DiskDevice::ReadAtOffset(uint8_t* buffer, uint32_t count, uint64_t offset, int& error) {
    error = m_pBackend ? m_pBackend->ReadAt(buffer, count, offset) : EBADF;
    if (error == 0) return 1;
    std::memset(buffer, FillByte(), count);
    m_strLastError = ErrnoText(error);
    return 0;
}

int DiskDevice::Read(uint8_t* buffer, uint32_t count, uint64_t sector) {
    if (sector > UINT64_MAX / m_dwSectorSize) {
        std::memset(buffer, FillByte(), count);
        m_strLastError = ErrnoText(EINVAL);
        RecordFilledBytes(UINT64_MAX - count + 1, count);
        return 0;
    }
    const uint64_t offset = uint64_t{m_dwSectorSize} * sector;
    int firstError = 0;
    int result = ReadAtOffset(buffer, count, offset, firstError);
    if (result) return 1;

    constexpr uint32_t kPiece = 512;
    if (count / kPiece > 1) {
        // Re-read piece by piece so one bad sector costs only its own bytes
        // (a last piece shorter than a sector included). Every failing piece
        // is logged; the box is shown once per request.
        for (uint32_t done = 0; done < count; done += kPiece) {
            const uint32_t piece = std::min(kPiece, count - done);
            int error = 0;
            const uint64_t pieceOffset = offset + done;
            if (ReadAtOffset(buffer + done, piece, pieceOffset, error)) {
                result = 1;
                continue;
            }
            RecordFilledBytes(pieceOffset, piece);
            if (m_bReportErrors == 1) {
                m_pContext->Logger().AppendLog(
                    Format(Tr("DiskDevice", "读取 %s 磁盘 %llu 扇区出错! 原因: %s"), m_strName.c_str(),
                           static_cast<unsigned long long>(pieceOffset / m_dwSectorSize),
                           ErrnoText(error).c_str()));
            }
        }
    } else {
        RecordFilledBytes(offset, count);
        if (m_bReportErrors == 1)
            m_pContext->Logger().AppendLog(Format(Tr("DiskDevice", "读取 %s 磁盘 %llu 扇区出错! 原因: %s"), m_strName.c_str(),
                                                  static_cast<unsigned long long>(sector),
                                                  ErrnoText(firstError).c_str()));
    }
    if (m_bReportErrors == 1)
        m_pContext->Notify().Message(ErrnoText(firstError), "Error", MessageIcon::Information);
    m_strLastError = ErrnoText(firstError);
    return result;
}

}  // namespace delvora
