// Which web addresses the embedded browser never requests: ones that name a program.
// Windows-free, so the rule is unit-tested natively.
#pragma once

#include "CString.h"

// True when a web address names a file Windows would start or install on a double click
// (its path ends in ".exe", ".msi", ".bat" and the like, in any case): a page's link to
// one is a download, never a page.
bool IsProgramAddress(const CString& url);
