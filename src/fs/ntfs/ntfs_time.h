#pragma once
// NTFS time stamps (100-ns units since 1601-01-01 UTC) to the DOS date and
// time that every item keeps, in the host's local time zone.
#include <cstdint>

namespace delvora {

/// Converts a FILETIME exactly to local time. False, with both values 0,
/// when the local date does not fit a DOS date (1980-01-01 .. 2107-12-31).
bool NtfsTimeToDos(uint64_t fileTime, uint16_t& dosTime, uint16_t& dosDate);

}  // namespace delvora
