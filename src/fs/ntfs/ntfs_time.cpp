#include "fs/ntfs/ntfs_time.h"

#include <ctime>
#include <mutex>

#include "common/text_format.h"

namespace delvora {
namespace {

/// The zone's offset for one whole hour, remembered: localtime_r walks the
/// zone's rules under a lock for every call, and the times of one volume
/// crowd into few hours. An hour is kept only when its first and last
/// second share the offset, so a change of offset inside it is never
/// smoothed over; the zone's names tell a zone set again with tzset apart.
struct HourOffset {
    int64_t hour = INT64_MIN;
    long offset = 0;
    const char* zone0 = nullptr;
    const char* zone1 = nullptr;
};

bool LocalOffset(int64_t seconds, long& offset) {
    thread_local HourOffset s_cache;
    const int64_t hour = (seconds >= 0 ? seconds : seconds - 3599) / 3600;
    if (s_cache.hour == hour && s_cache.zone0 == tzname[0] && s_cache.zone1 == tzname[1]) {
        offset = s_cache.offset;
        return true;
    }
    std::tm first{}, last{};
    const std::time_t start = static_cast<std::time_t>(hour * 3600), end = start + 3599;
    if (!localtime_r(&start, &first) || !localtime_r(&end, &last)) return false;
    if (first.tm_gmtoff != last.tm_gmtoff) {
        std::tm exact{};
        const std::time_t t = static_cast<std::time_t>(seconds);
        if (!localtime_r(&t, &exact)) return false;
        offset = exact.tm_gmtoff;
        return true;
    }
    s_cache = {hour, first.tm_gmtoff, tzname[0], tzname[1]};
    offset = first.tm_gmtoff;
    return true;
}

}  // namespace

bool NtfsTimeToDos(uint64_t fileTime, uint16_t& dosTime, uint16_t& dosDate) {
    dosTime = 0;
    dosDate = 0;
    constexpr int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 .. 1970-01-01
    const int64_t seconds = static_cast<int64_t>(fileTime / 10000000) - kUnixEpochSeconds;
    // Honour a TZ set after start-up; localtime_r is not bound to read it.
    static std::once_flag s_tzOnce;
    std::call_once(s_tzOnce, [] { tzset(); });
    // A record's three stamps, and neighbouring records', often fall in one
    // second: the last answer is kept (for the zone it was made in).
    struct LastSecond {
        int64_t seconds = INT64_MIN;
        uint16_t time = 0, date = 0;
        bool fits = false;
        const char* zone0 = nullptr;
        const char* zone1 = nullptr;
    };
    thread_local LastSecond s_last;
    if (s_last.seconds == seconds && s_last.zone0 == tzname[0] && s_last.zone1 == tzname[1]) {
        dosTime = s_last.time;
        dosDate = s_last.date;
        return s_last.fits;
    }
    long offset = 0;
    if (!LocalOffset(seconds, offset)) return false;
    const bool fits = PackDosDateTime(seconds + offset, dosDate, dosTime);
    s_last = {seconds, dosTime, dosDate, fits, tzname[0], tzname[1]};
    return fits;
}

}  // namespace delvora
