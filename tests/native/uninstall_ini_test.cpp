// uninstall.ini: what it may add to the uninstall, and the rule that keeps all of it
// inside the install folder and the product's keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uninstall/UninstallIni.h"

namespace {

std::vector<RemovalEntry> Read(const std::string& text, bool* ok)
{
    std::vector<RemovalEntry> entries(1);   // a reader that keeps stale entries shows it
    *ok = ReadUninstallIni(CString(text), &entries);
    return entries;
}

void ExpectRefused(const std::string& text)
{
    bool ok = true;
    EXPECT_TRUE(Read(text, &ok).empty()) << text;
    EXPECT_FALSE(ok) << text;
}

TEST(UninstallIni, ReadsTheRemoveSectionsAndNothingElse)
{
    bool ok = false;
    const auto entries = Read("; made by the publisher\r\n[uninstall]\r\nname=MELVORA\r\nFile=..\\..\\boot.ini\r\n"
                              "[ remove ]\r\n  file = logs/player.log \r\n# a comment\r\n\r\nFOLDER=Cache\n"
                              "Key=hkey_local_machine\\SOFTWARE\\melvora\\Playlists\r\n[Other]\r\nFolder=..\r\n"
                              "[Remove]\r\nKey=HKCU\\Software\\MELVORA\r\n",
                              &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].kind, RemovalKind::File);
    EXPECT_EQ(entries[0].path, "logs\\player.log");
    EXPECT_EQ(entries[1].kind, RemovalKind::Folder);
    EXPECT_EQ(entries[1].path, "Cache");
    EXPECT_EQ(entries[2].kind, RemovalKind::Key);
    EXPECT_EQ(entries[2].root, RegistryRoot::LocalMachine);
    EXPECT_EQ(entries[2].path, "Software\\MELVORA\\Playlists");
    EXPECT_EQ(entries[3].root, RegistryRoot::CurrentUser);
    EXPECT_EQ(entries[3].path, "Software\\MELVORA");

    // What the setup has always been served: well formed, and nothing beyond the setup's own.
    EXPECT_TRUE(Read("[uninstall]\r\nname=MELVORA\r\n", &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_TRUE(Read("", &ok).empty());
    EXPECT_TRUE(ok);
}

TEST(UninstallIni, OnePathLeavingTheInstallFolderRefusesTheWholeFile)
{
    const char* outside[] = {"..", "..\\MELVORA Extras\\ExtrasSetup.exe", "Cache\\..\\..\\x", "Cache/../../x",
                             ".", ".\\x", "C:\\Windows\\win.ini", "C:win.ini", "\\Windows", "/Windows",
                             "\\\\server\\share\\x", "\\\\?\\C:\\x", "x:stream", "Cache\\", "Cache\\\\x", "",
                             "*.dll", "Log?", "a\"b", "a<b", "a|b", "Cache.", "Cache .\\x", "...", "NUL",
                             "con.txt", "Logs\\COM1", "lpt9.log", "a\x01", "Logs\\COM²", "LPT¹.log", "com³ .x",
                             "a\xFF\xFF"};
    for (const char* path : outside) {
        CString normalized;
        EXPECT_FALSE(IsConfinedRelativePath(path, &normalized)) << path;
        for (const char* name : {"File", "Folder"})
            ExpectRefused("[Remove]\r\nFile=player.log\r\n" + std::string(name) + "=" + path + "\r\n");
    }
    CString normalized;
    EXPECT_TRUE(IsConfinedRelativePath("스킨/기본 스킨.skin", &normalized));
    EXPECT_EQ(normalized, "스킨\\기본 스킨.skin");
    EXPECT_TRUE(IsConfinedRelativePath(".cache\\con1\\null.d\\a.b", &normalized));
    // Only ¹ ² ³ count as digits there: ⁴ and ₁ do not, nor a digit after them.
    EXPECT_TRUE(IsConfinedRelativePath("COM⁴\\LPT₁.log\\COM¹0.dat", &normalized));
}

TEST(UninstallIni, OneKeyOutsideTheProductKeysRefusesTheWholeFile)
{
    const char* outside[] = {"HKLM\\Software", "HKLM\\Software\\MELVORA2", "HKLM\\Software\\Microsoft\\Windows",
                             "HKLM\\MELVORA", "HKCR\\Software\\MELVORA", "HKU\\Software\\MELVORA",
                             "HKLM\\Software\\MELVORA\\..", "HKLM\\Software\\MELVORA\\", "HKLM\\Software\\MELVORA\\\\x",
                             "HKLM\\Software\\MELVORA\\x\x01", "Software\\MELVORA", "\\HKLM\\Software\\MELVORA"};
    for (const char* key : outside) {
        RegistryRoot root;
        CString subKey;
        EXPECT_FALSE(ParseProductKey(key, &root, &subKey)) << key;
        ExpectRefused(std::string("[Remove]\r\nKey=HKCU\\Software\\MELVORA\r\nKey=") + key + "\r\n");
    }
}

TEST(UninstallIni, MalformedTextIsRefusedWhole)
{
    ExpectRefused("[Remove]\r\nFile=player.log\r\nDelete=Cache\r\n");      // unknown name
    ExpectRefused("[Remove]\r\nFile=player.log\r\nCache\r\n");             // no "="
    ExpectRefused("[Remove]\r\nFile=player.log\r\n=Cache\r\n");            // no name
    ExpectRefused("[Remove\r\nFile=player.log\r\n");                       // broken section line
    ExpectRefused(std::string("[Remove]\r\nFile=player.log\0\r\n", 28));   // a zero byte
    std::string many = "[Remove]\r\n";
    for (int i = 0; i <= kMaxUninstallIniEntries; ++i)
        many += "File=f" + std::to_string(i) + "\r\n";
    ExpectRefused(many);
    ExpectRefused("[Remove]\r\nFile=player.log\r\n;" + std::string(kMaxUninstallIniBytes, 'x'));
}

}  // namespace
