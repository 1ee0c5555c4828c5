#include "settings/date_time_text.h"

#include <cstdio>
#include <ctime>

namespace corvane {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (valid for any year here).
long long DaysFromCivil(int y, int m, int d) noexcept {
  const long long yy = static_cast<long long>(y) - (m <= 2 ? 1 : 0);
  const long long era = (yy >= 0 ? yy : yy - 399) / 400;
  const long long yoe = yy - era * 400;
  const long long mp = (m + 9) % 12;
  const long long doy = (153 * mp + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) noexcept {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

const long long kMinDay = DaysFromCivil(1, 1, 1);
const long long kMaxDay = DaysFromCivil(9999, 12, 31);
constexpr long long kMinutesPerDay = 24 * 60;

[[noreturn]] void OutOfRange() { throw DateTimeTextError("The date-time lies outside the years 1 to 9999"); }

void CheckValid(const LocalDateTime& t) {
  if (!IsValid(t)) throw DateTimeTextError("Invalid date-time value");
}

// Minutes since 1970-01-01 00:00 of the wall-clock time; seconds and milliseconds are carried
// separately.
long long MinuteIndex(const LocalDateTime& t) noexcept {
  return DaysFromCivil(t.year, t.month, t.day) * kMinutesPerDay + t.hour * 60LL + t.minute;
}

LocalDateTime FromMinuteIndex(long long minutes, const LocalDateTime& keep) {
  long long days = minutes / kMinutesPerDay;
  long long rest = minutes % kMinutesPerDay;
  if (rest < 0) {
    rest += kMinutesPerDay;
    --days;
  }
  if (days < kMinDay || days > kMaxDay) OutOfRange();
  LocalDateTime r = keep;
  CivilFromDays(days, r.year, r.month, r.day);
  r.hour = static_cast<int>(rest / 60);
  r.minute = static_cast<int>(rest % 60);
  return r;
}

LocalDateTime AddMinuteCount(const LocalDateTime& t, long long count, long long per_unit) {
  CheckValid(t);
  // Anything beyond this many minutes leaves the years 1..9999 from any start.
  constexpr long long kSpan = 10000LL * 366 * kMinutesPerDay;
  if (count > kSpan / per_unit || count < -kSpan / per_unit) OutOfRange();
  return FromMinuteIndex(MinuteIndex(t) + count * per_unit, t);
}

// Reads exactly `n` decimal digits at `pos`.
bool Digits(std::string_view s, std::size_t pos, std::size_t n, int& out) noexcept {
  int v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

}  // namespace

LocalDateTime SystemClock::Now() const {
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  const time_t seconds = ts.tv_sec;
  struct tm local {};
  ::localtime_r(&seconds, &local);
  LocalDateTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second stays in its minute
  t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return t;
}

bool IsLeapYear(int year) noexcept { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) noexcept {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValid(const LocalDateTime& t) noexcept {
  return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
         t.second >= 0 && t.second <= 59 && t.millisecond >= 0 && t.millisecond <= 999;
}

std::string FormatDateTimeText(const LocalDateTime& t) {
  CheckValid(t);
  char buffer[80];
  if (t.hour == 0 && t.minute == 0 && t.second == 0 && t.millisecond == 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
  }
  return buffer;
}

std::optional<LocalDateTime> TryParseDateTimeText(std::string_view s) noexcept {
  if (s.size() != 10 && s.size() != 19) return std::nullopt;
  LocalDateTime t;
  if (!Digits(s, 0, 4, t.year) || s[4] != '-' || !Digits(s, 5, 2, t.month) || s[7] != '-' ||
      !Digits(s, 8, 2, t.day)) {
    return std::nullopt;
  }
  if (s.size() == 19) {
    if (s[10] != ' ' || !Digits(s, 11, 2, t.hour) || s[13] != ':' || !Digits(s, 14, 2, t.minute) || s[16] != ':' ||
        !Digits(s, 17, 2, t.second)) {
      return std::nullopt;
    }
  }
  if (!IsValid(t)) return std::nullopt;
  return t;
}

LocalDateTime ParseDateTimeText(std::string_view text) {
  if (auto t = TryParseDateTimeText(text)) return *t;
  throw DateTimeTextError("'" + std::string(text) + "' is not a valid date and time");
}

std::string CompleteDateOnlyText(std::string text) {
  if (text.size() == 10) text += " 00:00:00";
  return text;
}

std::string NowText(const Clock& clock) { return FormatDateTimeText(clock.Now()); }

LocalDateTime AddDays(const LocalDateTime& t, long long days) { return AddMinuteCount(t, days, kMinutesPerDay); }

LocalDateTime AddHours(const LocalDateTime& t, long long hours) { return AddMinuteCount(t, hours, 60); }

LocalDateTime AddMinutes(const LocalDateTime& t, long long minutes) { return AddMinuteCount(t, minutes, 1); }

LocalDateTime AddMonths(const LocalDateTime& t, long long months) {
  CheckValid(t);
  if (months > 12LL * 10000 || months < -12LL * 10000) OutOfRange();
  const long long index = static_cast<long long>(t.year) * 12 + (t.month - 1) + months;
  const long long year = index >= 0 ? index / 12 : (index - 11) / 12;
  if (year < 1 || year > 9999) OutOfRange();
  LocalDateTime r = t;
  r.year = static_cast<int>(year);
  r.month = static_cast<int>(index - year * 12) + 1;
  const int last = DaysInMonth(r.year, r.month);
  if (r.day > last) r.day = last;
  return r;
}

}  // namespace corvane
