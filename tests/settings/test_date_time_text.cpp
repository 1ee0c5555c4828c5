#include "settings/date_time_text.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <limits>

namespace corvane {
namespace {

LocalDateTime DT(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return LocalDateTime{y, mo, d, h, mi, s, ms};
}

// Sets TZ for the life of the object and restores the old value.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = ::getenv("TZ")) old_ = old;
    had_ = ::getenv("TZ") != nullptr;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      ::setenv("TZ", old_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(DateTimeText, FormatAndParseRoundTrip) {
  struct Case {
    LocalDateTime t;
    const char* text;
  };
  const Case cases[] = {
      {DT(2024, 3, 5, 14, 7, 9), "2024-03-05 14:07:09"},
      {DT(2024, 3, 5), "2024-03-05"},  // exactly midnight: the date alone
      {DT(2024, 3, 5, 0, 0, 1), "2024-03-05 00:00:01"},
      {DT(2024, 3, 5, 0, 1, 0), "2024-03-05 00:01:00"},
      {DT(2024, 3, 5, 23, 59, 59), "2024-03-05 23:59:59"},
      {DT(2024, 2, 29, 12), "2024-02-29 12:00:00"},
      {DT(2000, 2, 29), "2000-02-29"},
      {DT(1, 1, 1, 1, 2, 3), "0001-01-01 01:02:03"},
      {DT(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDateTimeText(c.t), c.text);
    EXPECT_EQ(ParseDateTimeText(c.text), c.t) << c.text;
  }
}

TEST(DateTimeText, MidnightAndThePickersCompletion) {
  // Milliseconds are not in the text, but a time just after midnight is not midnight.
  EXPECT_EQ(FormatDateTimeText(DT(2024, 3, 5, 0, 0, 0, 1)), "2024-03-05 00:00:00");
  // The picker completes the 10-character date-only text; both forms give the same time.
  const std::string picked = CompleteDateOnlyText(FormatDateTimeText(DT(2024, 3, 5)));
  EXPECT_EQ(picked, "2024-03-05 00:00:00");
  EXPECT_EQ(ParseDateTimeText(picked), ParseDateTimeText("2024-03-05"));
  EXPECT_EQ(CompleteDateOnlyText("2024-03-05 10:00:00"), "2024-03-05 10:00:00");
  EXPECT_EQ(CompleteDateOnlyText("5.3.2024"), "5.3.2024");
  // The far-future start parses, and lies after every other time.
  EXPECT_EQ(ParseDateTimeText(kFarFutureText), DT(9999, 12, 31));
  EXPECT_LT(DT(9999, 12, 30, 23, 59, 59, 999), ParseDateTimeText(kFarFutureText));
  EXPECT_EQ(FormatDateTimeText(ParseDateTimeText(kFarFutureText)), "9999-12-31");
}

TEST(DateTimeText, BadTextsAreRefused) {
  const char* bad[] = {
      "",
      "2024-03-05 ",
      " 2024-03-05",
      "2024-03-05 14:07",
      "2024-03-05T14:07:09",
      "2024/03/05",
      "2024-3-05",
      "24-03-05",
      "+024-03-05",
      "2024-03-05 14:07:09.5",
      "2024-03-05 1:07:09 ",
      "2024-03-05  4:07:09",
      "0000-01-01",
      "2024-00-10",
      "2024-13-01",
      "2024-01-00",
      "2024-01-32",
      "2024-04-31",
      "2023-02-29",
      "1900-02-29",
      "2024-03-05 24:00:00",
      "2024-03-05 12:60:00",
      "2024-03-05 12:00:60",
      "\xA7\xA7\xA7\xA7-03-05",
      "05.03.2024",
  };
  for (const char* text : bad) {
    EXPECT_FALSE(TryParseDateTimeText(text).has_value()) << text;
    try {
      ParseDateTimeText(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const DateTimeTextError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid date and time");
    }
  }
  EXPECT_THROW(FormatDateTimeText(DT(2023, 2, 29)), DateTimeTextError);
  EXPECT_THROW(FormatDateTimeText(DT(2024, 1, 1, 24)), DateTimeTextError);
  EXPECT_THROW(FormatDateTimeText(DT(10000, 1, 1)), DateTimeTextError);
}

TEST(DateTimeText, WallClockArithmetic) {
  struct Case {
    const char* what;
    LocalDateTime got, want;
  };
  const LocalDateTime jan31 = DT(2024, 1, 31, 10, 0, 0);
  const Case cases[] = {
      {"month, clamped in a leap year", AddMonths(jan31, 1), DT(2024, 2, 29, 10)},
      {"month, clamped in a common year", AddMonths(DT(2023, 1, 31, 10), 1), DT(2023, 2, 28, 10)},
      {"the clamped day stays", AddMonths(AddMonths(jan31, 1), 1), DT(2024, 3, 29, 10)},
      {"months across the year", AddMonths(DT(2024, 11, 15, 8, 30, 5), 3), DT(2025, 2, 15, 8, 30, 5)},
      {"months backwards", AddMonths(DT(2024, 1, 15), -1), DT(2023, 12, 15)},
      {"many months", AddMonths(DT(2024, 1, 31), 25), DT(2026, 2, 28)},
      {"a day over the leap day", AddDays(DT(2024, 2, 28, 23), 1), DT(2024, 2, 29, 23)},
      {"days across years", AddDays(DT(2023, 12, 31, 12), 366), DT(2024, 12, 31, 12)},
      {"days backwards", AddDays(DT(2024, 3, 1), -1), DT(2024, 2, 29)},
      {"hours across midnight", AddHours(DT(2024, 12, 31, 23, 15, 42, 7), 2), DT(2025, 1, 1, 1, 15, 42, 7)},
      {"minutes keep the seconds", AddMinutes(DT(2023, 12, 31, 23, 59, 30), 1), DT(2024, 1, 1, 0, 0, 30)},
      {"999 minutes", AddMinutes(DT(2024, 3, 5), 999), DT(2024, 3, 5, 16, 39)},
      {"zero", AddDays(jan31, 0), jan31},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(DateTimeText, ArithmeticPastTheYear9999IsAnError) {
  EXPECT_THROW(AddMonths(DT(9999, 12, 1), 1), DateTimeTextError);
  EXPECT_THROW(AddHours(DT(9999, 12, 31, 23), 1), DateTimeTextError);
  EXPECT_THROW(AddDays(DT(1, 1, 1), -1), DateTimeTextError);
  EXPECT_THROW(AddMinutes(DT(2024, 1, 1), std::numeric_limits<long long>::max()), DateTimeTextError);
  EXPECT_THROW(AddDays(DT(2024, 1, 1), std::numeric_limits<long long>::min()), DateTimeTextError);
  EXPECT_THROW(AddMonths(DT(2024, 1, 1), std::numeric_limits<long long>::min()), DateTimeTextError);
  EXPECT_EQ(AddMonths(DT(9999, 11, 30), 1), DT(9999, 12, 30));
}

TEST(DateTimeText, DaylightSavingGapIsPlainWallClock) {
  ScopedTimeZone berlin("Europe/Berlin");
  // 2024-03-31 02:00..03:00 does not exist in Berlin; the text still parses and formats back.
  const LocalDateTime gap = ParseDateTimeText("2024-03-31 02:30:00");
  EXPECT_EQ(gap, DT(2024, 3, 31, 2, 30));
  EXPECT_EQ(FormatDateTimeText(gap), "2024-03-31 02:30:00");
  // Hour steps stay on the wall clock, through the gap and through the repeated hour.
  EXPECT_EQ(AddHours(DT(2024, 3, 31, 1, 30), 1), gap);
  EXPECT_EQ(AddHours(DT(2024, 10, 27, 2, 30), 1), DT(2024, 10, 27, 3, 30));
  EXPECT_EQ(AddDays(DT(2024, 3, 30, 2, 30), 1), gap);
}

LocalDateTime FromTm(const struct tm& tm) {
  return DT(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

TEST(DateTimeText, SystemClockGivesTheLocalWallClock) {
  for (const char* tz : {"UTC", "Europe/Berlin", "America/New_York"}) {
    if (std::string(tz) != "UTC" && !std::filesystem::exists(std::filesystem::path("/usr/share/zoneinfo") / tz)) {
      continue;
    }
    ScopedTimeZone zone(tz);
    const time_t before = ::time(nullptr);
    LocalDateTime now = SystemClock().Now();
    const time_t after = ::time(nullptr);
    struct tm a {
    }, b{};
    ::localtime_r(&before, &a);
    ::localtime_r(&after, &b);
    EXPECT_TRUE(IsValid(now)) << tz;
    now.millisecond = 0;
    EXPECT_LE(FromTm(a), now) << tz;
    EXPECT_LE(now, FromTm(b)) << tz;
  }
}

TEST(DateTimeText, InjectedClock) {
  FixedClock clock(DT(2024, 6, 1, 9, 5, 0, 250));
  EXPECT_EQ(NowText(clock), "2024-06-01 09:05:00");
  clock.Set(DT(2024, 6, 2));
  EXPECT_EQ(NowText(clock), "2024-06-02");
  // Due test: strictly later only.
  const LocalDateTime start = ParseDateTimeText("2024-06-02");
  EXPECT_FALSE(clock.Now() > start);
  clock.Set(DT(2024, 6, 2, 0, 0, 0, 1));
  EXPECT_TRUE(clock.Now() > start);
}

}  // namespace
}  // namespace corvane
