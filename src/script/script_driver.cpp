#include "script/script_driver.h"

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
    m_pContext->Notify().Message(Utf8(lpszMsg), m_strCaption, MessageIcon::Information);
}

int ScriptDriver::OpenDisk(const QString& szDriverName) {
    m_disk.Close();
    m_disk.SetName(Utf8(szDriverName));
    m_dwCachedSector.reset();
    // DiskDevice opens read-only, whatever the script intends.
    return m_disk.Open() ? kScriptOk : kScriptFalse;
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

int ScriptDriver::InsertColumn(int nCol, const QString& lpszName) {
    std::lock_guard lock(m_listMutex);
    return m_list.InsertColumn(nCol, Utf8(lpszName)) ? kScriptOk : kScriptFalse;
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
    return m_list.InsertItem(nItem, Utf8(lpszText)) ? kScriptOk : kScriptFalse;
}

int ScriptDriver::SetItemText(int nItem, int nCol, const QString& lpszText) {
    std::lock_guard lock(m_listMutex);
    m_list.SetItemText(nItem, nCol, Utf8(lpszText));
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
