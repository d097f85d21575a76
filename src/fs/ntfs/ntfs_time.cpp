#include "fs/ntfs/ntfs_time.h"

#include <ctime>
#include <mutex>

#include "common/text_format.h"

namespace delvora {

bool NtfsTimeToDos(uint64_t fileTime, uint16_t& dosTime, uint16_t& dosDate) {
    dosTime = 0;
    dosDate = 0;
    constexpr int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 .. 1970-01-01
    const int64_t seconds = static_cast<int64_t>(fileTime / 10000000) - kUnixEpochSeconds;
    // Honour a TZ set after start-up; localtime_r is not bound to read it.
    static std::once_flag s_tzOnce;
    std::call_once(s_tzOnce, [] { tzset(); });
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return false;
    return PackDosDateTime(tm, dosDate, dosTime);
}

}  // namespace delvora
