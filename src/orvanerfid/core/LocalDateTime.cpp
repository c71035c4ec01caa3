#include "orvanerfid/core/LocalDateTime.h"

#include <ctime>

namespace orvane::localdatetime {
namespace {

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<Fields> encode(TimePoint t, int& year) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    year = local.tm_year + 1900;
    if (year < 2000 || year > 2255) return std::nullopt;
    return Fields{static_cast<uint8_t>(year - 2000),   static_cast<uint8_t>(local.tm_mon + 1),
                  static_cast<uint8_t>(local.tm_mday), static_cast<uint8_t>(local.tm_hour),
                  static_cast<uint8_t>(local.tm_min),  static_cast<uint8_t>(local.tm_sec)};
}

std::optional<TimePoint> decode(const Fields& f) {
    const int year = 2000 + f[0];
    const int month = f[1];
    const int day = f[2];
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || f[3] > 23 ||
        f[4] > 59 || f[5] > 59) {
        return std::nullopt;
    }
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = f[3];
    local.tm_min = f[4];
    local.tm_sec = f[5];
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
    return std::chrono::system_clock::from_time_t(seconds);
}

}  // namespace orvane::localdatetime
