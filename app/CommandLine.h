// The setup program's command line. Without any argument the program is the wizard; the
// options make an unattended install (/S and what goes with it) and a log of the run.
// Windows-free, so the rules are unit-tested natively.
#pragma once

#include <vector>

#include "CString.h"

// What the command line asks for.
struct SetupOptions {
    bool help = false;           // /? or /HELP: show the usage, nothing else
    bool silent = false;         // /S: the whole install without any window
    bool componentsGiven = false;
    std::vector<CString> components;   // /COMPONENTS=a,b: the optional components to install
    bool noComponents = false;   // /NOCOMPONENTS: only the locked ones
    bool noShortcuts = false;    // /NOSHORTCUTS
    bool noRun = false;          // /NORUN: the player is not started at the end
    bool partnerIdGiven = false;
    CString partnerId;           // /PID=id, instead of the id from the file name
    CString logPath;             // /LOG=path; empty: no log
    bool proxyCredentialsGiven = false;
    CString proxyUser;           // /PROXYUSER=name: for a proxy that asks (407), never for the servers
    CString proxyPassword;       // /PROXYPASS=password: the same; never logged
};

// Splits a command line (the arguments after the program's own name) the way programs
// started on Windows split theirs: blanks and tabs separate arguments except inside
// double quotes, which group and are removed; 2n backslashes before a quote stand for n
// backslashes, 2n+1 for n and a literal quote; other backslashes are themselves.
std::vector<CString> SplitCommandLine(const CString& commandLine);

// Reads the arguments. Options begin with "/" or "-", their names are case-insensitive
// and come in any order; an option with a value is written NAME=value. False, with
// `error` naming the argument at fault, when an option is unknown, given twice, lacks its
// value or has one it should not, holds a malformed value, contradicts another option,
// comes without /S where only an unattended install takes it, or stands beside /? (which
// stands alone). /PROXYUSER and /PROXYPASS come together.
bool ParseSetupOptions(const std::vector<CString>& args, SetupOptions& options, CString& error);

// The arguments as the log shows them: blanks quoted, the value of /PROXYPASS left out.
CString CommandLineForLog(const std::vector<CString>& args);

// A partner id given on the command line: 1 to 64 letters, digits, "-", "_" and "~", the
// characters an id in a file name keeps in every address the setup builds.
bool IsWellFormedPartnerId(const CString& id);

// The usage shown for /? (and after a bad command line), in the program's code page.
const char* SetupUsageText();
