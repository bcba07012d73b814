// The setup's own log, asked for with /LOG=<file>: one line per step of the run, each with
// its local time, written in UTF-8 at once (a setup that is killed keeps what it logged).
// Every layer has something to say (requests, files, registry values, started programs),
// so the log is one per process; until it is opened every call does nothing. A log that
// cannot be written never fails the setup.
#pragma once

#include "CString.h"

enum class SetupLogOpen {
    Opened,
    Refused,   // a link, a file with a second name, or a path through a junction
    Failed,
};

class SetupLog {
public:
    // Creates the file, or empties an earlier one. A path that leads anywhere but to a
    // plain file of that very name is refused, and the file it leads to stays as it was.
    static SetupLogOpen Open(const CString& strPath);
    static void Close();
    static bool IsOpen();
    // One line, printf-style, in the program's code page; made UTF-8 on the way.
    static void Write(const char* pszFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
};
