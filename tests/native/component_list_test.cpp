// Reading the component list and the version reply as the servers send them.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "install/ComponentList.h"

namespace {

const char kProgramFiles[] = "C:\\Program Files";

// A list of exactly kComponentCapacity records, as the dialog allocates it (so the
// address sanitizer sees any write past the tenth), with a file system in which only
// the given paths (and the Program Files folder) exist.
struct ListFixture {
    std::unique_ptr<ComponentEntry[]> entries{new ComponentEntry[kComponentCapacity]};
    int count = 0;
    CString programFiles = kProgramFiles;
    std::set<std::string> existing{kProgramFiles};
    std::vector<std::string> asked;
    PublisherScheme scheme = PublisherScheme::Http;

    void Parse(const CString& text)
    {
        ParseComponentRows(text, programFiles,
                           [this](const CString& path) {
                               asked.push_back(path.str());
                               return existing.count(path.str()) != 0;
                           },
                           scheme, entries.get(), count);
    }
    const ComponentEntry& operator[](int i) const { return entries[i]; }
};

TEST(ComponentList, ARowFillsEveryFieldOfItsEntry)
{
    ListFixture list;
    list.Parse("/Tools/Lyric/lyric.exe|http://cdn.example/dl/LyricSetup.exe|Lyrics|Shows lyrics|"
               "http://www.example/pages/lyric.html|1");
    ASSERT_EQ(list.count, 1);
    const ComponentEntry& e = list[0];
    EXPECT_EQ(e.checkPath, "C:\\Program Files\\Tools\\Lyric\\lyric.exe");
    EXPECT_EQ(e.url, "http://cdn.example/dl/LyricSetup.exe");
    EXPECT_EQ(e.localPath, "C:\\Program Files\\Tools\\Lyric\\LyricSetup.exe");
    EXPECT_EQ(e.name, "Lyrics");
    EXPECT_EQ(e.description, "Shows lyrics");
    EXPECT_EQ(e.pageUrl, "http://www.example/pages/lyric.html");
    EXPECT_EQ(e.mandatoryFlag, "1");
    EXPECT_EQ(e.hItem, nullptr);
    EXPECT_EQ(list.asked, std::vector<std::string>{"C:\\Program Files\\Tools\\Lyric\\lyric.exe"});
}

TEST(ComponentList, RowsKeepTheirOrderAndATrailingCaretAddsOnlyADroppedEmptyRow)
{
    const char* rows = "/A/a.exe|http://h/a.exe|A|a|p|0^/B/b.exe|http://h/b.exe|B|b|p|0";
    for (const CString& text : {CString(rows), CString(rows) + "^"}) {
        ListFixture list;
        list.Parse(text);
        ASSERT_EQ(list.count, 2) << text.GetString();
        EXPECT_EQ(list[0].name, "A");
        EXPECT_EQ(list[1].name, "B");
        EXPECT_EQ(list[2].checkPath, "");   // the empty row's Program Files folder exists
    }
}

TEST(ComponentList, AnInstalledComponentIsDroppedAndTheNextAcceptedRowTakesItsPlace)
{
    ListFixture list;
    list.existing.insert("C:\\Program Files\\Old\\old.exe");
    list.existing.insert("C:\\Program Files\\Last\\last.exe");
    list.Parse("/Old/old.exe|http://h/o.exe|Old|o|p|0^/New/new.exe|http://h/n.exe|New|n|p|0^"
               "/Last/last.exe|http://h/l.exe|Last|l|p|1");
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list[0].name, "New");
    EXPECT_EQ(list[0].checkPath, "C:\\Program Files\\New\\new.exe");
    EXPECT_EQ(list.asked.size(), 3u);
    // The dropped last row leaves no trace in the record after the list's end.
    EXPECT_EQ(list[1].checkPath, "");
    EXPECT_EQ(list[1].name, "");
}

TEST(ComponentList, ARowThatCouldNameAPlaceOutsideItsOwnFolderIsDroppedUnasked)
{
    // Check paths that leave Program Files, enter the install folder, or name something
    // else than they seem to on Windows; then installer names that could do the same.
    const char* hostile[] = {"/../windows/system32/x.exe|http://h/x.exe", "Tools/x.dat|http://h/x.exe",
                             "/A//x|http://h/x.exe", "/A/./x|http://h/x.exe", "/C:/x|http://h/x.exe",
                             "/A/x\x01|http://h/x.exe", "/|http://h/x.exe", "/A./x|http://h/x.exe",
                             "/A /x|http://h/x.exe", "\\melvora\\x|http://h/x.exe", "/MELVOR~1/x|http://h/x.exe",
                             "/A/NUL/x|http://h/x.exe", "/A/x|http://h/dl/..\\..\\x.exe", "/A/x|http://h/dl/",
                             "/A/x|http://h/CON.exe", "/A/x|http://h/nul .exe", "/A/x|http://h/LPT1",
                             "/A/x|http://h/a:b.exe", "/A/x|http://h/get?f=x.exe", "/A/x|http://h/x.exe.",
                             "/A/x|", "/A/x|http://h/COM¹.exe", "/A/lpt³ .x/x|http://h/x.exe",
                             "/A/x\xFF|http://h/x.exe"};
    CString text;
    for (const char* row : hostile)
        text = text + row + "|Bad|b|p|0^";
    ListFixture list;
    list.Parse(text + "\\Tools/MELVORA\\COM10.dat|http://h/dl/Console.exe|Good|g|p|0");
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list[0].checkPath, "C:\\Program Files\\Tools\\MELVORA\\COM10.dat");
    EXPECT_EQ(list[0].localPath, "C:\\Program Files\\Tools\\MELVORA\\Console.exe");
    EXPECT_EQ(list.asked, std::vector<std::string>{list[0].checkPath.str()});

    // Without a Program Files folder nothing can be confined to it.
    ListFixture noFolder;
    noFolder.programFiles = "";
    noFolder.Parse("/Good/g.dat|http://h/g.exe|Good|g|p|0");
    EXPECT_EQ(noFolder.count, 0);
}

