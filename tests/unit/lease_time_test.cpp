#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "report.h"

// The report's test pins 2000-02-29 and the range's last second.
TEST(LeaseTimeText, CalendarEdges)
{
    EXPECT_STREQ(LeaseTimeText(0), "Thu Jan 01 00:00:00 1970\n");
    EXPECT_STREQ(LeaseTimeText(-86400), "Wed Dec 31 00:00:00 1969\n");
}

// The runtime's own conversion, formatted the same way, as an independent
// check over the whole range of the lease members.
static std::string ReferenceText(int32_t seconds)
{
    struct tm fields;
#ifdef _WIN32
    __time64_t value = seconds;
    if (_gmtime64_s(&fields, &value) != 0) {
        return "";
    }
#else
    time_t value = seconds;
    if (gmtime_r(&value, &fields) == NULL) {
        return "";
    }
#endif
    char text[64];
    snprintf(text, sizeof(text), "%.3s %.3s %02d %02d:%02d:%02d %02d%02d\n",
             &"SunMonTueWedThuFriSat"[fields.tm_wday * 3],
             &"JanFebMarAprMayJunJulAugSepOctNovDec"[fields.tm_mon * 3], fields.tm_mday,
             fields.tm_hour, fields.tm_min, fields.tm_sec, fields.tm_year / 100 + 19,
             fields.tm_year % 100);
    return text;
}

TEST(LeaseTimeText, SweepMatchesTheRuntimeConversion)
{
    // A prime step walks through every weekday, month, leap rule and time
    // of day in the range.
    int checked = 0;
    for (int64_t seconds = INT32_MIN; seconds <= INT32_MAX; seconds += 7919 * 13) {
        std::string expected = ReferenceText((int32_t)seconds);
        if (expected.empty()) {
            continue;
        }
        ASSERT_EQ(LeaseTimeText((int32_t)seconds), expected) << seconds;
        checked++;
    }
    EXPECT_GT(checked, 20000);
}
