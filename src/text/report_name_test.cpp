#include "text/report_name.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/platform.h"

namespace {

std::tm calendar(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

std::tm localFields(std::time_t when) {
  std::tm local{};
  EXPECT_TRUE(platform::localTime(when, local));
  return local;
}

// The start time text built field by field, independently of strftime.
std::string expectedTimeText(const std::tm& t) {
  static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %d", days[t.tm_wday],
                months[t.tm_mon], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                t.tm_year + 1900);
  return buf;
}

}  // namespace

TEST(ReportName, PadsEveryFieldButTheYear) {
  struct Case {
    std::tm local;
    const char* prefix;
    const char* name;
  };
  const Case cases[] = {
      {calendar(2026, 1, 2, 3, 4, 5), "tag_report", "tag_report_20260102_030405.txt"},
      {calendar(2026, 12, 8, 9, 5, 3), "tag_report", "tag_report_20261208_090503.txt"},
      {calendar(1999, 12, 31, 23, 59, 59), "x", "x_19991231_235959.txt"},
      {calendar(2030, 10, 10, 10, 10, 10), "", "_20301010_101010.txt"},
      {calendar(999, 1, 1, 0, 0, 0), "r", "r_9990101_000000.txt"},
      {calendar(12345, 6, 7, 8, 9, 0), "r", "r_123450607_080900.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatLogFileName(c.prefix, c.local), c.name);
  }
}

TEST(ReportName, NamesTheCurrentLocalTime) {
  const std::time_t before = std::time(nullptr);
  const std::string name = generateLogFileName("tag_report");
  const std::time_t after = std::time(nullptr);
  const std::string early = formatLogFileName("tag_report", localFields(before));
  const std::string late = formatLogFileName("tag_report", localFields(after));
  EXPECT_TRUE(name == early || name == late) << name;
  // Two calls in the same second give the same name.
  if (before == after) {
    EXPECT_EQ(name, early);
  }
}

TEST(ReportName, StartTimeTextHasZeroPaddedDay) {
  const std::time_t before = std::time(nullptr);
  const std::string text = currentTimeText();
  const std::time_t after = std::time(nullptr);
  EXPECT_EQ(text.size(), 24u) << text;
  EXPECT_TRUE(text == expectedTimeText(localFields(before)) ||
              text == expectedTimeText(localFields(after)))
      << text;
  EXPECT_NE(text[8], ' ') << "the day is padded with a zero, not a blank";
}