TEST(ComponentList, TheMandatoryFlagIsKeptVerbatim)
{
    ListFixture list;
    list.Parse("/A/1|http://h/1|A|a|p|1^/B/2|http://h/2|B|b|p|1 ^/C/3|http://h/3|C|c|p|1\r\n^"
               "/D/4|http://h/4|D|d|p|1|x");
    ASSERT_EQ(list.count, 4);
    EXPECT_EQ(list[0].mandatoryFlag, "1");
    EXPECT_EQ(list[1].mandatoryFlag, "1 ");
    EXPECT_EQ(list[2].mandatoryFlag, "1\r\n");
    EXPECT_EQ(list[3].mandatoryFlag, "1|x");
}

TEST(ComponentList, MissingSeparatorsLeaveFieldsEmptyAndTheRestFlowsOn)
{
    ListFixture list;
    // No fifth "|": empty page URL, the rest becomes the flag.
    // No second "|": no installer URL, so no name to store it under: dropped.
    // No "|" at all: no check path: dropped.
    list.Parse("/A/a.exe|http://h/a.exe|A|desc|page^/B/b.dat|http://h/b.exe^just text");
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list[0].pageUrl, "");
    EXPECT_EQ(list[0].mandatoryFlag, "page");
    EXPECT_EQ(list[1].checkPath, "");
    EXPECT_EQ(list.asked.size(), 1u);
}

TEST(ComponentList, InAnHttpsBuildAPlainHttpInstallerOrPageAddressCountsAsMissing)
{
    ListFixture list;
    list.scheme = PublisherScheme::Https;
    list.Parse("/A/a.exe|https://cdn.example/A.exe|A|a|https://www.example/a.html|0^"
               "/B/b.exe|http://cdn.example/B.exe|B|b|HTTPS://www.example/b.html|0^"
               "/C/c.exe|HTTPS://cdn.example/C.exe|C|c|http://www.example/c.html|0^"
               "/D/d.exe| https://cdn.example/D.exe|D|d|//www.example/d.html|0");
    ASSERT_EQ(list.count, 4);
    EXPECT_EQ(list[0].url, "https://cdn.example/A.exe");
    EXPECT_EQ(list[0].localPath, "C:\\Program Files\\A\\A.exe");
    EXPECT_EQ(list[0].pageUrl, "https://www.example/a.html");
    // The row stays (its name and description are shown), its http address reads as empty.
    EXPECT_EQ(list[1].name, "B");
    EXPECT_EQ(list[1].url, "");
    EXPECT_EQ(list[1].localPath, "C:\\Program Files\\B\\");
    EXPECT_EQ(list[1].pageUrl, "HTTPS://www.example/b.html");
    EXPECT_EQ(list[2].url, "HTTPS://cdn.example/C.exe");
    EXPECT_EQ(list[2].pageUrl, "");
    // Only a whole https URL counts: no leading blank, no scheme-relative address.
    EXPECT_EQ(list[3].url, "");
    EXPECT_EQ(list[3].pageUrl, "");

    // A default build keeps every address as the server gave it.
    ListFixture plain;
    plain.Parse("/B/b.exe|http://cdn.example/B.exe|B|b|ftp://x/b|0");
    ASSERT_EQ(plain.count, 1);
    EXPECT_EQ(plain[0].url, "http://cdn.example/B.exe");
    EXPECT_EQ(plain[0].pageUrl, "ftp://x/b");
}

