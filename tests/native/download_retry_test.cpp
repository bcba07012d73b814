// Which failed downloads are tried again, after what pause, and how a try after a cut body
// asks for the rest and judges the reply.
#include <gtest/gtest.h>

#include <vector>

#include "net/DownloadRetry.h"

namespace {

// The pauses before each further try, until the schedule gives up.
std::vector<uint32_t> Pauses(const std::vector<TryOutcome>& outcomes, int64_t retryAfter = -1)
{
    CRetrySchedule schedule;
    std::vector<uint32_t> pauses;
    for (TryOutcome outcome : outcomes) {
        uint32_t pause = 0;
        if (!schedule.NextTry(outcome, retryAfter, &pause))
            break;
        pauses.push_back(pause);
    }
    return pauses;
}

using Outcomes = std::vector<TryOutcome>;
using Ms = std::vector<uint32_t>;

TEST(DownloadRetry, PassingFailuresAreTriedThreeTimesInAllAndSilenceTwiceAtMost)
{
    for (TryOutcome passing : {TryOutcome::NoConnection, TryOutcome::CutShort, TryOutcome::PassingStatus})
        EXPECT_EQ(Pauses(Outcomes(5, passing)), (Ms{1000, 3000}));
    EXPECT_EQ(Pauses({TryOutcome::CutShort, TryOutcome::Failed}), Ms{1000});
    EXPECT_EQ(Pauses(Outcomes(3, TryOutcome::Silence)), Ms{1000});
    EXPECT_EQ(Pauses({TryOutcome::Silence, TryOutcome::CutShort, TryOutcome::CutShort}), (Ms{1000, 3000}));
    for (int status : {408, 429, 500, 502, 503, 504})
        EXPECT_TRUE(IsPassingStatus(status)) << status;
    for (int status : {200, 206, 404, 416, 501, 505})
        EXPECT_FALSE(IsPassingStatus(status)) << status;
}

TEST(DownloadRetry, ARetryAfterOfUpToThirtySecondsReplacesThePause)
{
    EXPECT_EQ(Pauses(Outcomes(3, TryOutcome::PassingStatus), 7), (Ms{7000, 7000}));
    EXPECT_EQ(Pauses({TryOutcome::PassingStatus}, 30), Ms{30000});
    EXPECT_EQ(Pauses({TryOutcome::PassingStatus}, 31), Ms{1000});
    uint32_t seconds = 99;
    EXPECT_TRUE(ParseRetryAfter(" 120 ", &seconds));
    EXPECT_EQ(seconds, 120u);
    for (const char* text : {"", "-1", "+5", "5s", "1.5", "Wed, 21 Oct 2015 07:28:00 GMT", "99999999999"})
        EXPECT_FALSE(ParseRetryAfter(text, &seconds)) << text;
    EXPECT_EQ(seconds, 120u);
}

TEST(DownloadRetry, OnlyAReplyWithByteRangesAndAStrongValidatorCanBeResumed)
{
    EXPECT_EQ(ResumeValidator("bytes", "\"abc\"", "Tue, 01 Apr 2025 10:00:00 GMT"), "\"abc\"");
    EXPECT_EQ(ResumeValidator(" Bytes ", "W/\"abc\"", "Tue, 01 Apr 2025 10:00:00 GMT"),
              "Tue, 01 Apr 2025 10:00:00 GMT");
    EXPECT_EQ(ResumeValidator("bytes", "W/\"abc\"", ""), "");
    EXPECT_EQ(ResumeValidator("none", "\"abc\"", ""), "");
    EXPECT_EQ(ResumeValidator("bytes", "\"a\r\nX-Evil: 1\"", ""), "");

    ResumePoint point;
    point.offset = 15099494;
    point.total = 16777216;
    point.validator = "\"abc\"";
    EXPECT_TRUE(point.CanResume());
    EXPECT_EQ(ResumeHeaders(point), "Range: bytes=15099494-\r\nIf-Range: \"abc\"\r\n");
    for (uint64_t offset : {uint64_t(0), uint64_t(16777216), uint64_t(16777217)}) {
        point.offset = offset;
        EXPECT_FALSE(point.CanResume()) << offset;
    }
}

TEST(DownloadRetry, OnlyTheRestOfTheSameFileIsAppended)
{
    ResumePoint point;
    point.offset = 900;
    point.total = 1000;
    point.validator = "\"v\"";
    EXPECT_TRUE(ContinuesFrom(point, "bytes 900-999/1000", 100));
    EXPECT_FALSE(ContinuesFrom(point, "bytes 900-999/1001", 100));   // another file
    EXPECT_FALSE(ContinuesFrom(point, "bytes 0-999/1000", 1000));    // the whole file again
    EXPECT_FALSE(ContinuesFrom(point, "bytes 900-949/1000", 50));    // not to its end
    EXPECT_FALSE(ContinuesFrom(point, "bytes 900-999/1000", 99));    // a length that disagrees
    for (const char* range : {"bytes 900-999/*", "bytes -900-999/1000", "items 900-999/1000", "bytes 900-999/1000x"})
        EXPECT_FALSE(ContinuesFrom(point, range, 100)) << range;
}

TEST(DownloadRetry, PartFilesOfAKilledSetupAreKnownByTheirNamePattern)
{
    for (const char* name : {"mlv1.tmp", "mlvA3F.tmp", "MLVbeef.TMP", "mlv0000.tmp"})
        EXPECT_TRUE(IsPartFileName(name)) << name;
    for (const char* name : {"mlv.tmp", "mlv12345.tmp", "mlvg1.tmp", "mlv12.tmp.exe", "xmlv1.tmp", "mlv1.tmpx",
                             "MELVORA.exe", "mlv 1.tmp"})
        EXPECT_FALSE(IsPartFileName(name)) << name;
}

}  // namespace
