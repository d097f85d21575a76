#include "disk/disk_scan.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/bytes.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/disk_device.h"
#include "disk/device_map.h"
#include "disk/gpt.h"
#include "disk/partition_types.h"
#include "disk/volume_recogniser.h"

namespace delvora {
namespace {

constexpr size_t kEntryOffset = 446;
constexpr size_t kMatchBytes = 2048;
// More extended records than any real disk holds; a longer chain is damage.
constexpr size_t kMaxExtendedRecords = 1024;
// What a volume's recogniser looks at: boot sector or superblock.
constexpr uint32_t kHeadBytes = 65536;

struct RawEntry {
    uint8_t boot;
    uint8_t type;
    uint32_t start;
    uint32_t count;
};

RawEntry EntryAt(const uint8_t* record, int i) {
    const ByteSpan rec(record, 512);
    const size_t off = kEntryOffset + 16 * static_cast<size_t>(i);
    return {Le8(rec, off), Le8(rec, off + 4), Le32(rec, off + 8), Le32(rec, off + 12)};
}

// An entry that describes a partition: a boot flag of 0x00 or 0x80, a type,
// and an extent inside the disk (diskSectors 0: size unknown, not checked).
bool PlausibleEntry(const RawEntry& e, uint64_t diskSectors) {
    if (e.boot != 0x00 && e.boot != 0x80) return false;
    if (e.type == 0 || e.start == 0 || e.count == 0) return false;
    return diskSectors == 0 || uint64_t{e.start} + e.count <= diskSectors;
}

bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// A FAT or NTFS boot sector at sector 0 (a partitionless volume, a floppy)
// also ends in 55 AA, and its boot code where the table would be can look
// like entries: such a sector is not a partition table.
bool VolumeBootSector(const uint8_t* record) {
    const ByteSpan rec(record, 512);
    if (std::memcmp(record + 3, "NTFS    ", 8) == 0) return true;
    const bool jump = (record[0] == 0xEB && record[2] == 0x90) || record[0] == 0xE9;
    const uint16_t bytesPerSector = Le16(rec, 11);
    const uint8_t media = Le8(rec, 21);
    return jump && bytesPerSector >= 512 && bytesPerSector <= 4096 && PowerOfTwo(bytesPerSector) &&
           PowerOfTwo(Le8(rec, 13)) && Le16(rec, 14) != 0 && (Le8(rec, 16) == 1 || Le8(rec, 16) == 2) &&
           (media == 0xF0 || media >= 0xF8);
}

bool Signed(const uint8_t* record) { return record[510] == 0x55 && record[511] == 0xAA; }

std::vector<std::string> MountedNames(uint32_t mask) {
    std::vector<std::string> names;
    for (int bit = 0; bit < 26; ++bit)
        if (mask & (1u << bit)) names.push_back(Format("%c:", 'A' + bit));
    return names;
}

// The letter after the highest mounted drive. A: and B: belong to floppy
// drives, so new letters never start below C: (a machine or device map with
// no hard-disk letter would otherwise hand A: to a partition, which every
// later step takes for the floppy).
char NextFreeLetter(uint32_t mask) {
    char next = 'C';
    for (int bit = 0; bit < 26; ++bit)
        if ((mask & (1u << bit)) && 'A' + bit + 1 > next) next = static_cast<char>('A' + bit + 1);
    return next;
}

bool IsExtended(uint8_t type) { return type == 0x05 || type == 0x0F; }

std::string CutAtZero(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

}  // namespace

DiskScan::DiskScan(const CoreContext& context) : m_pContext(&context), m_source(context) {}

void DiskScan::SetOptions(int includeFloppy, int includePartitions, int includeWholeDisks) {
    m_bIncludeFloppy = includeFloppy;
    m_bIncludePartitions = includePartitions;
    m_bIncludeWholeDisks = includeWholeDisks;
}

void DiskScan::SetRemote(std::shared_ptr<RemoteDisk> remote) {
    if (m_source.SetRemote(std::move(remote))) m_source.SetKind(SourceKind::Remote);
}

int DiskScan::EnumeratePhysicalDrives(std::vector<std::string>& drives) {
    std::array<uint8_t, 512> sector{};
    for (int n = 0; n <= 4; ++n) {
        const std::string name = Format("PHYSICALDRIVE%d", n);
        DiskDevice device(*m_pContext);
        device.SetName(name);
        device.SetReportErrors(0);
        if (device.Open() && device.Read(sector.data(), 512, 0)) drives.push_back(name);
        device.Close();
    }
    return drives.empty() ? 0 : 1;
}

int DiskScan::Scan() {
    m_entries.clear();
    m_notes.clear();
    m_failedSources.clear();
    m_nOpened = 0;
    return m_source.Kind() == SourceKind::Remote ? ScanRemote() : ScanLocal();
}

int DiskScan::ScanLocal() {
    m_chNextWalkLetter = 'C';
    std::vector<std::string> drives;
    EnumeratePhysicalDrives(drives);

    if (m_bIncludeFloppy) {
        std::array<uint8_t, 512> boot{};
        DiskDevice floppy(*m_pContext);
        floppy.SetName("A:");
        floppy.SetReportErrors(0);
        if (floppy.Open() && floppy.Read(boot.data(), 512, 0)) {
            PartitionEntry entry;
            entry.source = entry.letter = "A:";
            entry.label = CutAtZero(boot.data() + 43, 11);
            entry.fsName = CutAtZero(boot.data() + 54, 8);
            entry.typeId = 1;
            entry.totalSectors = Le16(boot, 19);
            entry.sizeBytes = uint64_t{Le16(boot, 11)} * entry.totalSectors;
            m_entries.push_back(entry);
        }
    }
    if (m_bIncludePartitions)
        for (const auto& drive : drives) WalkDisk(drive);
    if (m_bIncludeWholeDisks) {
        for (const auto& drive : drives) {
            PartitionEntry entry;
            entry.source = drive;
            entry.letter = drive.substr(drive.size() - 1);
            m_entries.push_back(entry);
        }
    }

    const uint32_t mask = DevicesOf(*m_pContext).LogicalDriveMask();
    const std::vector<std::string> mounted = MountedNames(mask);
    const char nextFree = NextFreeLetter(mask);
    MatchLettersSortExchange(mounted, nextFree);
    return 1;
}

int DiskScan::ScanRemote() {
    const auto& remote = m_source.Remote();
    Notifier& notifier = m_pContext->Notify();
    if (!remote || remote->AddRef() < 0) {
        notifier.Message("AddRef Error!", "DCOM Error");
        return 0;
    }
    struct Release {
        RemoteDisk* r;
        ~Release() { r->Release(); }
    } release{remote.get()};
    if (remote->SetCheckInfo(m_bIncludeFloppy, m_bIncludePartitions, m_bIncludeWholeDisks | 1) < 0) {
        notifier.Message("SetCheckInfo Error!", "DCOM Error");
        return 0;
    }
    uint8_t info[10] = {};
    if (remote->GetHardInfo(info) < 0) {
        notifier.Message("GetHardInfo Error!", "DCOM Error");
        return 0;
    }
    m_chNextWalkLetter = 'C';
    const bool anyDevice = info[0] || info[1] || info[2] || info[3] || info[4];
    if (info[0]) {
        PartitionEntry entry;
        entry.source = entry.letter = "A:";
        entry.fsName = "FAT12";
        entry.typeId = 1;
        entry.totalSectors = 2880;
        entry.sizeBytes = 1474560;
        m_entries.push_back(entry);
    }
    for (int n = 0; n < 4; ++n)
        if (info[1 + n]) WalkDisk(Format("PHYSICALDRIVE%d", n));

    uint32_t mask = 0;
    if (remote->GetLogicalDrive(mask) < 0) {
        notifier.Message("GetLogicalDrive Error!", "DCOM Error");
        return 0;
    }
    const std::vector<std::string> mounted = MountedNames(mask);
    const char nextFree = NextFreeLetter(mask);
    const std::string savedPath = m_source.Path();
    MatchLettersSortExchange(mounted, nextFree);
    m_source.SetPath(savedPath);
    if (std::find(m_failedSources.begin(), m_failedSources.end(), savedPath) == m_failedSources.end()) m_source.Open();
    // A machine whose every device stayed silent has shown nothing: the
    // list (a fixed floppy row at most) would pass for an answer.
    if ((anyDevice || mask != 0) && m_nOpened == 0 && !m_failedSources.empty()) {
        notifier.Message(Tr("DiskScan", "远程计算机的设备都没有应答!"), "提示", MessageIcon::Error);
        m_entries.clear();
        return 0;
    }
    return 1;
}

int DiskScan::ReadSectors(const std::string& name, uint8_t* buffer, uint32_t count, uint64_t sector) {
    if (std::find(m_failedSources.begin(), m_failedSources.end(), name) != m_failedSources.end()) return 0;
    m_source.SetPath(name);
    m_source.SetReportErrors(0);
    if (!m_source.Open()) {
        m_failedSources.push_back(name);
        return 0;
    }
    ++m_nOpened;
    return m_source.GetData(buffer, count, sector);
}

uint32_t DiskScan::SectorSizeHint(const std::string& deviceName) const {
    if (const uint32_t given = DevicesOf(*m_pContext).SectorSize(deviceName)) return given;
    const uint32_t reported = m_source.ReportedSectorSize();
    return DeviceMap::ValidSectorSize(reported) ? reported : 0;
}

void DiskScan::Note(const std::string& text) {
    m_notes.push_back(m_source.Path() + ": " + text);
    m_pContext->Logger().AppendLog(m_notes.back());
}

int DiskScan::WalkDisk(const std::string& deviceName) {
    std::array<uint8_t, 512> mbr{};
    if (!ReadSectors(deviceName, mbr.data(), 512, 0) || !Signed(mbr.data()) || VolumeBootSector(mbr.data()))
        return 0;
    const uint32_t hint = SectorSizeHint(deviceName);
    // A hybrid table (protective entry beside others) is read as GPT too
    // when the GPT is sound; the MBR entries then only mirror it.
    if (HasProtectiveEntry(mbr) && WalkGpt(deviceName, hint)) {
        m_source.Close();
        return 1;
    }
    m_nSectorSize = hint != 0 ? hint : 512;
    const uint64_t units = m_nSectorSize / 512;
    // Any slot may hold the table's only partition (tools leave slot 1 empty
    // when partition 2 is the one made).
    const uint64_t diskSectors = m_source.SizeBytes() / m_nSectorSize;
    bool plausible = false;
    for (int i = 0; i < 4 && !plausible; ++i) plausible = PlausibleEntry(EntryAt(mbr.data(), i), diskSectors);
    if (!plausible) return 0;

    std::vector<uint32_t> visited;
    for (int i = 0; i < 4; ++i) {
        const RawEntry e = EntryAt(mbr.data(), i);
        if (e.start == 0 || e.type == 0) continue;
        if (IsExtended(e.type)) {
            std::array<uint8_t, 512> ebr{};
            visited.push_back(e.start);
            if (!m_source.GetData(ebr.data(), 512, e.start * units)) return 0;
            if (!WalkExtended(ebr.data(), e.start, e.start, visited)) return 0;
        } else {
            AppendPartition(deviceName, e.type, e.start, e.count);
        }
    }
    m_source.Close();
    return 1;
}

bool DiskScan::WalkGpt(const std::string& deviceName, uint32_t sectorSizeHint) {
    const DiskReader read = [this](uint8_t* buffer, uint32_t count, uint64_t offset) {
        return offset % 512 == 0 && m_source.GetData(buffer, count, offset / 512) != 0;
    };
    GptTable table;
    std::string error;
    if (!ReadGpt(read, m_source.SizeBytes(), sectorSizeHint, table, error)) {
        Note(error + "; the master boot record is read instead");
        return false;
    }
    for (const std::string& note : table.notes) Note(note);
    m_nSectorSize = table.sectorSize;
    std::vector<uint8_t> head(kHeadBytes);
    for (const GptPartition& p : table.partitions) {
        const uint64_t count = p.lastLba - p.firstLba + 1;
        uint8_t typeId = 0;
        if (p.firstLba <= UINT64_MAX / m_nSectorSize / 2 &&
            m_source.GetData(head.data(), kHeadBytes, p.firstLba * (m_nSectorSize / 512)))
            typeId = RecogniseVolumeHead(head);
        if (typeId == 0) typeId = GptTypeByte(p.typeGuid);
        AppendPartition(deviceName, typeId, p.firstLba, count);
        PartitionEntry& entry = m_entries.back();
        entry.scheme = "gpt";
        entry.fsName = GptTypeName(p.typeGuid);
        entry.typeGuid = GuidText(p.typeGuid);
        entry.partitionGuid = GuidText(p.partitionGuid);
        entry.name = p.name;
    }
    return true;
}

int DiskScan::WalkExtended(const uint8_t* record, uint32_t base, uint32_t current,
                           std::vector<uint32_t>& visited) {
    if (!Signed(record)) return 0;
    const RawEntry first = EntryAt(record, 0);
    if (first.start == 0 || first.count == 0) return 0;
    for (int i = 0; i < 4; ++i) {
        const RawEntry e = EntryAt(record, i);
        const uint32_t absolute = base + e.start;  // unsigned 32-bit, as on disk
        if (absolute == 0 || e.type == 0) continue;
        if (IsExtended(e.type)) {
            // A chain that points back to a record already read would never
            // end: such a link is not followed again.
            if (std::find(visited.begin(), visited.end(), absolute) != visited.end()) continue;
            if (visited.size() >= kMaxExtendedRecords) return 0;
            visited.push_back(absolute);
            std::array<uint8_t, 512> next{};
            if (!m_source.GetData(next.data(), 512, uint64_t{absolute} * (m_nSectorSize / 512))) return 0;
            if (!WalkExtended(next.data(), base, absolute, visited)) return 0;
        } else {
            AppendPartition(m_source.Path(), e.type, uint32_t(current + e.start), e.count);
        }
    }
    return 1;
}

void DiskScan::AppendPartition(const std::string& source, uint8_t type, uint64_t start, uint64_t count) {
    PartitionEntry entry;
    entry.letter = Format("%c:", m_chNextWalkLetter);
    // Past Z the walk order has no letters left; keep the last one.
    if (m_chNextWalkLetter < 'Z') ++m_chNextWalkLetter;
    if (type == 0x07) {
        std::array<uint8_t, 512> boot{};
        if (m_source.GetData(boot.data(), 512, start)) type = TypeOfBootSector(type, boot);
    }
    entry.typeId = type;
    entry.totalSectors = count;
    entry.startSector = start;
    entry.sectorSize = m_nSectorSize;
    // A GPT entry may claim nearly 2^64 sectors; the size saturates.
    entry.sizeBytes = count > UINT64_MAX / m_nSectorSize ? UINT64_MAX : count * m_nSectorSize;
    entry.source = source;
    entry.fsName = TypeName(type);
    entry.scheme = "mbr";
    m_entries.push_back(entry);
}

void DiskScan::MatchLettersSortExchange(const std::vector<std::string>& mounted, char nextFree) {
    std::vector<bool> matched(m_entries.size(), false);
    std::vector<uint8_t> part(kMatchBytes), drive(kMatchBytes);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        PartitionEntry& entry = m_entries[i];
        if (entry.letter == "A:") continue;
        if (!ReadSectors(entry.source, part.data(), kMatchBytes, FirstUnitOf(entry))) continue;
        for (const auto& name : mounted) {
            if (name == "A:" && !m_bIncludeFloppy) continue;
            if (!ReadSectors(name, drive.data(), kMatchBytes, 0)) continue;
            if (part == drive) {
                entry.walkLetter = name;
                matched[i] = true;
                break;
            }
        }
    }
    m_source.Close();