TEST(ComponentList, NeverHoldsMoreThanTenEntries)
{
    CString text;
    for (int i = 0; i < 13; ++i) {
        CString row;
        row.Format("/C%d/c.exe|http://h/c%d.exe|C%d|d|p|0^", i, i, i);
        text += row;
    }
    ListFixture list;
    list.Parse(text);
    ASSERT_EQ(list.count, kComponentCapacity);
    EXPECT_EQ(list[0].name, "C0");
    EXPECT_EQ(list[9].name, "C9");

    // A full list takes nothing more; one with room takes only what fits.
    list.Parse("/More/m.exe|http://h/m.exe|M|m|p|0");
    EXPECT_EQ(list.count, kComponentCapacity);
    EXPECT_EQ(list[9].name, "C9");

    ListFixture partly;
    partly.count = 8;
    partly.Parse(text);
    EXPECT_EQ(partly.count, kComponentCapacity);
    EXPECT_EQ(partly[8].name, "C0");
    EXPECT_EQ(partly[9].name, "C1");
}

TEST(ComponentList, AnswersAreMissingWhenEmptyOrHoldingTheNotFoundText)
{
    EXPECT_TRUE(IsMissingAnswer(""));
    EXPECT_TRUE(IsMissingAnswer("404 Not Found"));
    EXPECT_TRUE(IsMissingAnswer("<html><h1>404 Not Found</h1></html>"));
    EXPECT_FALSE(IsMissingAnswer("404 not found"));   // compared byte for byte
    EXPECT_FALSE(IsMissingAnswer(" "));
}

struct Versions {
    CString player = "unset";
    CString updater = "unset";
};

Versions ReadVersions(const char* reply)
{
    Versions v;
    ParseVersionReply(reply, v.player, v.updater);
    return v;
}

TEST(VersionReply, TheSecondAndThirdFieldsAreThePlayerAndUpdaterVersions)
{
    Versions v = ReadVersions("ok|1.0.3|2.1.0");
    EXPECT_EQ(v.player, "1.0.3");
    EXPECT_EQ(v.updater, "2.1.0");
    v = ReadVersions("ok|1.0.3|2.1.0|later|more");   // a fourth field is ignored
    EXPECT_EQ(v.player, "1.0.3");
    EXPECT_EQ(v.updater, "2.1.0");
}

TEST(VersionReply, FewerFieldsServeAsBothVersions)
{
    Versions v = ReadVersions("ok|1.0.3");
    EXPECT_EQ(v.player, "1.0.3");
    EXPECT_EQ(v.updater, "1.0.3");
    v = ReadVersions("1.0.3");
    EXPECT_EQ(v.player, "1.0.3");
    EXPECT_EQ(v.updater, "1.0.3");
    v = ReadVersions("");
    EXPECT_EQ(v.player, "");
    EXPECT_EQ(v.updater, "");
}

TEST(VersionReply, NothingIsTrimmedAndAControlCharacterMakesAVersionUnusable)
{
    Versions v = ReadVersions("ok|1.0.3|2.1.0\r\n");
    EXPECT_EQ(v.player, "1.0.3");
    EXPECT_EQ(v.updater, "2.1.0\r\n");
    EXPECT_TRUE(IsUsableVersion(v.player));
    EXPECT_FALSE(IsUsableVersion(v.updater));
    v = ReadVersions("ok| 1.0.3\n");
    EXPECT_EQ(v.player, " 1.0.3\n");
    EXPECT_EQ(v.updater, " 1.0.3\n");
    EXPECT_TRUE(IsUsableVersion(" 1.0.3 \xC6\xC4"));
    EXPECT_FALSE(IsUsableVersion("1.0\t3"));
    EXPECT_FALSE(IsUsableVersion("1.0.3\x7F"));
}

TEST(VersionReply, AnEmptyOrBlankVersionIsUnusableAndNeverAnEmptyPathSegment)
{
    for (const char* reply : {"OK||0.9.1", "OK|1.0.3|", "OK| |1.0.1", "OK|1.0.3|\t", "OK|"}) {
        const Versions v = ReadVersions(reply);
        EXPECT_FALSE(IsUsableVersion(v.player) && IsUsableVersion(v.updater)) << reply;
    }
    EXPECT_TRUE(IsUsableVersion(" 1.0.3"));   // not blank: it is encoded, as today
}

// A network's login page answers every address with 200 and its HTML: as the component
// list it leaves no row, as the version reply no version.
TEST(HtmlReplies, ALoginPageLeavesNoComponentRowAndNoVersion)
{
    const char* pages[] = {
        "<!DOCTYPE html>\r\n<html><head><title>Login</title></head>\r\n<body><form action=\"/login?a=1|2^3\">"
        "<input name=\"u\"></form></body></html>\r\n",
        "<html><body><script>var a = b || c; var m = x ^ y;</script><a href=\"/in\">/pages|a.exe</a></body></html>",
        "<html><body>Sign in</body></html>",
    };
    for (const char* page : pages) {
        std::vector<ComponentEntry> rows(kComponentCapacity);
        int count = 0;
        ParseComponentRows(page, "C:\\Program Files", [](const CString&) { return false; }, PublisherScheme::Http,
                           rows.data(), count);
        EXPECT_EQ(count, 0) << page;
        const Versions v = ReadVersions(page);
        EXPECT_FALSE(IsUsableVersion(v.player) && IsUsableVersion(v.updater)) << page;
    }
}

}  // namespace
