// Which progress messages a download sends: percentage changes and one-second time marks.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "net/DownloadProgress.h"

namespace {

struct Sent {
    uint32_t percent;
    uint64_t written;
    bool operator==(const Sent& o) const { return percent == o.percent && written == o.written; }
};

std::ostream& operator<<(std::ostream& os, const Sent& s)
{
    return os << "(" << s.percent << ", " << s.written << ")";
}

struct Read {
    uint32_t bytes;
    uint32_t tick;   // GetTickCount after the read
};

// Runs the receive loop's decisions over a sequence of reads, as the downloader does.
std::vector<Sent> Messages(uint32_t declared, uint32_t startTick, const std::vector<Read>& reads)
{
    CDownloadProgress progress(declared, startTick);
    std::vector<Sent> sent;
    uint64_t written = 0;
    for (const Read& r : reads) {
        written += r.bytes;
        if (written == 0)
            continue;
        if (progress.UpdatePercent(written))
            sent.push_back({progress.LastPercent(), written});
        if (progress.UpdateTimeMark(r.tick))
            sent.push_back({progress.LastPercent(), written});
    }
    return sent;
}

TEST(DownloadProgress, SendsAPercentageOnlyWhenTheWholePercentageChanges)
{
    // 5 bytes are 0.5 per cent: nothing; 10 bytes are 1 per cent; 990 more make 100.
    EXPECT_EQ(Messages(1000, 0, {{5, 10}, {5, 20}, {990, 30}}),
              (std::vector<Sent>{{1, 10}, {100, 1000}}));
    EXPECT_EQ(Messages(1000, 0, {{1000, 5}}), (std::vector<Sent>{{100, 1000}}));
    // 999 of 1000 is 99.9 per cent: truncated, never rounded up to a premature 100.
    EXPECT_EQ(Messages(1000, 0, {{999, 5}, {1, 6}}), (std::vector<Sent>{{99, 999}, {100, 1000}}));
}

TEST(DownloadProgress, PercentageOfLargeFilesDoesNotOverflow)
{
    // Written x 100 does not fit in 32 bits for files above 42 MB.
    EXPECT_EQ(DownloadPercent(0xFFFFFFFEu, 0xFFFFFFFFu), 99u);
    EXPECT_EQ(DownloadPercent(0xFFFFFFFFu, 0xFFFFFFFFu), 100u);
    EXPECT_EQ(DownloadPercent(300u * 1024 * 1024, 600u * 1024 * 1024), 50u);
}

TEST(DownloadProgress, RepliesLongerThanDeclaredGiveBoundedPercentages)
{
    EXPECT_EQ(DownloadPercent(1500, 1000), 150u);
    EXPECT_EQ(DownloadPercent(uint64_t(1) << 40, 1), 0x7FFFFFFFu);
    // Nothing declared: no division by zero; any byte at all is everything and more.
    EXPECT_EQ(DownloadPercent(0, 0), 0u);
    EXPECT_EQ(Messages(0, 0, {{1, 5}, {7, 6}}), (std::vector<Sent>{{100, 1}}));
}

TEST(DownloadProgress, TimeMarksFollowMoreThanASecondWithoutNewPercentage)
{
    // 100 000 bytes declared, 10 bytes a read: the percentage stays 0 throughout.
    const std::vector<Sent> sent =
        Messages(100000, 5000, {{10, 5500}, {10, 6000}, {10, 6001}, {10, 6500}, {10, 7001}, {10, 7002}, {10, 8003}});
    // 6000 is exactly 1000 ms after the start: not yet. 6001 is; the next mark counts
    // from there.
    EXPECT_EQ(sent, (std::vector<Sent>{{0, 30}, {0, 60}, {0, 70}}));
    // A read that changes the percentage late enough sends both messages.
    EXPECT_EQ(Messages(1000, 0, {{10, 2000}}), (std::vector<Sent>{{1, 10}, {1, 10}}));
}

TEST(DownloadProgress, TimeMarksSurviveTheTickCountWrapping)
{
    // Started 512 ms before the 32-bit tick count wraps to 0.
    const uint32_t start = 0xFFFFFE00u;
    const std::vector<Sent> sent = Messages(100000, start, {{10, 0xFFFFFFF0u}, {10, 0x100}, {10, 0x1E8}, {10, 0x1E9}});
    // 0x1E8 is 512 + 488 = 1000 ms after the start; 0x1E9 is the first tick beyond.
    EXPECT_EQ(sent, (std::vector<Sent>{{0, 40}}));
    // A mark set just before the wrap is followed by the next one just after it.
    // 0x100 is 1280 ms after the mark at 0xFFFFFC00, 0x200 only 256 ms after that.
    EXPECT_EQ(Messages(100000, 0xFFFFF000u, {{10, 0xFFFFFC00u}, {10, 0x100}, {10, 0x200}}),
              (std::vector<Sent>{{0, 10}, {0, 20}}));
}

TEST(DownloadProgress, DeclaredSizeIsDigitsOnlyWithin32Bits)
{
    uint32_t size = 12345;
    EXPECT_TRUE(ParseDeclaredSize(" 1000", &size));
    EXPECT_EQ(size, 1000u);
    EXPECT_TRUE(ParseDeclaredSize("0", &size));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(ParseDeclaredSize("4294967295", &size));
    EXPECT_EQ(size, 4294967295u);
    // Above 2 GiB atol would give LONG_MAX; a 3 GB file is counted exactly here.
    EXPECT_TRUE(ParseDeclaredSize("3000000000", &size));
    EXPECT_EQ(size, 3000000000u);
    size = 7;
    for (const char* text : {"4294967296", "99999999999999999999999", "-1", "+5", "42abc", "abc", "", " ", "1 2"})
        EXPECT_FALSE(ParseDeclaredSize(text, &size)) << text;
    EXPECT_EQ(size, 7u);
}

TEST(DownloadProgress, ATryThatContinuesACutBodyStartsAtItsPercentage)
{
    CDownloadProgress progress(1000, 0, 905);
    EXPECT_EQ(progress.LastPercent(), 90u);
    EXPECT_FALSE(progress.UpdatePercent(909));
    EXPECT_TRUE(progress.UpdatePercent(1000));
    EXPECT_EQ(progress.LastPercent(), 100u);
}

}  // namespace
