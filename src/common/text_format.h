#pragma once
// Text forms shared by the log, the file list and the reports.
#include <array>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

namespace delvora {

/// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

/// A DOS date or time that names no real day or time of day (month 13,
/// 31:63:62 …) is shown as absent (0); a medium's bytes may hold anything.
inline uint16_t ValidDosDate(uint16_t date) {
    const unsigned month = (date >> 5) & 0x0F, day = date & 0x1F;
    return month >= 1 && month <= 12 && day >= 1 ? date : 0;
}
inline uint16_t ValidDosTime(uint16_t time) {
    return ((time >> 11) & 0x1F) <= 23 && ((time >> 5) & 0x3F) <= 59 && (time & 0x1F) <= 29 ? time : 0;
}

/// "%d-%0.2d-%0.2d %0.2d:%0.2d:%0.2d" of a DOS date and time.
std::string FormatDosDateTime(uint16_t date, uint16_t time);
/// Packs a broken-down time into a DOS date and time. Times outside the
/// DOS range (1980-01-01 .. 2107-12-31) give 0 and 0 and answer false.
bool PackDosDateTime(const std::tm& tm, uint16_t& date, uint16_t& time);
/// The same for a count of seconds since 1970-01-01 00:00:00 on the clock
/// the DOS time is to show (UTC, or a local time already shifted by its
/// zone's offset); worked out without the C library's time-zone lock.
bool PackDosDateTime(int64_t seconds, uint16_t& date, uint16_t& time);
/// Seconds since 1970 of a DOS date and time read as wall-clock time in the
/// host's zone (TZ honoured, daylight saving as the zone says). False for no
/// date (0) or a date or time that is not a real one.
bool DosLocalToUnix(uint16_t date, uint16_t time, int64_t& seconds);

/// DosLocalToUnix with recent answers kept: mktime reads the zone file on
/// every call, and the items of one folder mostly share their times. A
/// fixed table: entries are replaced, it never grows. One per thread.
class DosLocalTimeCache {
public:
    bool ToUnix(uint16_t date, uint16_t time, int64_t& seconds);

private:
    struct Slot {
        uint32_t key = 0;  // date << 16 | time; date 0 is never a real answer
        int64_t seconds = 0;
        bool ok = false;
    };
    std::array<Slot, 1024> m_slots{};
};

/// ISO 8601 UTC text of a time in 100-nanosecond ticks since 1601-01-01:
/// "2024-05-06T07:08:09.1234567Z", the fraction left out when it is zero and
/// cut after its last non-zero digit.
std::string FormatUtcTicks(uint64_t ticks);
/// Ticks of a Unix time (seconds since 1970) with its nanoseconds.
uint64_t UnixToUtcTicks(int64_t seconds, uint32_t nanoseconds = 0);

/// The same form for a broken-down local time.
std::string FormatTimestamp(const std::tm& tm);
/// Local time now, in the same form.
std::string NowTimestamp();

/// The number prefix of an output-log line: the number right-aligned in five
/// places (leading zeros shown as blanks; more digits widen it), a point and
/// two blanks.
std::string LogLinePrefix(uint64_t lineNumber);

/// Appends text as a JSON string (quotes included, control bytes escaped).
/// The result is valid UTF-8: a byte that starts no valid sequence becomes
/// U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);

/// Text for a terminal or a log line: bytes below 0x20 and 0x7F become
/// "\x1b"-style escapes, U+0080..U+009F "\u009b"-style ones, so that names
/// from a medium can neither drive the terminal nor split a line.
std::string EscapeControls(std::string_view text);

/// A block of bytes as the sector viewer copies it in hexadecimal: each byte
/// "%02X " (trailing space included), 16 to a line, lines joined by CR LF
/// (none after the last).
std::string HexCopyText(std::span<const uint8_t> bytes);
/// The block as text: bytes 0 to 31 replaced by '.', the rest as they are.
std::string PlainCopyBytes(std::span<const uint8_t> bytes);

/// Line separator of the output log's text.
inline constexpr std::string_view kLogLineBreak = "\r\n";

}  // namespace delvora
