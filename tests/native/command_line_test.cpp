// The setup program's command line: how it is split and which options it takes or refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

std::vector<std::string> Split(const char* commandLine)
{
    std::vector<std::string> args;
    for (const CString& arg : SplitCommandLine(commandLine))
        args.push_back(arg.GetString());
    return args;
}

// The options a command line asks for; fails the test when it is refused.
SetupOptions Parse(const char* commandLine)
{
    SetupOptions options;
    CString error;
    EXPECT_TRUE(ParseSetupOptions(SplitCommandLine(commandLine), options, error)) << commandLine << ": " << error;
    return options;
}

// The reason a command line is refused; empty when it is taken.
std::string Refusal(const char* commandLine)
{
    SetupOptions options;
    CString error;
    if (ParseSetupOptions(SplitCommandLine(commandLine), options, error))
        return std::string();
    EXPECT_FALSE(error.IsEmpty()) << commandLine;
    return error.GetString();
}

TEST(CommandLine, SplitsAsProgramsOnWindowsDo)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Split(""), V{});
    EXPECT_EQ(Split("  /S \t-norun  "), (V{"/S", "-norun"}));
    EXPECT_EQ(Split("\"/LOG=C:\\My Logs\\a.log\" /S"), (V{"/LOG=C:\\My Logs\\a.log", "/S"}));
    EXPECT_EQ(Split("/LOG=\"C:\\My Logs\\\\\" x"), (V{"/LOG=C:\\My Logs\\", "x"}));   // 2n backslashes
    EXPECT_EQ(Split("a\\\\\\\"b c\\d"), (V{"a\\\"b", "c\\d"}));                          // 2n+1 and lone ones
    EXPECT_EQ(Split("\"\" x"), (V{"", "x"}));
}

TEST(CommandLine, TakesTheOptionsInAnyCaseOrderAndPrefix)
{
    const SetupOptions none = Parse("");
    EXPECT_FALSE(none.silent || none.help || none.componentsGiven || none.partnerIdGiven);
    EXPECT_TRUE(none.logPath.IsEmpty());

    const SetupOptions all = Parse("-nOrUn /pid=nv-01_~x /s -NOSHORTCUTS \"/Components=멜보라 도구 모음,부가\" "
                                   "/log=C:\\a=b.log");
    EXPECT_TRUE(all.silent && all.noRun && all.noShortcuts && all.componentsGiven && all.partnerIdGiven);
    EXPECT_EQ(all.partnerId, "nv-01_~x");
    ASSERT_EQ(all.components.size(), 2u);
    EXPECT_EQ(all.components[0], "멜보라 도구 모음");   // exactly as written, blanks kept
    EXPECT_EQ(all.components[1], "부가");
    EXPECT_EQ(all.logPath, "C:\\a=b.log");            // only the first "=" ends the name

    EXPECT_TRUE(Parse("/LOG=setup.log").logPath == "setup.log");   // the wizard takes /LOG
    EXPECT_TRUE(Parse("/S /NOCOMPONENTS").noComponents);
    EXPECT_TRUE(Parse("/?").help);
    EXPECT_TRUE(Parse("-HELP").help);
}

TEST(CommandLine, RefusesWhatItCannotReadBeforeAnythingHappens)
{
    for (const char* bad : {"/X", "S", "/", "/S /S", "/S /NORUN /norun", "/S /NORUN=1", "/S /PID", "/LOG=", "/LOG",
                            "/S /PID=", "/S /PID=a/b", "/S /PID=파트너", "/S /PID=a%20b",
                            "/S /PID=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
                            "/S /COMPONENTS=", "/S /COMPONENTS=a,,b", "/S /COMPONENTS=a,", "/S \"/COMPONENTS=a\tb\"",
                            "/S /COMPONENTS=a /NOCOMPONENTS", "/? /S", "/HELP /LOG=x.log",
                            // only /LOG goes without /S
                            "/NORUN", "/NOSHORTCUTS", "/NOCOMPONENTS", "/COMPONENTS=a", "/PID=nv01 /LOG=x.log"})
        EXPECT_NE(Refusal(bad), "") << bad;
    EXPECT_NE(Refusal("/S /Bogus=1").find("/Bogus=1"), std::string::npos);   // the reason names the argument
    SetupOptions options;
    CString error;
    EXPECT_FALSE(ParseSetupOptions(SplitCommandLine("/X -s"), options, error));
    EXPECT_TRUE(options.silent);   // a refusal after /S shows no message box, wherever /S stands
    EXPECT_FALSE(ParseSetupOptions(SplitCommandLine("\"/LOG=a\tb.log\""), options, error));
    EXPECT_TRUE(options.logPath.IsEmpty());   // a refused log path is never opened to log the refusal
    EXPECT_EQ(Refusal("/S /PID=" "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"), "");   // 64 is fine
}

TEST(CommandLine, ProxyCredentialsGoTogetherWithSAndThePasswordIsNeverRepeated)
{
    const SetupOptions given = Parse("/S \"/ProxyUser=DOMAIN\\kim\" /PROXYPASS=p=w@rd!");
    EXPECT_TRUE(given.proxyCredentialsGiven);
    EXPECT_EQ(given.proxyUser, "DOMAIN\\kim");
    EXPECT_EQ(given.proxyPassword, "p=w@rd!");
    EXPECT_FALSE(Parse("/S").proxyCredentialsGiven);

    for (const char* bad : {"/PROXYUSER=kim /PROXYPASS=secret", "/S /PROXYUSER=kim", "/S /PROXYPASS=secret",
                            "/S /PROXYUSER= /PROXYPASS=secret", "/S /PROXYUSER=kim /PROXYPASS=",
                            "/S /PROXYUSER=kim \"/PROXYPASS=se\tcret\"", "/S /PROXYUSER=kim /PROXYPASS=secret /PROXYPASS=secret"})
        EXPECT_EQ(Refusal(bad).find("secret"), std::string::npos) << bad;   // refused, without the password
    EXPECT_NE(Refusal("/S /PROXYPASS=secret"), "");

    const std::vector<CString> args = SplitCommandLine("/S -proxypass=top\"\"secret \"/LOG=C:\\My Logs\\a.log\" /PROXYUSER=kim");
    EXPECT_EQ(CommandLineForLog(args), "/S -proxypass=(hidden) \"/LOG=C:\\My Logs\\a.log\" /PROXYUSER=kim");
}

}  // namespace
