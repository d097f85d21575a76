#pragma once
// The automation object a script reaches as the global Delvora: a message
// box, byte-wise sector reads from any device of the device map, one
// ordinary file, and the result list. Its state (disk, file, one-sector
// cache, list) outlives a run; a new engine is made for every run.
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "common/reporting.h"
#include "disk/disk_device.h"
#include "script/result_list.h"
#include "script/script_file.h"

namespace delvora {

/// Results of the methods, as the script constants S_OK and S_FALSE.
inline constexpr int kScriptOk = 0;
inline constexpr int kScriptFalse = 1;

class ScriptDriver : public QObject {
    Q_OBJECT
public:
    explicit ScriptDriver(const CoreContext& context, QObject* parent = nullptr);
    /// The caption of Msg's box (the application's title).
    void SetCaption(std::string caption) { m_strCaption = std::move(caption); }
    /// A copy of the result list, safe to take from another thread.
    ResultList Snapshot() const;
    /// How many bytes of text a run may hand over to the list (0: no limit),
    /// and what to do when a text would pass it: the run is stopped, never
    /// the process brought down by a failed allocation.
    void SetTextAllowance(uint64_t bytes, std::function<void()> onExceeded);
    /// A file the script's file methods must never write (a case source).
    void ProtectPath(const std::string& path) { m_file.ProtectPath(path); }

    /// Shows the text in a plain message box.
    Q_INVOKABLE void Msg(const QString& lpszMsg);
    /// Opens a device of the device map, read-only; empties the sector cache.
    Q_INVOKABLE int OpenDisk(const QString& szDriverName);
    /// The byte at nOffSize (0..511) of sector nSectorNo; 0 when the offset
    /// lies outside the sector, no disk is open or the read fails. The last
    /// sector read is cached, so byte-wise reads cost one read per sector.
    Q_INVOKABLE int ReadSector(int nSectorNo, int nOffSize);
    /// Answers 1 and writes nothing: examined media are never written.
    Q_INVOKABLE int WriteSector(int nSectorNo, int nValue, int nOffSize);
    Q_INVOKABLE int FlushDisk(int nSectorNo);
    Q_INVOKABLE int OpenFile(const QString& szFilePathName, int nFormat);
    Q_INVOKABLE int CloseFile();
    Q_INVOKABLE int ReadFile();
    Q_INVOKABLE int WriteFile(int nValue);
    Q_INVOKABLE int SeekFile(int nOffSize, int nFormat);
    Q_INVOKABLE int FlushFile();
    Q_INVOKABLE int InsertColumn(int nCol, const QString& lpszName);
    /// Removes all columns and all rows, whatever nCol is.
    Q_INVOKABLE int DeleteColumn(int nCol);
    Q_INVOKABLE int DeleteAllItems();
    Q_INVOKABLE int InsertItem(int nItem, const QString& lpszText);
    Q_INVOKABLE int SetItemText(int nItem, int nCol, const QString& lpszText);
    /// Removes all rows, whatever nItem is.
    Q_INVOKABLE int DeleteItem(int nItem);
    /// Always 0, whatever the list holds.
    Q_INVOKABLE int GetColumnCount();
    Q_INVOKABLE int GetItemCount();
    Q_INVOKABLE QString GetItemText(int nItem, int nCol);
    /// Asks whoever shows the list to lay it out and repaint it.
    Q_INVOKABLE int SetSize();

signals:
    /// The list should be shown again (SetSize); may come from a run's thread.
    void ListChanged();

private:
    const CoreContext* m_pContext;
    std::string m_strCaption = "Korvanta";
    DiskDevice m_disk;
    ScriptFile m_file;
    std::optional<uint32_t> m_dwCachedSector;  // empty: nothing cached
    std::array<uint8_t, 512> m_cache{};
    mutable std::mutex m_listMutex;  // the view reads the list from its thread
    ResultList m_list;
    uint64_t m_nTextAllowance = 0;
    std::function<void()> m_onOverAllowance;
    /// Whether a text of this many UTF-16 units still fits (list locked).
    bool TextFits(qsizetype units);
    /// Converts a text the script hands over; false (and the run stopped)
    /// when it does not fit or memory runs out.
    bool TakeText(const QString& text, std::string& out);
};

}  // namespace delvora
