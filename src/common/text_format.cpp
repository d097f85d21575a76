#include "common/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "common/codepage.h"
#include "common/control_escape.h"

namespace delvora {

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        out.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, args);
        out.resize(static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}

std::string FormatDosDateTime(uint16_t date, uint16_t time) {
    date = ValidDosDate(date);
    time = ValidDosTime(time);
    return Format("%d-%02d-%02d %02d:%02d:%02d", ((date >> 9) & 0x7F) + 1980, (date >> 5) & 0x0F,
                  date & 0x1F, (time >> 11) & 0x1F, (time >> 5) & 0x3F, (time & 0x1F) * 2);
}

bool PackDosDateTime(const std::tm& tm, uint16_t& date, uint16_t& time) {
    const int year = tm.tm_year + 1900;
    if (year < 1980 || year > 2107) {
        date = 0;
        time = 0;
        return false;
    }
    date = static_cast<uint16_t>(tm.tm_mday | ((tm.tm_mon + 1) << 5) | ((year - 1980) << 9));
    time = static_cast<uint16_t>((tm.tm_sec / 2) | (tm.tm_min << 5) | (tm.tm_hour << 11));
    return true;
}

bool PackDosDateTime(int64_t seconds, uint16_t& date, uint16_t& time) {
    const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const int64_t secondOfDay = seconds - days * 86400;
    // The stamps of one volume crowd into few days: the last day's DOS date
    // is kept (0 for a day outside 1980..2107).
    thread_local int64_t s_day = INT64_MIN;
    thread_local uint16_t s_date = 0;
    if (days != s_day) {
        // Civil date from days since 1970-01-01 in 400-year eras from 0000-03-01.
        const int64_t z = days + 719468;
        const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const int64_t dayOfEra = z - era * 146097;
        const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const int64_t mp = (5 * dayOfYear + 2) / 153;
        const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
        const int64_t month = mp < 10 ? mp + 3 : mp - 9;
        const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
        s_date = year < 1980 || year > 2107 ? 0 : static_cast<uint16_t>(day | (month << 5) | ((year - 1980) << 9));
        s_day = days;
    }
    date = s_date;
    if (date == 0) {
        time = 0;
        return false;
    }
    time = static_cast<uint16_t>((secondOfDay % 60 / 2) | (secondOfDay / 60 % 60 << 5) | (secondOfDay / 3600 << 11));
    return true;
}

bool DosLocalToUnix(uint16_t date, uint16_t time, int64_t& seconds) {
    if (date == 0 || ValidDosDate(date) != date || ValidDosTime(time) != time) return false;
    std::tm tm{};
    tm.tm_year = 80 + (date >> 9);
    tm.tm_mon = ((date >> 5) & 15) - 1;
    tm.tm_mday = date & 31;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 63;
    tm.tm_sec = (time & 31) * 2;
    tm.tm_isdst = -1;
    // mktime reads TZ afresh; -1 cannot be a real answer for a date from 1980 on.
    const std::time_t t = std::mktime(&tm);
    if (t == std::time_t(-1)) return false;
    seconds = static_cast<int64_t>(t);
    return true;
}

bool DosLocalTimeCache::ToUnix(uint16_t date, uint16_t time, int64_t& seconds) {
    const uint32_t key = (uint32_t{date} << 16) | time;
    Slot& slot = m_slots[(key * 2654435761u) >> 22];
    if (slot.key != key) {
        slot.key = key;
        slot.ok = DosLocalToUnix(date, time, slot.seconds);
    }
    if (slot.ok) seconds = slot.seconds;
    return slot.ok;
}

std::string FormatTimestamp(const std::tm& tm) {
    return Format("%d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string NowTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return FormatTimestamp(tm);
}

std::string LogLinePrefix(uint64_t lineNumber) {
    return Format("%5llu.  ", static_cast<unsigned long long>(lineNumber));
}

namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendHexByte(std::string& out, const char* prefix, unsigned char c) {
    out += prefix;
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // Bytes from a medium need not be UTF-8; JSON text must be.
            char32_t cp = 0;
            const size_t len = DecodeUtf8(text, i, cp);
            if (len == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(text.substr(i, len));
                i += len;
            }
            continue;
        }
        ++i;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) AppendHexByte(out, "\\u00", c);
                else out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
}

std::string FormatUtcTicks(uint64_t ticks) {
    const uint64_t seconds = ticks / 10000000;
    const auto fraction = static_cast<uint32_t>(ticks % 10000000);
    // Days since 1601-01-01 to a civil date (proleptic Gregorian); 1601 starts
    // a 400-year cycle, so the era arithmetic needs no negative numbers.
    uint64_t days = seconds / 86400;
    const uint64_t secondOfDay = seconds % 86400;
    const uint64_t era = days / 146097;
    const uint64_t dayOfEra = days % 146097;
    const uint64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const uint64_t year = 1601 + era * 400 + yearOfEra;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    // Twelve steps at most: dayOfYear is below 366.
    while (month < 11) {
        const uint64_t length = kMonthDays[month] + (month == 1 && leap ? 1 : 0);
        if (dayOfYear < length) break;
        dayOfYear -= length;
        ++month;
    }
    std::string text = Format("%04llu-%02d-%02llu", static_cast<unsigned long long>(year), month + 1,
                              static_cast<unsigned long long>(dayOfYear + 1));
    text += Format("T%02llu:%02llu:%02llu", static_cast<unsigned long long>(secondOfDay / 3600),
                   static_cast<unsigned long long>(secondOfDay / 60 % 60),
                   static_cast<unsigned long long>(secondOfDay % 60));
    if (fraction != 0) {
        std::string digits = Format(".%07u", fraction);
        while (digits.back() == '0') digits.pop_back();
        text += digits;
    }
    text.push_back('Z');
    return text;
}

uint64_t UnixToUtcTicks(int64_t seconds, uint32_t nanoseconds) {
    constexpr int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
    if (seconds < -kUnixEpochSeconds) return 0;
    return static_cast<uint64_t>(seconds + kUnixEpochSeconds) * 10000000 + nanoseconds / 100;
}

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscapedControls(out, text);
    return out;
}

}  // namespace delvora

namespace delvora {

std::string HexCopyText(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3 + bytes.size() / 8);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 16 == 0) out += "\r\n";
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
        out += ' ';
    }
    return out;
}

std::string PlainCopyBytes(std::span<const uint8_t> bytes) {
    std::string out(bytes.begin(), bytes.end());
    for (char& c : out)
        if (static_cast<uint8_t>(c) < 32) c = '.';
    return out;
}

}  // namespace delvora
