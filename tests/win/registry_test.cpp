// Reading and writing values in Wine's real registry.
#include <gtest/gtest.h>

#include <string>

#include "support/TestUtil.h"
#include "sys/Registry.h"

namespace {

using testutil::ReadRegValue;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_key = std::string("Software\\MELVORA-tests\\") + info->name();
        testutil::DeleteKeyTree(HKEY_CURRENT_USER, m_key.c_str());
    }
    void TearDown() override { testutil::DeleteKeyTree(HKEY_CURRENT_USER, m_key.c_str()); }

    const char* key() const { return m_key.c_str(); }
    std::string m_key;
};

TEST_F(RegistryTest, StringValuesRoundTripAsRegSzWithTheirTerminator)
{
    EXPECT_EQ(RegWriteValue(HKEY_CURRENT_USER, key(), "exe_ver", "1.0.3", 77, 1), 1);
    const auto v = ReadRegValue(HKEY_CURRENT_USER, key(), "exe_ver");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(v.type, DWORD(REG_SZ));
    EXPECT_EQ(v.data, std::string("1.0.3", 6));
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, key(), "exe_ver"), "1.0.3");

    // Korean text is stored from code page 949 and read back byte for byte.
    const char* korean = "\xB5\xBF\xC0\xC7\xC7\xD4";   // "동의함"
    RegWriteValue(HKEY_CURRENT_USER, key(), "korean", korean, 0, 1);
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, key(), "korean"), korean);
}

TEST_F(RegistryTest, AnEmptyStringIsStoredAsOneZeroByte)
{
    RegWriteValue(HKEY_CURRENT_USER, key(), "pid", "", 0, 1);
    const auto v = ReadRegValue(HKEY_CURRENT_USER, key(), "pid");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(v.type, DWORD(REG_SZ));
    EXPECT_EQ(v.data, std::string(1, '\0'));
}

TEST_F(RegistryTest, NumberValuesAreDwordsAndIgnoreTheText)
{
    RegWriteValue(HKEY_CURRENT_USER, key(), "NoModify", "not a number", 1, 2);
    const auto v = ReadRegValue(HKEY_CURRENT_USER, key(), "NoModify");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(v.type, DWORD(REG_DWORD));
    ASSERT_EQ(v.data.size(), 4u);
    EXPECT_EQ(*reinterpret_cast<const DWORD*>(v.data.data()), 1u);
}

TEST_F(RegistryTest, AnotherKindOnlyCreatesTheKey)
{
    EXPECT_FALSE(testutil::KeyExists(HKEY_CURRENT_USER, key()));
    EXPECT_EQ(RegWriteValue(HKEY_CURRENT_USER, key(), "v", "text", 5, 3), 1);
    EXPECT_TRUE(testutil::KeyExists(HKEY_CURRENT_USER, key()));
    EXPECT_FALSE(ReadRegValue(HKEY_CURRENT_USER, key(), "v").exists);
}

TEST_F(RegistryTest, ReadingFromAMissingKeyGivesEmptyTextAndLeavesTheKeyBehind)
{
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, key(), "serial"), "");
    EXPECT_TRUE(testutil::KeyExists(HKEY_CURRENT_USER, key()));
}

TEST_F(RegistryTest, ValuesThatDoNotFitIn255BytesReadAsEmpty)
{
    const std::string fits(254, 'a');
    const std::string exact(255, 'b');    // 255 characters and the terminator: 256 bytes
    const std::string longer(4000, 'c');
    RegWriteValue(HKEY_CURRENT_USER, key(), "fits", fits.c_str(), 0, 1);
    RegWriteValue(HKEY_CURRENT_USER, key(), "exact", exact.c_str(), 0, 1);
    RegWriteValue(HKEY_CURRENT_USER, key(), "longer", longer.c_str(), 0, 1);
    EXPECT_EQ(std::string(RegReadString(HKEY_CURRENT_USER, key(), "fits")), fits);
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, key(), "exact"), "");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, key(), "longer"), "");
}

TEST_F(RegistryTest, AStringWithoutTerminatorStillReadsCleanly)
{
    // Another program may store a REG_SZ without its zero; the reader must not run on.
    HKEY hKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, key(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    const std::string raw(200, 'z');
    ::RegSetValueExA(hKey, "raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw.data()), DWORD(raw.size()));
    ::RegCloseKey(hKey);
    EXPECT_EQ(std::string(RegReadString(HKEY_CURRENT_USER, key(), "raw")), raw);
}

TEST(RegistryMachine, WritesUnderLocalMachine)
{
    const char* key = "SOFTWARE\\MELVORA-tests\\machine";
    testutil::DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
    RegWriteValue(HKEY_LOCAL_MACHINE, key, "Publisher", "Orvanta co., Ltd.", 0, 1);
    RegWriteValue(HKEY_LOCAL_MACHINE, key, "NoRepair", "", 1, 2);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, key, "Publisher"), "Orvanta co., Ltd.");
    const auto v = ReadRegValue(HKEY_LOCAL_MACHINE, key, "NoRepair");
    EXPECT_EQ(v.type, DWORD(REG_DWORD));
    testutil::DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
}

}  // namespace
