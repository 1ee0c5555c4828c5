// The date-time text of the settings files, the log file and the output file.
//
// One fixed form, used by every writer and reader:
//   "YYYY-MM-DD hh:mm:ss"   (24-hour clock, every field zero-padded)
//   "YYYY-MM-DD"            when the time of day is exactly midnight
// The date picker completes a 10-character date-only text with " 00:00:00", so the far-future
// start "9999-12-31 00:00:00" and every picker text parse as well.
//
// Times are local wall-clock times: no time-zone conversion happens anywhere here, so a text that
// falls into a daylight-saving gap parses, and steps of hours or minutes move the wall clock.
#pragma once

#include <compare>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane {

struct LocalDateTime {
  int year = 1;         // 1..9999
  int month = 1;        // 1..12
  int day = 1;          // 1..days in month
  int hour = 0;         // 0..23
  int minute = 0;       // 0..59
  int second = 0;       // 0..59
  int millisecond = 0;  // 0..999; not part of the text

  friend auto operator<=>(const LocalDateTime&, const LocalDateTime&) = default;
  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Raised for a text that is not a date-time text and for arithmetic past the year 9999.
class DateTimeTextError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The source of "now". Tests hand in a fixed clock.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime Now() const = 0;
};

// The system's local wall-clock time (honours TZ).
class SystemClock final : public Clock {
 public:
  LocalDateTime Now() const override;
};

// Always answers the time it was given (or last set).
class FixedClock final : public Clock {
 public:
  explicit FixedClock(LocalDateTime now) : now_(now) {}
  LocalDateTime Now() const override { return now_; }
  void Set(LocalDateTime now) { now_ = now; }

 private:
  LocalDateTime now_;
};

bool IsLeapYear(int year) noexcept;
int DaysInMonth(int year, int month) noexcept;
// True when every field lies in its range (the day within its month).
bool IsValid(const LocalDateTime& t) noexcept;

// The text of `t`; the time is left out when it is exactly midnight (milliseconds included).
// Throws DateTimeTextError when `t` is not valid.
std::string FormatDateTimeText(const LocalDateTime& t);

// Parses "YYYY-MM-DD hh:mm:ss" or "YYYY-MM-DD" (midnight), nothing else: no blanks, every field
// with exactly its digits, a real calendar date. Milliseconds of the result are 0.
std::optional<LocalDateTime> TryParseDateTimeText(std::string_view text) noexcept;
// Same, but throws DateTimeTextError ("'<text>' is not a valid date and time").
LocalDateTime ParseDateTimeText(std::string_view text);

// The date picker's completion: a text of exactly 10 characters gets " 00:00:00" appended;
// any other text is returned unchanged.
std::string CompleteDateOnlyText(std::string text);

// The text of the clock's current time.
std::string NowText(const Clock& clock);

// The fixed far-future start of a recurring scheduled job whose period is missing.
inline constexpr std::string_view kFarFutureText = "9999-12-31 00:00:00";

// Wall-clock arithmetic. A negative count steps backwards. Throws DateTimeTextError when the
// result would leave the years 1..9999.
LocalDateTime AddDays(const LocalDateTime& t, long long days);
LocalDateTime AddHours(const LocalDateTime& t, long long hours);
LocalDateTime AddMinutes(const LocalDateTime& t, long long minutes);
// Calendar months; the day is clamped to the last day of the target month, the time kept.
LocalDateTime AddMonths(const LocalDateTime& t, long long months);

}  // namespace corvane
