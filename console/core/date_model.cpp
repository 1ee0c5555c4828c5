#include "console/core/date_model.h"

#include <algorithm>
#include <limits>

namespace corvane {
namespace {

[[noreturn]] void EncodingError() { throw DateEncodingError("Invalid argument to date encode"); }

bool Exists(int year, int month, int day) noexcept {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

int StrictInteger(std::string_view text) {
  constexpr int kNone = std::numeric_limits<int>::min();
  const int value = FieldInteger(text, kNone);
  if (value == kNone) throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
  return value;
}

}  // namespace

CalendarDate::CalendarDate(int year, int month, int day) { SetDate(year, month, day); }

void CalendarDate::SetDate(int year, int month, int day) {
  if (!Exists(year, month, day)) EncodingError();
  year_ = year;
  month_ = month;
  day_ = day;
}

void CalendarDate::SetYear(int year) {
  if (year < 1 || year == year_) return;
  SetDate(year, month_, day_);
}

void CalendarDate::SetMonth(int month) {
  if (month < 1 || month > 12 || month == month_) return;
  SetDate(year_, month, day_);
}

void CalendarDate::SetDay(int day) {
  if (day < 1 || day > DaysInMonth(year_, month_) || day == day_) return;
  SetDate(year_, month_, day);
}

CalendarDate ShownDate(int year, int month, int day) {
  if (year >= kFirstShownYear && year <= kLastShownYear) return CalendarDate(year, month, day);
  const int shownYear = year < kFirstShownYear ? kFirstShownYear : kLastShownYear;
  if (month < 1 || month > 12 || day < 1) EncodingError();
  return CalendarDate(shownYear, month, std::min(day, DaysInMonth(shownYear, month)));
}

int FieldInteger(std::string_view text, int fallback) noexcept {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return fallback;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return fallback;
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<int>::max()) return fallback;
  }
  return static_cast<int>(negative ? -value : value);
}

void ApplyMonthField(CalendarDate& date, std::string_view monthText) {
  const int m = FieldInteger(monthText, 1);
  if (date.Day() < 30) {
    date.SetMonth(m);
    return;
  }
  switch (m) {
    case 4:
    case 6:
    case 9:
    case 11:
      date.SetDay(30);
      date.SetMonth(m);
      break;
    case 1:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10:
    case 12:
      date.SetMonth(m);
      date.SetDay(31);
      break;
    case 2:
      date.SetDay(28);
      date.SetMonth(2);
      break;
    default: break;
  }
}

void ApplyYearField(CalendarDate& date, std::string_view yearText) { date.SetYear(FieldInteger(yearText, 1950)); }

std::string PadTwoDigits(std::string text) {
  if (text.size() == 1) text.insert(text.begin(), '0');
  return text;
}

std::string PickedDateTimeText(const CalendarDate& date, std::string_view hourText, std::string_view minuteText) {
  const int hour = StrictInteger(hourText);
  const int minute = StrictInteger(minuteText);
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) {
    throw ConversionError("Invalid argument to time encode");
  }
  LocalDateTime t;
  t.year = date.Year();
  t.month = date.Month();
  t.day = date.Day();
  t.hour = hour;
  t.minute = minute;
  return CompleteDateOnlyText(FormatDateTimeText(t));
}

}  // namespace corvane
