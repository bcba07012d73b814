// Reading and writing registry values. Keys are opened by creating them, so a missing
// key is made on the way, for reading too. Failures are silent.
#pragma once

#include <windows.h>

#include "CString.h"

// The value's text, up to 255 bytes; empty when it is missing, longer or unreadable.
CString RegReadString(HKEY hRoot, const char* pszSubKey, const char* pszValueName);

// kind 1 writes pszText as a string value, kind 2 dwNumber as a 32-bit number; any other
// kind only creates the key. Always returns 1.
int RegWriteValue(HKEY hRoot, const char* pszSubKey, const char* pszValueName, const char* pszText,
                  DWORD dwNumber, int nKind);
