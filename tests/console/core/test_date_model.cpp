// The date of the date and time picker: the month and year rules, the padding and the OK text.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "console/core/date_model.h"

namespace corvane {
namespace {

struct Ymd {
  int y, m, d;
};

TEST(DateModel, MonthRule) {
  struct Case {
    Ymd from;
    const char* month;
    Ymd to;
  };
  const Case cases[] = {
      {{2023, 1, 31}, "4", {2023, 4, 30}},
      {{2023, 1, 31}, "2", {2023, 2, 28}},
      {{2024, 1, 31}, "2", {2024, 2, 28}},  // February counts 28 days, also in a leap year
      {{2024, 4, 30}, "5", {2024, 5, 31}},
      {{2024, 1, 30}, "1", {2024, 1, 31}},  // the same month: a 30th moves to the 31st
      {{2024, 3, 15}, "7", {2024, 7, 15}},
      {{2024, 3, 29}, "2", {2024, 2, 29}},
      {{2024, 5, 15}, "x", {2024, 1, 15}},  // not a number: month 1
      {{2024, 5, 31}, "x", {2024, 1, 31}},
      {{2024, 5, 15}, "13", {2024, 5, 15}},  // out of range: nothing
      {{2024, 5, 31}, "0", {2024, 5, 31}},
      {{2024, 8, 31}, "9", {2024, 9, 30}},
  };
  for (const Case& c : cases) {
    CalendarDate date(c.from.y, c.from.m, c.from.d);
    ApplyMonthField(date, c.month);
    EXPECT_EQ(date.Year(), c.to.y) << c.month;
    EXPECT_EQ(date.Month(), c.to.m) << c.from.m << "/" << c.from.d << " -> " << c.month;
    EXPECT_EQ(date.Day(), c.to.d) << c.from.m << "/" << c.from.d << " -> " << c.month;
  }
}

// A start before the first year the fields can show is shown, and taken, in that year.
TEST(DateModel, ShownDateKeepsToTheYearsTheFieldsShow) {
  struct Case {
    Ymd stored;
    Ymd shown;
  };
  const Case cases[] = {
      {{1949, 6, 15}, {1950, 6, 15}},   {{1601, 12, 31}, {1950, 12, 31}},
      {{1948, 2, 29}, {1950, 2, 28}},  // 1950 has no 29 February
      {{1950, 1, 1}, {1950, 1, 1}},     {{2024, 2, 29}, {2024, 2, 29}},
      {{9999, 12, 31}, {9999, 12, 31}},
  };
  for (const Case& c : cases) {
    const CalendarDate date = ShownDate(c.stored.y, c.stored.m, c.stored.d);
    EXPECT_EQ(date.Year(), c.shown.y) << c.stored.y;
    EXPECT_EQ(date.Month(), c.shown.m) << c.stored.y;
    EXPECT_EQ(date.Day(), c.shown.d) << c.stored.y;
  }
  EXPECT_THROW(ShownDate(2023, 2, 29), DateEncodingError);
  EXPECT_THROW(ShownDate(1900, 13, 1), DateEncodingError);
}

TEST(DateModel, ImpossibleDatesAndTheYear) {
  CalendarDate date(2023, 1, 29);
  EXPECT_THROW(ApplyMonthField(date, "2"), DateEncodingError);
  EXPECT_EQ(date.Month(), 1);  // unchanged
  EXPECT_EQ(date.Day(), 29);

  CalendarDate leap(2024, 2, 29);
  EXPECT_THROW(ApplyYearField(leap, "2023"), DateEncodingError);
  EXPECT_EQ(leap.Year(), 2024);
  ApplyYearField(leap, "2028");
  EXPECT_EQ(leap.Year(), 2028);
  EXPECT_THROW(ApplyYearField(leap, "abc"), DateEncodingError);  // 1950 has no 29 February
  EXPECT_EQ(leap.Year(), 2028);
  CalendarDate plain(2024, 3, 1);
  ApplyYearField(plain, "abc");
  EXPECT_EQ(plain.Year(), 1950);

  // Setting one part: values out of range do nothing.
  plain.SetDay(32);
  plain.SetDay(0);
  plain.SetMonth(13);
  EXPECT_EQ(plain.Day(), 1);
  EXPECT_EQ(plain.Month(), 3);
  EXPECT_THROW(CalendarDate(2023, 2, 29), DateEncodingError);
}

TEST(DateModel, PaddingAndOkText) {
  EXPECT_EQ(PadTwoDigits("1"), "01");
  EXPECT_EQ(PadTwoDigits("0"), "00");
  EXPECT_EQ(PadTwoDigits("12"), "12");
  EXPECT_EQ(PadTwoDigits(""), "");

  const CalendarDate date(2024, 5, 1);
  EXPECT_EQ(PickedDateTimeText(date, "0", "00"), "2024-05-01 00:00:00");  // midnight completed
  EXPECT_EQ(PickedDateTimeText(date, "07", "5"), "2024-05-01 07:05:00");
  EXPECT_EQ(PickedDateTimeText(date, "23", "59"), "2024-05-01 23:59:00");
  for (const auto& [hour, minute] : {std::pair{"x", "0"}, {"1", ""}, {"24", "0"}, {"0", "60"}, {"-1", "0"}}) {
    EXPECT_THROW(PickedDateTimeText(date, hour, minute), ConversionError) << hour << ":" << minute;
  }
}

}  // namespace
}  // namespace corvane
