// The loops that read reply bodies, driven by scripted reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "net/ReplyReader.h"

namespace {

// A body delivered in the given pieces (a read takes at most the rest of one piece); once
// they are used up every read succeeds with nothing (the end of the body). Counts the
// reads and remembers what each one asked for.
struct ScriptedBody {
    std::vector<std::string> pieces;
    size_t next = 0;
    size_t offset = 0;   // within pieces[next]
    int reads = 0;
    std::vector<uint32_t> wanted;
    bool failAfterPieces = false;

    bool Read(char* buffer, uint32_t want, uint32_t& read)
    {
        ++reads;
        wanted.push_back(want);
        read = 0;
        if (next >= pieces.size())
            return !failAfterPieces;
        const std::string& piece = pieces[next];
        read = uint32_t(std::min<size_t>(piece.size() - offset, want));
        std::memcpy(buffer, piece.data() + offset, read);
        offset += read;
        if (offset == piece.size()) {
            ++next;
            offset = 0;
        }
        return true;
    }
    uint32_t Available() const { return next < pieces.size() ? uint32_t(pieces[next].size() - offset) : 0; }

    ReplyReadFn reader()
    {
        return [this](char* b, uint32_t w, uint32_t& r) { return Read(b, w, r); };
    }
    ReplyAvailableFn available()
    {
        return [this]() { return Available(); };
    }
};

TEST(ReadReply, AFullFirstPieceIsNotShortSoSixEmptyReadsFollowIt)
{
    ScriptedBody body;
    body.pieces = {std::string(1024, 'v')};
    const CString reply = ReadReply(body.reader());
    EXPECT_EQ(reply.GetLength(), 1024);
    EXPECT_EQ(body.reads, 7);
    EXPECT_EQ(body.wanted.front(), 1024u);
}

TEST(ReadReply, StopsRightAfterTheSixthShortPieceEvenWithMoreToCome)
{
    ScriptedBody body;
    for (char c = 'a'; c <= 'h'; ++c)
        body.pieces.push_back(std::string(100, c));
    const CString reply = ReadReply(body.reader());
    EXPECT_EQ(body.reads, 6);
    EXPECT_EQ(reply.GetLength(), 600);
    EXPECT_EQ(reply.Right(1), "f");
}

TEST(ReadReply, APieceContributesOnlyItsTextBeforeAZeroByte)
{
    ScriptedBody body;
    body.pieces = {std::string("ok|1.0\0junk", 11), "|2.0"};
    EXPECT_EQ(ReadReply(body.reader()), "ok|1.0|2.0");
}

TEST(ReadReply, AFailedReadEndsTheReplyWithoutItsBytes)
{
    ScriptedBody body;
    body.pieces = {"ok|1.0|2.0"};
    body.failAfterPieces = true;
    EXPECT_EQ(ReadReply(body.reader()), "ok|1.0|2.0");
    EXPECT_EQ(body.reads, 2);
}

TEST(ReadReply, ABodyThatNeverEndsIsCutOff)
{
    int reads = 0;
    const CString reply = ReadReply([&reads](char* buffer, uint32_t want, uint32_t& read) {
        ++reads;
        std::memset(buffer, 'x', want);
        read = want;
        return true;
    });
    EXPECT_EQ(uint32_t(reply.GetLength()), kMaxReplyBytes);
    EXPECT_EQ(uint32_t(reads), kMaxReplyBytes / 1024);
}

TEST(ReadTextBody, ReadsWhatIsAvailableButNever65000BytesAtOnce)
{
    ScriptedBody body;
    body.pieces = {std::string(150000, 't'), std::string(10, 'u')};
    const CString text = ReadTextBody(body.available(), body.reader());
    EXPECT_EQ(text, CString(std::string(150000, 't') + std::string(10, 'u')));
    EXPECT_EQ(body.wanted, (std::vector<uint32_t>{64999, 64999, 20002, 10, 0}));
}

TEST(ReadTextBody, AZeroByteCutsOnlyItsOwnReadAndReadingGoesOn)
{
    ScriptedBody body;
    body.pieces = {std::string("terms\0hidden", 12), " and more"};
    EXPECT_EQ(ReadTextBody(body.available(), body.reader()), "terms and more");
    EXPECT_EQ(body.reads, 3);
}

TEST(ReadTextBody, StopsWhenAReadFailsOrNothingIsAvailable)
{
    ScriptedBody failing;
    failing.pieces = {"abc"};
    failing.failAfterPieces = true;
    EXPECT_EQ(ReadTextBody([]() { return 100u; }, failing.reader()), "abc");
    EXPECT_EQ(failing.reads, 2);

    ScriptedBody empty;
    EXPECT_EQ(ReadTextBody(empty.available(), empty.reader()), "");
    EXPECT_EQ(empty.reads, 1);
}

TEST(ReadTextBody, ABodyThatNeverEndsIsCutOff)
{
    int reads = 0;
    const CString text = ReadTextBody([]() { return 8192u; },
                                      [&reads](char* buffer, uint32_t want, uint32_t& read) {
                                          ++reads;
                                          std::memset(buffer, 'x', want);
                                          read = want;
                                          return true;
                                      });
    EXPECT_EQ(uint32_t(text.GetLength()), kMaxReplyBytes);
    EXPECT_EQ(uint32_t(reads), kMaxReplyBytes / 8192);
}

TEST(WholeReply, OnlyA200WithEveryDeclaredByteAndNoFailedReadCounts)
{
    EXPECT_TRUE(IsWholeReply(200, "9", 9, false));
    EXPECT_TRUE(IsWholeReply(200, nullptr, 4, false));   // no length declared: the close ends it
    EXPECT_FALSE(IsWholeReply(503, "19", 19, false));    // "Service Unavailable" is no reply
    EXPECT_FALSE(IsWholeReply(404, nullptr, 13, false));
    EXPECT_FALSE(IsWholeReply(200, "10", 9, false));     // "OK|2.1.1" of "OK|2.1.10"
    EXPECT_FALSE(IsWholeReply(200, "9", 10, false));
    EXPECT_FALSE(IsWholeReply(200, "9", 9, true));
    for (const char* bad : {"", "9x", "-9", "99999999999"})
        EXPECT_FALSE(IsWholeReply(200, bad, 9, false)) << bad;
}

}  // namespace
