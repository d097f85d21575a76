#include "disk/partition_types.h"

#include <cstring>
#include <iterator>

namespace delvora {
namespace {

struct PartitionTypeName {
    uint8_t type;
    const char* name;
};

// Order matters: where a byte stands twice the first row wins. Names cut at
// fifteen characters are kept as users know them.
constexpr PartitionTypeName kTypeNames[] = {
    {0x01, "FAT12"}, {0x02, "XENIX root"}, {0x03, "XENIX usr"}, {0x04, "FAT16 <32M"},
    {0x05, "Extended"}, {0x06, "FAT16"}, {0x07, "NTFS"}, {0x08, "AIX"},
    {0x09, "AIX bootable"}, {0x0A, "OS/2 Boot Manag"}, {0x0B, "Win95 FAT32"}, {0x0C, "Win95 FAT32"},
    {0x0E, "Win95 FAT16"}, {0x0F, "Win95 Ext'd"}, {0x10, "OPUS"}, {0x11, "Hidden FAT12"},
    {0x12, "Compaq diagnost"}, {0x16, "Hidden FAT16"}, {0x14, "Hidden FAT16 <32M"},
    {0x17, "Hidden HPFS/NTFS"}, {0x18, "AST Windows swa"}, {0x24, "NEC DOS"},
    {0x3C, "PartitionMagic"},
    {0x40, "Venix 80286"}, {0x41, "PPC PReP Boot"}, {0x42, "SFS"}, {0x4D, "QNX4.x"},
    {0x4E, "QNX4.x 2nd part"}, {0x4F, "QNX4.x 3rd part"}, {0x50, "OnTrack DM"},
    {0x51, "OnTrack DM6 Aux"}, {0x52, "CP/M"}, {0x53, "OnTrack DM6 Aux"}, {0x54, "OnTrackDM6"},
    {0x55, "EZ-Drive"}, {0x56, "Golden Bow"}, {0x5C, "Priam Edisk"}, {0x61, "SpeedStor"},
    {0x63, "GNU HURD or Sys"}, {0x64, "Novell Netware"}, {0x65, "Novell Netware"},
    {0x70, "DiskSecure Mult"}, {0x75, "PC/IX"}, {0x80, "Old Minix"}, {0x81, "Minix / old Lin"},
    {0x82, "Linux swap"}, {0x83, "Linux"},
    {0x84, "OS/2 hidden C:"}, {0x85, "Linux extended"}, {0x86, "NTFS volume set"},
    {0x87, "NTFS volume set"}, {0x93, "Amoeba"}, {0x94, "Amoeba BBT"}, {0xA0, "IBM Thinkpad hi"},
    {0xA5, "BSD/386"}, {0xA6, "OpenBSD"}, {0xA7, "NeXTSTEP"}, {0xB7, "BSDI fs"},
    {0xB8, "BSDI swap"}, {0xC1, "DRDOS/sec (FAT-"}, {0xC4, "DRDOS/sec (FAT-"},
    {0xC6, "DRDOS/sec (FAT-"}, {0xC7, "Syrinx"}, {0xDB, "CP/M / CTOS / ."}, {0xE1, "DOS access"},
    {0xE3, "DOS R/O"}, {0xE4, "SpeedStor"}, {0xEB, "BeOS fs"}, {0xF1, "SpeedStor"},
    {0xF4, "SpeedStor"}, {0xF2, "DOS secondary"}, {0xFE, "LANstep"}, {0xFF, "BBT"},
    {kExfatTypeId, "exFAT"},
};

}  // namespace

std::string TypeName(uint8_t typeId) {
    for (const auto& row : kTypeNames)
        if (row.type == typeId) return row.name;
    return {};
}

uint8_t TypeOfBootSector(uint8_t typeId, std::span<const uint8_t> bootSector) {
    if (typeId != 0x07 || bootSector.size() < 11) return typeId;
    return std::memcmp(bootSector.data() + 3, "EXFAT   ", 8) == 0 ? kExfatTypeId : typeId;
}

}  // namespace delvora
