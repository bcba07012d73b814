// The text value behaviours that the parsers and request builders rely on.
#include <gtest/gtest.h>

#include <string>

#include "CString.h"

namespace {

TEST(CString, ExtractionClampsCountsToTheText)
{
    const CString s("abcdef");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(99), "abcdef");
    EXPECT_EQ(s.Mid(4), "ef");
    EXPECT_EQ(s.Mid(6), "");
    EXPECT_EQ(s.Mid(99), "");
    EXPECT_EQ(s.Mid(-3, 2), "ab");
    EXPECT_EQ(s.Mid(2, 99), "cdef");
    EXPECT_EQ(s.Right(2), "ef");
    EXPECT_EQ(s.Right(99), "abcdef");
}

TEST(CString, SearchesByBytes)
{
    const CString s("a|b|c");
    EXPECT_EQ(s.Find('|'), 1);
    EXPECT_EQ(s.Find('|', 2), 3);
    EXPECT_EQ(s.Find('|', 99), -1);
    EXPECT_EQ(s.Find("b|c"), 2);
    EXPECT_EQ(s.ReverseFind('|'), 3);
    EXPECT_EQ(s.Find('x'), -1);
    // The trail byte 0x5C of a double-byte character is found like any "\".
    EXPECT_EQ(CString("\x95\x5C").Find('\\'), 1);
}

TEST(CString, ComparesBytewiseAndCaseSensitively)
{
    EXPECT_TRUE(CString("MELVORA") == "MELVORA");
    EXPECT_FALSE(CString("MELVORA") == "melvora");
    EXPECT_FALSE(CString("MELVORA ") == "MELVORA");
    EXPECT_GT(CString("\x80").Compare("\x7F"), 0);   // unsigned byte order, not locale order
    // Without case, ASCII letters only: a prefix is not a match, and Korean bytes stay exact.
    EXPECT_EQ(CString("Software\\melvora").CompareNoCase("SOFTWARE\\MELVORA"), 0);
    EXPECT_NE(CString("/S").CompareNoCase("/SILENT"), 0);
    EXPECT_NE(CString("/SILENT").CompareNoCase("/s"), 0);
    EXPECT_NE(CString("\xC7\xD1").CompareNoCase("\xE7\xF1"), 0);
}

TEST(CString, FormatGrowsBeyondAnyFixedBuffer)
{
    const std::string big(10000, 'x');
    CString s;
    s.Format("%s\\%s", big.c_str(), "MELVORA.exe");
    EXPECT_EQ(s.GetLength(), 10000 + 12);
    EXPECT_EQ(s.Right(12), "\\MELVORA.exe");
    s.Format("%d%%", 37);
    EXPECT_EQ(s, "37%");
}

TEST(CString, ReplaceAndTrim)
{
    CString path("/a/b/c");
    EXPECT_EQ(path.Replace('/', '\\'), 3);
    EXPECT_EQ(path, "\\a\\b\\c");
    CString t("  http://x \r\n");
    t.Trim();
    EXPECT_EQ(t, "http://x");
    CString w("aXbXXc");
    EXPECT_EQ(w.Replace("X", "--"), 3);
    EXPECT_EQ(w, "a--b----c");
}

TEST(CString, AppendStopsAtTheFirstZeroByte)
{
    CString s("ab");
    const char piece[] = {'c', 'd', '\0', 'e', 'f'};
    s.Append(piece, 5);
    EXPECT_EQ(s, "abcd");
    s.Append("gh", 1);
    EXPECT_EQ(s, "abcdg");
}

}  // namespace
