// The partner id (distribution channel) of a copy of the setup program, read from its
// file name: Setup_abc.exe installs for the partner "abc".
#pragma once

#include "CString.h"

// The partner id for the program stored at modulePath:
// - only the name after the last "\" counts;
// - without "_" in it the id is "melvora";
// - otherwise the text after the first "_" up to the first "." (empty if there is no ".");
// - a "[" or a "(" ends it early, and trailing spaces go, so the suffix a browser gives a
//   second download of the same file ("[1]", " (1)", "(1)") is dropped.
CString PartnerIdFromModulePath(const CString& modulePath);
