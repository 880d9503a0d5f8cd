#include <cstdint>

#include "report.h"

static char* PutTwoDigits(char* out, int64_t value)
{
    out[0] = (char)('0' + value / 10 % 10);
    out[1] = (char)('0' + value % 10);
    return out + 2;
}

static char* PutThree(char* out, const char* names, int64_t index)
{
    for (int i = 0; i < 3; i++) {
        *out++ = names[index * 3 + i];
    }
    return out;
}

// The arithmetic is done here rather than by the runtime's gmtime: some
// runtimes refuse times before 1970, and the text must be the same on every
// build. Negative values (a lease field with its top bit set) convert like
// any other, to a date between 1901 and 1969.
const char* LeaseTimeText(int32_t seconds)
{
    static char text[26];
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        days -= 1;
    }
    int64_t weekday = ((days + 4) % 7 + 7) % 7;  // 1970-01-01 was a Thursday

    // Civil date from a day count, with March as the first month of the year
    // so that the leap day falls at the end.
    int64_t shifted = days + 719468;
    int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    int64_t dayOfEra = shifted - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    int64_t month = monthIndex < 10 ? monthIndex + 2 : monthIndex - 10;  // January 0
    int64_t yearsSince1900 = yearOfEra + era * 400 + (month < 2 ? 1 : 0) - 1900;

    char* out = text;
    out = PutThree(out, "SunMonTueWedThuFriSat", weekday);
    *out++ = ' ';
    out = PutThree(out, "JanFebMarAprMayJunJulAugSepOctNovDec", month);
    *out++ = ' ';
    out = PutTwoDigits(out, day);
    *out++ = ' ';
    out = PutTwoDigits(out, rest / 3600);
    *out++ = ':';
    out = PutTwoDigits(out, rest / 60 % 60);
    *out++ = ':';
    out = PutTwoDigits(out, rest % 60);
    *out++ = ' ';
    out = PutTwoDigits(out, yearsSince1900 / 100 + 19);
    out = PutTwoDigits(out, yearsSince1900 % 100);
    *out++ = '\n';
    *out = '\0';
    return text;
}
