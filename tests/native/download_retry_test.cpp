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

ReplyValidators Reply(const char* ranges, const char* tag, const char* modified, const char* date = "")
{
    ReplyValidators reply;
    reply.acceptRanges = ranges;
    reply.eTag = tag;
    reply.lastModified = modified;
    reply.date = date;
    return reply;
}

TEST(DownloadRetry, OnlyAStrongETagOrAnOldEnoughDateWithoutAnyETagCanResume)
{
    const char* modified = "Tue, 01 Apr 2025 10:00:00 GMT";
    EXPECT_EQ(ResumeValidator(Reply("bytes", "\"abc\"", modified, "Tue, 01 Apr 2025 10:05:00 GMT")), "\"abc\"");
    EXPECT_EQ(ResumeValidator(Reply(" Bytes ", "", modified, "Tue, 01 Apr 2025 10:01:00 GMT")), modified);
    // A weak ETag names no byte-exact version, and the date may not stand in for it.
    EXPECT_EQ(ResumeValidator(Reply("bytes", "W/\"abc\"", modified, "Tue, 01 Apr 2025 10:05:00 GMT")), "");
    // A date less than a minute before the reply, in another form, or unreadable.
    EXPECT_EQ(ResumeValidator(Reply("bytes", "", modified, "Tue, 01 Apr 2025 10:00:59 GMT")), "");
    EXPECT_EQ(ResumeValidator(Reply("bytes", "", "Tuesday, 01-Apr-25 10:00:00 GMT", "Tue, 01 Apr 2025 10:05:00 GMT")),
              "");
    EXPECT_EQ(ResumeValidator(Reply("bytes", "", modified, "")), "");
    EXPECT_EQ(ResumeValidator(Reply("none", "\"abc\"", "")), "");
    EXPECT_EQ(ResumeValidator(Reply("bytes", "\"a\r\nX-Evil: 1\"", "")), "");

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

TEST(DownloadRetry, APartialReplyMustCarryTheValidatorTheResumeSent)
{
    ResumePoint point;
    point.validator = "\"v1\"";
    EXPECT_TRUE(KeepsValidator(point, Reply("", "\"v1\"", "")));
    EXPECT_FALSE(KeepsValidator(point, Reply("", "\"v2\"", "")));
    EXPECT_FALSE(KeepsValidator(point, Reply("", "W/\"v1\"", "")));
    EXPECT_FALSE(KeepsValidator(point, Reply("", "", "")));
    point.validator = "Tue, 01 Apr 2025 10:00:00 GMT";
    EXPECT_TRUE(KeepsValidator(point, Reply("", "", "Tue, 01 Apr 2025 10:00:00 GMT")));
    EXPECT_FALSE(KeepsValidator(point, Reply("", "", "Tue, 01 Apr 2025 10:00:01 GMT")));
    EXPECT_FALSE(KeepsValidator(point, Reply("", "\"v1\"", "Tue, 01 Apr 2025 10:00:00 GMT")));
    point.validator.Empty();
    EXPECT_FALSE(KeepsValidator(point, Reply("", "", "")));
}

TEST(DownloadRetry, HttpDatesAreReadInTheirCurrentFormOnly)
{
    int64_t seconds = 0;
    EXPECT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", &seconds));
    EXPECT_EQ(seconds, 784111777);
    EXPECT_TRUE(ParseHttpDate("Thu, 01 Jan 1970 00:00:00 GMT", &seconds));
    EXPECT_EQ(seconds, 0);
    EXPECT_TRUE(ParseHttpDate("Thu, 29 Feb 2024 23:59:59 GMT", &seconds));
    EXPECT_EQ(seconds, 1709251199);
    for (const char* text : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994", "Mon, 06 Nov 1994 08:49:37 GMT",
                             "Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 6 Nov 1994 08:49:37 GMT", "Fri, 29 Feb 2023 10:00:00 GMT",
                             "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Xyz 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 GMTX",
                             ""})
        EXPECT_FALSE(ParseHttpDate(text, &seconds)) << text;
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
