// The date of the date and time picker, without its window: the month grid's date and the rules
// by which the month and year fields steer it, the two-digit padding of the fields, and the text
// that OK hands to the scheduler editor's start field.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "settings/date_time_text.h"

namespace corvane {

// A date that does not exist (29 February of a common year, for instance).
class DateEncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A field whose text is not a valid integer, or an hour or minute out of range.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The month grid's date.
class CalendarDate {
 public:
  CalendarDate() = default;
  // Throws DateEncodingError for a date that does not exist.
  CalendarDate(int year, int month, int day);

  int Year() const noexcept { return year_; }
  int Month() const noexcept { return month_; }
  int Day() const noexcept { return day_; }

  // The whole date. Throws DateEncodingError for a date that does not exist (the date stays).
  void SetDate(int year, int month, int day);
  // One part alone. Nothing happens when the value is below 1, a month above 12, a day beyond
  // the shown month's length, or the value is the current one; otherwise the date takes it, and
  // a date that does not exist throws DateEncodingError and leaves the date unchanged.
  void SetYear(int year);
  void SetMonth(int month);
  void SetDay(int day);

 private:
  int year_ = 2000;
  int month_ = 1;
  int day_ = 1;
};

// The years the year field (and the month grid) can show.
inline constexpr int kFirstShownYear = 1950;
inline constexpr int kLastShownYear = 9999;

// The date as the fields can show it: a year before the first shown year is shown (and taken) as
// that year, month and day kept, the day cut to that month's length (29 February 1948 shows as
// 28 February 1950). A date within the shown years stays as it is.
CalendarDate ShownDate(int year, int month, int day);

// The text of a field read as an integer (an optional sign and decimal digits), or `fallback`.
int FieldInteger(std::string_view text, int fallback) noexcept;

// The month field changed: m is its text read as an integer (1 when it is none), d the day.
//   d below 30: month := m.
//   m in 4, 6, 9, 11: day := 30, then month := m.
//   m in 1, 3, 5, 7, 8, 10, 12: month := m, then day := 31.
//   m = 2: day := 28, then month := 2.
// So a day of 30 or 31 moves to the last day of the new month, February counted as 28 days.
void ApplyMonthField(CalendarDate& date, std::string_view monthText);

// The year field changed: year := its text read as an integer, 1950 when it is none.
void ApplyYearField(CalendarDate& date, std::string_view yearText);

// A "0" in front of a text that is exactly one character long.
std::string PadTwoDigits(std::string text);

// OK: the date-time of the grid's date at the given hour and minute (seconds 0) as date-time
// text, " 00:00:00" appended to a 10-character text. Throws ConversionError for a field that is
// not an integer, an hour outside 0..23 or a minute outside 0..59.
std::string PickedDateTimeText(const CalendarDate& date, std::string_view hourText, std::string_view minuteText);

}  // namespace corvane
