// The setup's own log, asked for with /LOG=<file>: one line per step of the run, each with
// its local time, written in UTF-8 at once (a setup that is killed keeps what it logged).
// Every layer has something to say (requests, files, registry values, started programs),
// so the log is one per process; until it is opened every call does nothing. A log that
// cannot be written never fails the setup.
#pragma once

#include "CString.h"

class SetupLog {
public:
    // Creates the file (an earlier one is replaced); false when it cannot be.
    static bool Open(const CString& strPath);
    static void Close();
    static bool IsOpen();
    // One line, printf-style, in the program's code page; made UTF-8 on the way.
    static void Write(const char* pszFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
};
