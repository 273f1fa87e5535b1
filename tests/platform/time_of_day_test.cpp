#include "platform/time_of_day.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/codepage.h"
#include "support/cp932_bytes.h"
#include "support/time_of_day.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

using namespace std::chrono_literals;

using testing::at;

LocaleTime japanese() {
    return LocaleTime::fromLocale(QLocale("ja_JP"));
}
LocaleTime american() {
    return LocaleTime::fromLocale(QLocale("en_US"));
}

TEST(LocaleTime, ReadsThePiecesOfTheLocale) {
    LocaleTime ja = japanese();
    EXPECT_FALSE(ja.twelveHour);
    EXPECT_FALSE(ja.leadingZero);
    EXPECT_EQ(ja.separator, cp932Ascii(":"));
    LocaleTime us = american();
    EXPECT_TRUE(us.twelveHour);
    EXPECT_FALSE(us.markerBefore);
    EXPECT_EQ(us.amWord, cp932Ascii("AM"));
    LocaleTime c = LocaleTime::fromLocale(QLocale::c());
    EXPECT_FALSE(c.twelveHour);
    EXPECT_TRUE(c.leadingZero);
    EXPECT_EQ(LocaleTime::fromLocale(QLocale("de_DE")).decimalSeparator, cp932Ascii(","));
}

TEST(FormatTimeOfDay, WritesTheLongTimeFormatOfEachLocale) {
    EXPECT_EQ(formatTimeOfDay(at(9, 5, 7, 999), japanese()).bytes(), "9:05:07");
    EXPECT_EQ(formatTimeOfDay(at(0, 0, 0), japanese()).bytes(), "0:00:00");
    EXPECT_EQ(formatTimeOfDay(at(23, 59, 59), japanese()).bytes(), "23:59:59");
    EXPECT_EQ(formatTimeOfDay(at(21, 5, 7), american()).bytes(), "9:05:07 PM");
    EXPECT_EQ(formatTimeOfDay(at(0, 30, 0), american()).bytes(), "12:30:00 AM");
    EXPECT_EQ(formatTimeOfDay(at(12, 0, 0), american()).bytes(), "12:00:00 PM");
    EXPECT_EQ(formatTimeOfDay(at(9, 5, 7), LocaleTime::fromLocale(QLocale::c())).bytes(),
              "09:05:07");
}

TEST(FormatTimeOfDay, FallsBackToTwelveHoursWithLowerCaseWords) {
    LocaleTime fallback;
    EXPECT_EQ(formatTimeOfDay(at(9, 5, 7), fallback).bytes(), "9:05:07 am");
    EXPECT_EQ(formatTimeOfDay(at(13, 0, 0), fallback).bytes(), "1:00:00 pm");
    fallback.markerBefore = true;
    EXPECT_EQ(formatTimeOfDay(at(13, 0, 0), fallback).bytes(), "pm 1:00:00");
}

struct ParseCase {
    const char* text;
    std::optional<TimeOfDay> expected;
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << '"' << c.text << '"';
}

class ParseTimeOfDay : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTimeOfDay, AcceptsExactlyTheTimeTexts) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(parseTimeOfDay(c.text, japanese()), c.expected) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseTimeOfDay,
    ::testing::Values(ParseCase{"10:15:00", at(10, 15, 0)}, ParseCase{"9:05:07", at(9, 5, 7)},
                      ParseCase{"0:00:00", at(0, 0, 0)}, ParseCase{"23:59:59", at(23, 59, 59)},
                      ParseCase{"24:00:00", std::nullopt}, ParseCase{"9:60", std::nullopt},
                      ParseCase{"9:05:60", std::nullopt}, ParseCase{"9", at(9, 0, 0)},
                      ParseCase{"9:5", at(9, 5, 0)}, ParseCase{"  9:05", at(9, 5, 0)},
                      ParseCase{"9 : 05 : 07 ", at(9, 5, 7)},
                      ParseCase{"9:05:07.999", at(9, 5, 7, 999)},
                      ParseCase{"9:05:07.1000", std::nullopt}, ParseCase{"9:05:07.", std::nullopt},
                      ParseCase{"\t9:05", std::nullopt}, ParseCase{"9:05\t", std::nullopt},
                      ParseCase{"9:05:07x", std::nullopt}, ParseCase{"9:05:07:01", std::nullopt},
                      ParseCase{"", std::nullopt}, ParseCase{"   ", std::nullopt},
                      ParseCase{"xx", std::nullopt}, ParseCase{"-1:00", std::nullopt},
                      ParseCase{"12:00 AM", at(0, 0, 0)}, ParseCase{"12:00 PM", at(12, 0, 0)},
                      ParseCase{"1:30 pm", at(13, 30, 0)}, ParseCase{"am 11:00", at(11, 0, 0)},
                      ParseCase{"0:00 AM", std::nullopt}, ParseCase{"13:00 PM", std::nullopt},
                      ParseCase{"AM 1:00 PM", std::nullopt},
                      ParseCase{"10:00:00.000", at(10, 0, 0)}, ParseCase{"12345", std::nullopt}));

TEST(ParseTimeOfDay, KnowsTheRegionalWordsAndDecimalSeparator) {
    EXPECT_EQ(parseTimeOfDay(cp932Bytes("午後 1:00"), japanese()), at(13, 0, 0));
    EXPECT_EQ(parseTimeOfDay(cp932Bytes("1:00午前"), japanese()), at(1, 0, 0));
    LocaleTime german = LocaleTime::fromLocale(QLocale("de_DE"));
    EXPECT_EQ(parseTimeOfDay("9:05:07,5", german), at(9, 5, 7, 5));
    EXPECT_EQ(parseTimeOfDay("9:05:07.5", german), std::nullopt);
    // What the clock writes, the conversion reads back, in every locale.
    for (const LocaleTime& locale : {japanese(), american(), german, LocaleTime{}}) {
        EXPECT_EQ(parseTimeOfDay(formatTimeOfDay(at(21, 5, 7), locale).view(), locale),
                  at(21, 5, 7));
    }
}

// The schedule's own form is read on a short path; it must agree with the
// full reading of the same text behind a space, which takes the long one.
TEST(ParseTimeOfDay, ThePlainFormReadsAsTheFullReadingDoes) {
    const LocaleTime locale = japanese();
    std::vector<std::string> texts;
    for (int hour : {0, 1, 9, 10, 12, 23, 24, 99})
        for (int minute : {0, 5, 59, 60})
            for (int second : {0, 7, 59, 60, 99}) {
                char text[16];
                std::snprintf(text, sizeof text, "%d:%02d:%02d", hour, minute, second);
                texts.push_back(text);
            }
    for (const char* odd : {"1a:00:00", "10:0a:00", "10:00:0a", "10.00.00", "10:00-00", "-1:00:00",
                            "123:4:56", "12:3:456"})
        texts.push_back(odd);
    for (const std::string& text : texts)
        EXPECT_EQ(parseTimeOfDay(text, locale), parseTimeOfDay(" " + text, locale)) << text;
    EXPECT_EQ(parseTimeOfDay("9:05:07", locale), at(9, 5, 7));
    EXPECT_EQ(parseTimeOfDay("23:59:59", locale), at(23, 59, 59));
    EXPECT_EQ(parseTimeOfDay("24:00:00", locale), std::nullopt);
}

TEST(NotATimeMessage, QuotesTheTextInTheBoardsWords) {
    EXPECT_EQ(notATimeMessage("xx").bytes(), "'xx'" + cp932Bytes(" は時刻ではありません"));
}

}  // namespace
}  // namespace pelm
