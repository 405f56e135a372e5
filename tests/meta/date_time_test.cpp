// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "meta/date_time.h"

using namespace morrowtide::meta;

namespace {

constexpr double kMs = 1.0 / 86'400'000.0;

}  // namespace

TEST(DateTime, KnownValues) {
    EXPECT_EQ(encodeDateTime({1899, 12, 30}), 0.0);
    EXPECT_EQ(encodeDateTime({1899, 12, 31}), 1.0);
    EXPECT_EQ(encodeDateTime({1900, 3, 1}), 61.0);  // 1900 was no leap year
    EXPECT_EQ(encodeDateTime({2000, 1, 1}), 36526.0);
    EXPECT_DOUBLE_EQ(encodeDateTime({2007, 4, 1, 12, 0, 0, 0}), 39173.5);
    EXPECT_DOUBLE_EQ(encodeDateTime({2007, 4, 1, 11, 15, 2, 0}), 39173.0 + (11 * 3600 + 15 * 60 + 2) / 86400.0);

    EXPECT_EQ(decodeDateTime(0.0), (CivilDateTime{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(39173.75), (CivilDateTime{2007, 4, 1, 18, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(36526.0 + 59 + 0.5), (CivilDateTime{2000, 2, 29, 12, 0, 0, 0}));
}

TEST(DateTime, ValuesBeforeTheEpochAreLinear) {
    // -0.75 is 18 hours before the epoch: a quarter into the previous day.
    EXPECT_EQ(decodeDateTime(-0.75), (CivilDateTime{1899, 12, 29, 6, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(encodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -0.75);
    EXPECT_EQ(decodeDateTime(-1.0), (CivilDateTime{1899, 12, 29, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(-1.0 - 1000 * kMs), (CivilDateTime{1899, 12, 28, 23, 59, 59, 0}));
    EXPECT_EQ(decodeDateTime(encodeDateTime({1, 1, 1, 0, 0, 1, 0})), (CivilDateTime{1, 1, 1, 0, 0, 1, 0}));
}

TEST(DateTime, RoundsToTheMillisecondBeforeSplitting) {
    const double beforeMidnight = encodeDateTime({2005, 12, 31}) + 1.0 - 0.4 * kMs;
    EXPECT_EQ(decodeDateTime(beforeMidnight), (CivilDateTime{2006, 1, 1, 0, 0, 0, 0}));
    const double sixtenths = encodeDateTime({2005, 12, 31, 10, 0, 0, 0}) + 0.6 * kMs;
    EXPECT_EQ(decodeDateTime(sixtenths).millisecond, 1);
    // Adding an hour as hours/24 lands exactly on the next hour, also across a year end.
    EXPECT_EQ(decodeDateTime(encodeDateTime({2005, 12, 31, 23, 30, 0, 0}) + 1.0 / 24),
              (CivilDateTime{2006, 1, 1, 0, 30, 0, 0}));
}

TEST(DateTime, EverySecondOfSomeDaysRoundTrips) {
    for (const CivilDateTime day : {CivilDateTime{2004, 2, 29}, CivilDateTime{9999, 12, 31}, CivilDateTime{1, 1, 1},
                                    CivilDateTime{1899, 12, 29}}) {
        for (int s = 0; s < 86400; s += 7) {
            CivilDateTime v = day;
            v.hour = s / 3600;
            v.minute = s / 60 % 60;
            v.second = s % 60;
            v.millisecond = s % 1000;
            ASSERT_EQ(decodeDateTime(encodeDateTime(v)), v) << v.year << " second " << s;
        }
    }
}

TEST(DateTime, InvalidFieldsEncodeAsTheMissingDate) {
    EXPECT_EQ(encodeDateTime({2005, 2, 29}), 0.0);
    EXPECT_EQ(encodeDateTime({1900, 2, 29}), 0.0);
    EXPECT_NE(encodeDateTime({2000, 2, 29}), 0.0);
    EXPECT_EQ(encodeDateTime({2005, 13, 1}), 0.0);
    EXPECT_EQ(encodeDateTime({2005, 0, 1}), 0.0);
    EXPECT_EQ(encodeDateTime({2005, 4, 31}), 0.0);
    EXPECT_EQ(encodeDateTime({0, 1, 1}), 0.0);
    EXPECT_EQ(encodeDateTime({10000, 1, 1}), 0.0);
    EXPECT_EQ(encodeDateTime({2005, 1, 1, 24, 0, 0, 0}), 0.0);
    EXPECT_EQ(encodeDateTime({2005, 1, 1, 0, 60, 0, 0}), 0.0);
    EXPECT_EQ(encodeDateTime({2005, 1, 1, 0, 0, -1, 0}), 0.0);
    EXPECT_EQ(encodeDateTime({2005, 1, 1, 0, 0, 0, 1000}), 0.0);
    EXPECT_EQ(daysInMonth(2100, 2), 28);
    EXPECT_EQ(daysInMonth(2400, 2), 29);
    EXPECT_EQ(daysInMonth(2005, 13), 0);
}

TEST(DateTime, OutOfRangeValuesAreClampedNotUndefined) {
    EXPECT_EQ(decodeDateTime(std::numeric_limits<double>::quiet_NaN()), CivilDateTime{});
    EXPECT_EQ(decodeDateTime(std::numeric_limits<double>::infinity()), (CivilDateTime{9999, 12, 31, 23, 59, 59, 999}));
    EXPECT_EQ(decodeDateTime(-1e300), (CivilDateTime{1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(encodeDateTime({9999, 12, 31, 23, 59, 59, 0}) + 1.0).year, 9999);
    EXPECT_TRUE(isDateTimeInRange(0.0));
    EXPECT_TRUE(isDateTimeInRange(encodeDateTime({9999, 12, 31, 23, 59, 59, 999})));
    EXPECT_FALSE(isDateTimeInRange(encodeDateTime({9999, 12, 31}) + 1.0));
    EXPECT_FALSE(isDateTimeInRange(encodeDateTime({1, 1, 1}) - kMs));
    EXPECT_FALSE(isDateTimeInRange(std::numeric_limits<double>::quiet_NaN()));
}

TEST(DateTime, Weekdays) {
    EXPECT_EQ(isoWeekday(0.0), 6);                                       // 1899-12-30 was a Saturday
    EXPECT_EQ(isoWeekday(encodeDateTime({2007, 4, 1})), 7);              // Sunday
    EXPECT_EQ(isoWeekday(encodeDateTime({2007, 4, 1}) - 0.25), 6);       // evening before, linear scale
    EXPECT_EQ(isoWeekday(encodeDateTime({2007, 4, 2}) - 0.1 * kMs), 1);  // rounds into Monday
}