    for (size_t i = 0; i < m_entries.size(); ++i) {
        PartitionEntry& entry = m_entries[i];
        if (entry.letter == "A:") {
            entry.walkLetter = "A:";
        } else if (!matched[i]) {
            entry.walkLetter = Format("%c:", nextFree);
            if (nextFree < 'Z') ++nextFree;
        }
    }

    // Selection sort by the given letter; the floppy row keeps its place.
    const size_t n = m_entries.size();
    for (size_t pos = 0; pos + 1 < n; ++pos) {
        if (m_entries[pos].letter == "A:") continue;
        size_t best = pos;
        for (size_t k = pos + 1; k < n; ++k)
            if (m_entries[k].walkLetter < m_entries[best].walkLetter) best = k;
        if (best != pos) std::swap(m_entries[pos], m_entries[best]);
    }
    for (auto& entry : m_entries) std::swap(entry.letter, entry.walkLetter);
}

PartitionEntry DiskScan::GetEntry(size_t index) const {
    return index < m_entries.size() ? m_entries[index] : PartitionEntry{};
}

std::vector<std::string> DiskScan::RowTexts(const PartitionEntry& e, const std::string& remoteAddress) {
    return {e.letter,
            e.fsName,
            Format("%3d(0x%02X)", e.typeId, e.typeId),
            Format("%llu", static_cast<unsigned long long>(e.startSector)),
            Format("%llu", static_cast<unsigned long long>(e.totalSectors)),
            Format("%llu", static_cast<unsigned long long>(e.sizeBytes)),
            remoteAddress.empty() ? e.source : e.source + "(\\\\" + remoteAddress + ")"};
}

const std::vector<std::string>& DiskScan::ColumnTitles() {
    static const std::vector<std::string> s_titles{
        TrNoop("DiskScan", "驱动器"), TrNoop("DiskScan", "文件系统"), TrNoop("DiskScan", "标识"), TrNoop("DiskScan", "开始扇区"),
        TrNoop("DiskScan", "总扇区数"), TrNoop("DiskScan", "大小"), TrNoop("DiskScan", "来源")};
    return s_titles;
}

const std::vector<int>& DiskScan::ColumnWidths() {
    static const std::vector<int> s_widths{70, 100, 90, 90, 90, 100, 120};
    return s_widths;
}

uint64_t FirstUnitOf(const PartitionEntry& entry) {
    const uint64_t units = std::max<uint32_t>(entry.sectorSize, 512) / 512;
    return entry.startSector > UINT64_MAX / units ? UINT64_MAX : entry.startSector * units;
}

ChosenRow ChosenRowOf(const PartitionEntry& entry) {
    ChosenRow row;
    const uint64_t units = std::max<uint32_t>(entry.sectorSize, 512) / 512;
    row.typeId = entry.typeId;
    row.startSector = FirstUnitOf(entry);
    row.totalSectors = entry.totalSectors > UINT64_MAX / units ? UINT64_MAX : entry.totalSectors * units;
    row.sourceDevice = entry.source;
    std::string fs = entry.fsName;
    while (!fs.empty() && fs.back() == ' ') fs.pop_back();
    row.itemName = entry.letter + "(" + fs + ")";
    return row;
}

}  // namespace delvora
