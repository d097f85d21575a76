#include "script/script_driver.h"

#include <algorithm>
#include <new>

#include "disk/device_map.h"

namespace delvora {
namespace {

std::string Utf8(const QString& text) { return text.toStdString(); }

}  // namespace

ScriptDriver::ScriptDriver(const CoreContext& context, QObject* parent)
    : QObject(parent), m_pContext(&context), m_disk(context), m_file(context) {
    setObjectName(QStringLiteral("ScriptDriver"));
}

ResultList ScriptDriver::Snapshot() const {
    std::lock_guard lock(m_listMutex);
    return m_list;
}

void ScriptDriver::Msg(const QString& lpszMsg) {
    std::string text;
    {
        std::lock_guard lock(m_listMutex);
        if (!TakeText(lpszMsg, text)) return;
    }
    m_pContext->Notify().Message(text, m_strCaption, MessageIcon::Information);
}

int ScriptDriver::OpenDisk(const QString& szDriverName) {
    m_disk.Close();
    m_disk.SetName(Utf8(szDriverName));
    m_dwCachedSector.reset();
    // DiskDevice opens read-only, whatever the script intends.
    if (!m_disk.Open()) return kScriptFalse;
    // The file methods never write what the script examines.
    m_file.ProtectPath(DevicesOf(*m_pContext).Resolve(m_disk.Name()));
    return kScriptOk;
}

int ScriptDriver::ReadSector(int nSectorNo, int nOffSize) {
    if (!m_disk.IsOpen()) return 0;
    // An offset outside the sector answers 0 without touching the disk.
    if (nOffSize < 0 || static_cast<size_t>(nOffSize) >= m_cache.size()) return 0;
    // Sector numbers are unsigned 32-bit; a script passes them as int.
    const auto dwSector = static_cast<uint32_t>(nSectorNo);
    if (m_dwCachedSector != dwSector) {
        m_dwCachedSector.reset();
        if (!m_disk.Read(m_cache.data(), static_cast<uint32_t>(m_cache.size()), dwSector)) return 0;
        m_dwCachedSector = dwSector;
    }
    return m_cache[static_cast<size_t>(nOffSize)];
}

int ScriptDriver::WriteSector(int, int, int) { return kScriptFalse; }
int ScriptDriver::FlushDisk(int) { return kScriptFalse; }

int ScriptDriver::OpenFile(const QString& szFilePathName, int nFormat) {
    return m_file.Open(Utf8(szFilePathName), nFormat);
}

int ScriptDriver::CloseFile() { return m_file.Close(); }
int ScriptDriver::ReadFile() { return m_file.ReadByte(); }

int ScriptDriver::WriteFile(int nValue) {
    m_file.WriteByte(nValue);
    return kScriptOk;
}

int ScriptDriver::SeekFile(int nOffSize, int nFormat) { return m_file.Seek(nOffSize, nFormat); }
int ScriptDriver::FlushFile() { return kScriptFalse; }

void ScriptDriver::SetTextAllowance(uint64_t bytes, std::function<void()> onExceeded) {
    std::lock_guard lock(m_listMutex);
    m_nTextAllowance = bytes;
    m_onOverAllowance = std::move(onExceeded);
}

bool ScriptDriver::TextFits(qsizetype units) {
    if (m_nTextAllowance == 0) return true;
    // UTF-8 takes at most three bytes for a UTF-16 unit.
    const uint64_t most = static_cast<uint64_t>(std::max<qsizetype>(units, 0)) * 3;
    return m_list.TextBytes() <= m_nTextAllowance && most <= m_nTextAllowance - m_list.TextBytes();
}

bool ScriptDriver::TakeText(const QString& text, std::string& out) {
    try {
        if (TextFits(text.size())) {
            out = Utf8(text);
            return true;
        }
    } catch (const std::bad_alloc&) {
    }
    if (m_onOverAllowance) m_onOverAllowance();
    return false;
}

int ScriptDriver::InsertColumn(int nCol, const QString& lpszName) {
    std::lock_guard lock(m_listMutex);
    std::string name;
    if (!TakeText(lpszName, name)) return kScriptFalse;
    try {
        return m_list.InsertColumn(nCol, std::move(name)) ? kScriptOk : kScriptFalse;
    } catch (const std::bad_alloc&) {
        if (m_onOverAllowance) m_onOverAllowance();
        return kScriptFalse;
    }
}

int ScriptDriver::DeleteColumn(int nCol) {
    std::lock_guard lock(m_listMutex);
    m_list.DeleteColumn(nCol);
    return kScriptOk;
}

int ScriptDriver::DeleteAllItems() {
    std::lock_guard lock(m_listMutex);
    m_list.DeleteAllItems();
    return kScriptOk;
}

int ScriptDriver::InsertItem(int nItem, const QString& lpszText) {
    std::lock_guard lock(m_listMutex);
    std::string text;
    if (!TakeText(lpszText, text)) return kScriptFalse;
    try {
        return m_list.InsertItem(nItem, std::move(text)) ? kScriptOk : kScriptFalse;
    } catch (const std::bad_alloc&) {
        if (m_onOverAllowance) m_onOverAllowance();
        return kScriptFalse;
    }
}

int ScriptDriver::SetItemText(int nItem, int nCol, const QString& lpszText) {
    std::lock_guard lock(m_listMutex);
    std::string text;
    if (!TakeText(lpszText, text)) return kScriptFalse;
    try {
        m_list.SetItemText(nItem, nCol, std::move(text));
    } catch (const std::bad_alloc&) {
        if (m_onOverAllowance) m_onOverAllowance();
        return kScriptFalse;
    }
    return kScriptOk;
}

int ScriptDriver::DeleteItem(int) { return DeleteAllItems(); }
int ScriptDriver::GetColumnCount() { return 0; }

int ScriptDriver::GetItemCount() {
    std::lock_guard lock(m_listMutex);
    return static_cast<int>(m_list.ItemCount());
}

QString ScriptDriver::GetItemText(int nItem, int nCol) {
    std::lock_guard lock(m_listMutex);
    return QString::fromStdString(m_list.GetItemText(nItem, nCol));
}

int ScriptDriver::SetSize() {
    emit ListChanged();
    return kScriptOk;
}

}  // namespace delvora
