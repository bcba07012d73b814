// Which URLs the text fetch requests, the addresses and paths the installer builds for
// the publisher's servers, and the report paths.
#include <gtest/gtest.h>

#include <vector>

#include "install/ComponentList.h"
#include "net/ProgramImage.h"
#include "net/UrlRules.h"
#include "sys/ProgramAddress.h"

namespace {

const PublisherScheme kHttp = PublisherScheme::Http;
const PublisherScheme kHttps = PublisherScheme::Https;

TEST(FetchUrl, AUrlWithoutColonGetsTheBuildsSchemeInFrontAfterTrimming)
{
    EXPECT_EQ(NormaliseFetchUrl("  www.example.com/Lisence/a.txt \t\r\n", kHttp),
              "http://www.example.com/Lisence/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("//www.example.com/a.txt", kHttp), "http://www.example.com/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("/a.txt", kHttp), "http:/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("", kHttp), "http://");
    EXPECT_EQ(NormaliseFetchUrl(" HTTP://h/x ", kHttp), "HTTP://h/x");
    // Any ":" (a port, a colon in the query) means nothing is put in front.
    EXPECT_EQ(NormaliseFetchUrl("host:8080/a.txt", kHttp), "host:8080/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("host/a.php?t=1:2", kHttp), "host/a.php?t=1:2");

    EXPECT_EQ(NormaliseFetchUrl(" www.example.com/a.txt ", kHttps), "https://www.example.com/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("//www.example.com/a.txt", kHttps), "https://www.example.com/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("http://h/x", kHttps), "http://h/x");
}

TEST(FetchUrl, OnlyUrlsOfTheBuildsSchemeAreRequested)
{
    EXPECT_TRUE(IsFetchableUrl("http://127.0.0.1:47080/app/setup/setup.php?pid=abc", kHttp));
    EXPECT_TRUE(IsFetchableUrl(NormaliseFetchUrl(" www.example.com/a.txt ", kHttp), kHttp));
    EXPECT_TRUE(IsFetchableUrl(NormaliseFetchUrl("//www.example.com/a.txt", kHttp), kHttp));
    EXPECT_FALSE(IsFetchableUrl("https://www.example.com/a.txt", kHttp));
    EXPECT_FALSE(IsFetchableUrl("ftp://www.example.com/a.txt", kHttp));
    EXPECT_FALSE(IsFetchableUrl("file://c/a.txt", kHttp));
    EXPECT_FALSE(IsFetchableUrl(NormaliseFetchUrl("host:8080/a.txt", kHttp), kHttp));
    EXPECT_FALSE(IsFetchableUrl(NormaliseFetchUrl("/a.txt", kHttp), kHttp));
    EXPECT_FALSE(IsFetchableUrl(NormaliseFetchUrl("", kHttp), kHttp));

    // A build for https takes https only: plain http is never a fallback.
    EXPECT_TRUE(IsFetchableUrl("https://localhost:47080/Lisence/melvora_licence.txt", kHttps));
    EXPECT_TRUE(IsFetchableUrl("HTTPS://www.example.com/a.txt", kHttps));
    EXPECT_TRUE(IsFetchableUrl(NormaliseFetchUrl("www.example.com/a.txt", kHttps), kHttps));
    EXPECT_FALSE(IsFetchableUrl("http://www.example.com/a.txt", kHttps));
    EXPECT_FALSE(IsFetchableUrl("ftp://www.example.com/a.txt", kHttps));
    EXPECT_FALSE(IsFetchableUrl("https:/a.txt", kHttps));
}

TEST(DownloadedPrograms, FilesEndingInExeOrDllInAnyCaseAreChecked)
{
    for (const char* name : {"C:\\Program Files\\MELVORA\\MELVORA.exe", "ZUZade.dll", "x\\SETUP.EXE", "a.Dll",
                             ".exe"})
        EXPECT_TRUE(IsProgramFileName(name)) << name;
    for (const char* name : {"uninstall.ini", "setup.exe.part", "setupexe", "a.exe ", "a.ex", "", "exe", "x.msi"})
        EXPECT_FALSE(IsProgramFileName(name)) << name;
}

TEST(DownloadedPrograms, AnAddressWhosePathNamesAProgramIsOne)
{
    for (const char* url : {"http://h/files/Setup.exe", "http://h/a/b.MSI?x=1", "https://h:8/x.bat#top",
                            "http://h/tool.hta", "http://u@h/run.cmd?/page.html"})
        EXPECT_TRUE(IsProgramAddress(url)) << url;
    for (const char* url : {"http://example.com", "http://example.com/", "http://h/page.html?file=x.exe",
                            "http://h/page.html#a.exe", "http://h/setup.exe/", "http://h/.exe", "about:blank",
                            "http://h/exe"})
        EXPECT_FALSE(IsProgramAddress(url)) << url;
}

TEST(LoggedAddresses, CredentialsBeforeTheHostAreLeftOut)
{
    EXPECT_EQ(AddressForLog("https://user:pw@host/a/b?c=d"), "https://host/a/b?c=d");
    EXPECT_EQ(AddressForLog("http://user@host:8080/x"), "http://host:8080/x");
    EXPECT_EQ(AddressForLog("http://a@b:p@w@host"), "http://host");   // up to the authority's last "@"
    // An "@" after the host belongs to the path or query and stays.
    for (const char* kept : {"http://host/a@b", "http://host?mail=a@b", "http://host#x@y", "host/a@b", ""})
        EXPECT_EQ(AddressForLog(kept), kept);
}

// A DOS header of a file of fileSize bytes whose e_lfanew is lfanew.
std::vector<unsigned char> DosHeader(uint32_t lfanew, const char* magic = "MZ")
{
    std::vector<unsigned char> header(kDosHeaderSize, 0);
    header[0] = static_cast<unsigned char>(magic[0]);
    header[1] = static_cast<unsigned char>(magic[1]);
    for (int i = 0; i < 4; ++i)
        header[0x3C + i] = static_cast<unsigned char>(lfanew >> (8 * i));
    return header;
}

TEST(DownloadedPrograms, OnlyAnMzHeaderPointingInsideTheFileAtPeIsAProgram)
{
    uint64_t offset = 0;
    EXPECT_TRUE(PeSignatureOffset(DosHeader(0x80).data(), kDosHeaderSize, 0x84, &offset));
    EXPECT_EQ(offset, 0x80u);
    EXPECT_TRUE(PeSignatureOffset(DosHeader(0x40).data(), kDosHeaderSize, 4096, &offset));
    // A login page, a signature inside the DOS header or past the end, a file too short.
    EXPECT_FALSE(PeSignatureOffset(DosHeader(0x80, "<h").data(), kDosHeaderSize, 4096, &offset));
    EXPECT_FALSE(PeSignatureOffset(DosHeader(0x3C).data(), kDosHeaderSize, 4096, &offset));
    EXPECT_FALSE(PeSignatureOffset(DosHeader(0x81).data(), kDosHeaderSize, 0x84, &offset));
    EXPECT_FALSE(PeSignatureOffset(DosHeader(0xFFFFFFFFu).data(), kDosHeaderSize, 4096, &offset));
    EXPECT_FALSE(PeSignatureOffset(DosHeader(0x40).data(), kDosHeaderSize - 1, 4096, &offset));
    EXPECT_FALSE(PeSignatureOffset(DosHeader(0x40).data(), kDosHeaderSize, 63, &offset));
    const unsigned char pe[] = {'P', 'E', 0, 0}, ne[] = {'N', 'E', 0, 0}, pe1[] = {'P', 'E', 0, 1};
    EXPECT_TRUE(IsPeSignature(pe, 4));
    EXPECT_FALSE(IsPeSignature(ne, 4));
    EXPECT_FALSE(IsPeSignature(pe1, 4));
    EXPECT_FALSE(IsPeSignature(pe, 3));
}

TEST(ServerAddresses, EachRequestNamesItsFolderPartnerAndVersionInTheirPlaces)
{
    EXPECT_EQ(ComponentListUrl("http://www.example.com:8080", "nv01"),
              "http://www.example.com:8080/app/setup/setup.php?pid=nv01");
    EXPECT_EQ(ComponentListUrl("https://www.example.com", "nv01"), "https://www.example.com/app/setup/setup.php?pid=nv01");
    EXPECT_EQ(VersionQueryPath("nv01"), "/app/ver.php?project=melvora&pid=nv01");
    // Nothing stored: the reports name the default partner.
    EXPECT_EQ(ReportedPartnerId(""), "melvora");
    EXPECT_EQ(ReportedPartnerId("nv01"), "nv01");

    EXPECT_EQ(DownloadBaseUrl("https://www.example.com"), "https://www.example.com/app/ver_file");
    const CString base = DownloadBaseUrl("http://www.example.com");
    EXPECT_EQ(base, "http://www.example.com/app/ver_file");
    // The uninstaller is shared by every partner and version, capitalised on the server.
    EXPECT_EQ(UninstallFileUrl(base, "Uninstall.exe"), "http://www.example.com/app/ver_file/uninstall/Uninstall.exe");
    // Partner first, then the version, then the file.
    EXPECT_EQ(VersionedFileUrl(base, "nv01", "1.0.3", "ZUZade.dll"),
              "http://www.example.com/app/ver_file/nv01/1.0.3/ZUZade.dll");
    EXPECT_EQ(InstalledFilePath("C:\\Program Files\\MELVORA", "MELVORA.exe"),
              "C:\\Program Files\\MELVORA\\MELVORA.exe");
}

TEST(ServerAddresses, APartnerIdGoesIntoEveryAddressAsOneEncodedComponent)
{
    // What the partner-copy tool allows passes unchanged.
    EXPECT_EQ(EncodeUrlComponent("Nv-01_a.b~Z9"), "Nv-01_a.b~Z9");
    // Anything else cannot end the value, start another or change the path.
    EXPECT_EQ(EncodeUrlComponent(" &#%+/?=\x01\x7F"), "%20%26%23%25%2B%2F%3F%3D%01%7F");
    EXPECT_EQ(EncodeUrlComponent("\xC6\xC4"), "%C6%C4");   // Korean bytes
    EXPECT_EQ(EncodeUrlComponent(""), "");

    const CString odd = "a b&pid=x#y";
    EXPECT_EQ(ComponentListUrl("http://h", odd), "http://h/app/setup/setup.php?pid=a%20b%26pid%3Dx%23y");
    EXPECT_EQ(VersionQueryPath(odd), "/app/ver.php?project=melvora&pid=a%20b%26pid%3Dx%23y");
    EXPECT_EQ(InstallLogPath(odd, "ABCDEFGHIJKL"), "/app/receive/log.php?pid=a%20b%26pid%3Dx%23y&sr=ABCDEFGHIJKL");
    EXPECT_EQ(VersionedFileUrl("http://h/app/ver_file", "../x y", "1.0", "ZUZade.dll"),
              "http://h/app/ver_file/..%2Fx%20y/1.0/ZUZade.dll");
    // So do the versions and the serial, which come from servers and the registry.
    EXPECT_EQ(VersionedFileUrl("http://h/app/ver_file", "p", "../1 0?x", "ZUZade.dll"),
              "http://h/app/ver_file/p/..%2F1%200%3Fx/ZUZade.dll");
    EXPECT_EQ(InstallLogPath("p", "AB&pid=x#y\r\n"), "/app/receive/log.php?pid=p&sr=AB%26pid%3Dx%23y%0D%0A");
}

TEST(ReportPaths, TheSerialLengthIsCountedInBytes)
{
    // Six Korean characters are twelve bytes in code page 949: sent.
    const char* korean = "\xC0\xCF\xC0\xCC\xBB\xEF\xBB\xE7\xBF\xC0\xC0\xB0";
    EXPECT_EQ(InstallLogPath("abc", korean), "/app/receive/log.php?pid=abc&sr=%C0%CF%C0%CC%BB%EF%BB%E7%BF%C0%C0%B0");
    // Twelve characters of which some are Korean are more bytes: not sent.
    EXPECT_EQ(InstallLogPath("abc", "\xC0\xCF" "ABCDEFGHIJK"), "/app/receive/log.php?pid=abc");
}

}  // namespace
